#include "FileType.h"

#include <vector>

#include "Text.h"

namespace {

struct Registration
{
    QString name, macCreator, macType, uti;
    QStringList extensions;
};

std::vector<Registration>& Registry()
{
    static std::vector<Registration> registry;
    return registry;
}

} // namespace

FileType::~FileType() = default;

void FileType::Withdraw()
{
    if (mRegistered)
        Deregister(mName);
    mRegistered = false;
}

void FileType::SetName(const QString& value)
{
    Withdraw();
    mName = value;
}

void FileType::SetExtensions(const QString& value)
{
    Withdraw();
    mExtensions = value;
}

void FileType::SetMacType(const QString& value)
{
    Withdraw();
    mMacType = value;
}

void FileType::SetMacCreator(const QString& value)
{
    Withdraw();
    mMacCreator = value;
}

void FileType::SetUTI(const QString& value)
{
    Withdraw();
    mUTI = value;
}

QString FileType::ToText()
{
    if (!mRegistered) {
        Register(mName, mMacCreator, mMacType, mExtensions, mUTI);
        mRegistered = true;
    }
    return mName;
}

void FileType::Register(const QString& name, const QString& macCreator, const QString& macType,
                        const QString& extensions, const QString& uti)
{
    Registry().push_back({name, macCreator, macType, uti, extensions.split(u';', Qt::SkipEmptyParts)});
}

void FileType::Deregister(const QString& name)
{
    auto& registry = Registry();
    for (auto it = registry.begin(); it != registry.end(); ++it)
        if (it->name == name) {
            registry.erase(it);
            return;
        }
}

QString FileType::NameForExtension(const QString& extension)
{
    for (const Registration& type : Registry())
        for (const QString& candidate : type.extensions)
            if (SameText(candidate, extension))
                return type.name;
    return {};
}

QStringList FileType::ExtensionsForName(const QString& name)
{
    for (const Registration& type : Registry())
        if (type.name == name)
            return type.extensions;
    return {};
}
