#include "FolderItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <ctime>
#include <fcntl.h>

#include "Exceptions.h"
#include "FileType.h"
#include "OpenFolder.h"
#include "UIServices.h"

namespace {

QStringList ListFolder(const QString& path)
{
    QStringList names;
    for (const FolderEntry& entry : OpenFolder::Open(FolderItem(path)).Entries())
        names << entry.name;
    return names;
}

} // namespace

Date FileStatus::Modified() const
{
    // The C library's conversion, as the local time zone has it (what Qt's local time uses too,
    // without reading the zone again for every file).
    const time_t seconds = static_cast<time_t>(modifiedSeconds);
    tm local{};
    localtime_r(&seconds, &local);
    return Date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                std::min(local.tm_sec, 59));
}

FolderItem::FolderItem(const QString& absolutePath) : mPath(QDir::cleanPath(absolutePath)) {}

FolderItem FolderItem::Child(const QString& name) const
{
    if (IsNull())
        throw NilObjectException(QStringLiteral("A child of an empty file reference was asked for."));
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        throw UnsupportedFormatException(QStringLiteral("\"%1\" is not a valid file name.").arg(name));
    return FolderItem(mPath == u"/" ? mPath + name : mPath + u'/' + name);
}

FolderItem FolderItem::Parent() const
{
    if (IsNull() || mPath == u"/")
        return {};
    const qsizetype slash = mPath.lastIndexOf(u'/');
    return FolderItem(slash <= 0 ? QStringLiteral("/") : mPath.left(slash));
}

bool FolderItem::Exists() const { return !IsNull() && QFileInfo::exists(mPath); }

bool FolderItem::Directory() const { return !IsNull() && QFileInfo(mPath).isDir(); }

bool FolderItem::IsSymbolicLink() const { return !IsNull() && QFileInfo(mPath).isSymLink(); }

bool FolderItem::IsRegularFile() const { return !IsNull() && QFileInfo(mPath).isFile(); }

FileStatus FolderItem::Status() const
{
    return IsNull() ? FileStatus() : StatusAt(AT_FDCWD, QFile::encodeName(mPath).constData());
}

const QStringList& FolderItem::Listing() const
{
    if (!mListing)
        mListing = std::make_shared<QStringList>(IsNull() ? QStringList() : ListFolder(mPath));
    return *mListing;
}

int FolderItem::Count() const { return static_cast<int>(Listing().size()); }

FolderItem FolderItem::Item(int index) const
{
    const QStringList& names = Listing();
    if (index < 1 || index > names.size())
        return {};
    return Child(names[index - 1]);
}

QString FolderItem::Name() const
{
    if (mPath == u"/")
        return mPath;
    return mPath.mid(mPath.lastIndexOf(u'/') + 1);
}

QString FolderItem::Type() const { return TypeOfName(Name()); }

QString FolderItem::TypeOfName(const QString& name)
{
    const QString extension = ExtensionOf(name);
    return extension.isEmpty() ? QString() : FileType::NameForExtension(extension);
}

QString FolderItem::ExtensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

Date FolderItem::ModificationDate() const { return Status().Modified(); }

long long FolderItem::Length() const { return IsNull() ? 0 : QFileInfo(mPath).size(); }

bool FolderItem::Launch() const { return !IsNull() && UI().Launch(*this); }

FolderItem GetFolderItem(const QString& path, int /*form: both forms are POSIX paths here*/)
{
    if (path.contains(QChar(0)))
        throw UnsupportedFormatException(QStringLiteral("A path holds a NUL character."));
    if (!path.startsWith(u'/'))
        return {};
    return FolderItem(path);
}

QByteArray ReadAllBytes(const FolderItem& file)
{
    if (file.IsNull())
        throw IOException(QStringLiteral("No file was given to read."));
    QFile input(file.AbsolutePath());
    if (!input.open(QIODevice::ReadOnly))
        throw IOException(QStringLiteral("The file \"%1\" cannot be read: %2").arg(file.AbsolutePath(), input.errorString()));
    QByteArray bytes = input.readAll();
    if (input.error() != QFileDevice::NoError)
        throw IOException(QStringLiteral("The file \"%1\" cannot be read: %2").arg(file.AbsolutePath(), input.errorString()));
    return bytes;
}

FolderItem SpecialFolder::ApplicationData()
{
    return FolderItem(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}
