#pragma once

#include <QString>
#include <QStringList>

// A file type of the platform's registry. Setting a field withdraws a registered type first;
// converting the type to text registers it (once) and gives its Name.
class FileType
{
public:
    FileType() = default;
    ~FileType();
    FileType(const FileType&) = delete;
    FileType& operator=(const FileType&) = delete;

    const QString& Name() const { return mName; }
    const QString& Extensions() const { return mExtensions; }
    const QString& MacType() const { return mMacType; }
    const QString& MacCreator() const { return mMacCreator; }
    const QString& UTI() const { return mUTI; }
    bool Registered() const { return mRegistered; }

    void SetName(const QString& value);
    void SetExtensions(const QString& value);
    void SetMacType(const QString& value);
    void SetMacCreator(const QString& value);
    void SetUTI(const QString& value);

    // Registers the type when it is not registered yet, then gives its Name.
    QString ToText();

    // The registry: name, creator, type, extensions (".a;.b"), UTI.
    static void Register(const QString& name, const QString& macCreator, const QString& macType,
                         const QString& extensions, const QString& uti);
    static void Deregister(const QString& name);
    // Name of the registered type holding extension (".pdf"), letter case ignored; empty if none.
    static QString NameForExtension(const QString& extension);
    // Extensions (".csv") of the registered type called name; empty when none.
    static QStringList ExtensionsForName(const QString& name);

private:
    void Withdraw();

    QString mName, mExtensions, mMacType, mMacCreator, mUTI;
    bool mRegistered = false;
};
