#pragma once

#include <QByteArray>
#include <QString>
#include <dirent.h>
#include <memory>
#include <vector>

#include "FolderItem.h"

// One entry of a folder as the folder's listing gives it, without a look at the entry itself.
struct FolderEntry
{
    enum class Kind : unsigned char { Folder, File, Link, Other };

    QByteArray nativeName;
    // The name as text. Bytes that are not UTF-8 read as U+FFFD; the text then names no entry.
    QString name;
    bool exactName = true; // name names this entry
    Kind kind = Kind::Other;
};

// A folder opened once, so that listing it and looking at its entries costs one system call each
// however deep it lies, and so that entries whose names are not UTF-8 can still be reached.
class OpenFolder
{
public:
    // Raise IOException naming the folder and the reason ("The folder ... cannot be listed: ...").
    static OpenFolder Open(const FolderItem& folder);
    // A folder entry of this folder; a link is not followed.
    OpenFolder OpenChild(const FolderEntry& entry) const;

    // The entries in the order FolderItem::Item gives them. Raises IOException.
    std::vector<FolderEntry> Entries() const;
    // One look at an entry, links followed.
    FileStatus StatusOf(const FolderEntry& entry) const;
    // The same for the entry called name (a single name, no "/").
    FileStatus StatusOf(const QString& name) const;

    const QString& Path() const { return mPath; }
    // False when a name on the way is not UTF-8: Path() and PathOf() then name no entry.
    bool PathIsExact() const { return mExact; }
    QString PathOf(const FolderEntry& entry) const;

private:
    struct Closer
    {
        void operator()(DIR* folder) const { closedir(folder); }
    };
    OpenFolder(int descriptor, const QString& path, bool exact);

    std::unique_ptr<DIR, Closer> mFolder; // the listing stream, which owns the descriptor
    QString mPath;
    bool mExact = true;
};

// Names sorted as a file manager shows them: letter case ignored, runs of digits by their value
// (file2 before file10). Negative, zero or positive.
int CompareNatural(const QString& a, const QString& b);

// One look at the entry name inside the folder descriptor (AT_FDCWD for a path), links followed.
FileStatus StatusAt(int folderDescriptor, const char* name);
