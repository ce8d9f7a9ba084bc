#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "DateTime.h"

// What one look at a file or folder tells, links followed.
struct FileStatus
{
    bool exists = false;
    bool directory = false;
    bool regular = false;
    bool readable = false;          // for a regular file: this process may open it for reading
    long long modifiedSeconds = 0;  // since 1970-01-01 UTC

    // The only kind of entry the writer can load as a page.
    bool ReadableFile() const { return regular && readable; }
    // The modification time in local time.
    Date Modified() const;
};

// A reference to a file or folder that need not exist. A default-constructed FolderItem is the
// empty reference ("no reference"); test it with IsNull() or in a boolean context.
class FolderItem
{
public:
    FolderItem() = default;
    // path must be absolute; it is cleaned ("a//b/../c" becomes "a/c") but links are not resolved.
    explicit FolderItem(const QString& absolutePath);

    bool IsNull() const { return mPath.isEmpty(); }
    explicit operator bool() const { return !IsNull(); }

    // The entry named name inside this folder. Raises UnsupportedFormatException for a name that
    // cannot be one entry: empty, ".", "..", or holding "/" or a NUL character.
    FolderItem Child(const QString& name) const;
    // The containing folder; the empty reference for the root.
    FolderItem Parent() const;

    bool Exists() const;
    bool Directory() const;
    // A symbolic link (whatever it points to, dangling included).
    bool IsSymbolicLink() const;
    // A regular file, or a link that ends at one.
    bool IsRegularFile() const;
    // One look at the entry (one system call, unless its mode bits alone cannot say whether it
    // may be read).
    FileStatus Status() const;

    // Entries of a folder, sorted as a file manager shows them: by name, letter case ignored,
    // numbers in numeric order (file2 before file10). The listing is read once per FolderItem
    // object and kept. Raises IOException when the folder cannot be listed.
    int Count() const;
    // Entry i, counted from 1.
    FolderItem Item(int index) const;

    QString Name() const;
    QString AbsolutePath() const { return mPath; }
    QString NativePath() const { return mPath; }
    // Name of the registered file type whose extensions hold this entry's extension, letter case
    // ignored; empty when none (folders included).
    QString Type() const;
    // The same for an entry called name.
    static QString TypeOfName(const QString& name);
    // The extension of a name with its "." (".pdf"); empty when the name has no ".".
    static QString ExtensionOf(const QString& name);
    Date ModificationDate() const;
    long long Length() const;

    // Opens a document in its application, a folder in the file manager, through the UI services.
    bool Launch() const;

    bool operator==(const FolderItem& other) const { return mPath == other.mPath; }

private:
    const QStringList& Listing() const;

    QString mPath;
    mutable std::shared_ptr<QStringList> mListing;
};

// form 0: the absolute-path form; form 1: the POSIX form. On this system both are POSIX paths.
// The empty reference when the text cannot be resolved (empty, or not an absolute path).
// Raises UnsupportedFormatException for a text holding a NUL character.
FolderItem GetFolderItem(const QString& path, int form = 0);

// Whole-file reading. Raises IOException naming the file and the reason.
QByteArray ReadAllBytes(const FolderItem& file);

namespace SpecialFolder {
// The user's application-data folder (~/.local/share on this system).
FolderItem ApplicationData();
}
