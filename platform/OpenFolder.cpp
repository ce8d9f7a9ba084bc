#include "OpenFolder.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Exceptions.h"

namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

IOException ListingError(const QString& path, int error)
{
    return IOException(QStringLiteral("The folder \"%1\" cannot be listed: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

bool InGroup(gid_t group)
{
    static const std::vector<gid_t> groups = [] {
        std::vector<gid_t> all(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
        all.resize(static_cast<size_t>(std::max(getgroups(static_cast<int>(all.size()), all.data()), 0)));
        all.push_back(getegid());
        return all;
    }();
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// Whether this process may read the regular file: the read bit of the class it falls in answers
// at once; only when that bit refuses is the kernel asked, as root or an access list may still
// allow it. (The identity is read once: the program never changes it.)
bool MayRead(const struct stat& info, int folder, const char* name)
{
    static const uid_t user = geteuid();
    const mode_t bit = info.st_uid == user ? S_IRUSR : InGroup(info.st_gid) ? S_IRGRP : S_IROTH;
    return (info.st_mode & bit) != 0 || faccessat(folder, name, R_OK, AT_EACCESS) == 0;
}

FolderEntry::Kind KindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return FolderEntry::Kind::Folder;
    if (S_ISREG(mode))
        return FolderEntry::Kind::File;
    if (S_ISLNK(mode))
        return FolderEntry::Kind::Link;
    return FolderEntry::Kind::Other;
}

// The kind as the listing gives it; a look at the entry only where the file system leaves it open.
FolderEntry::Kind KindOf(const dirent& entry, int folder)
{
    switch (entry.d_type) {
    case DT_DIR: return FolderEntry::Kind::Folder;
    case DT_REG: return FolderEntry::Kind::File;
    case DT_LNK: return FolderEntry::Kind::Link;
    case DT_UNKNOWN: {
        struct stat info;
        return fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 ? KindOfMode(info.st_mode)
                                                                               : FolderEntry::Kind::Other;
    }
    default: return FolderEntry::Kind::Other;
    }
}

} // namespace

int CompareNatural(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            qsizetype endA = i, endB = j;
            while (endA < a.size() && IsDigit(a[endA]))
                ++endA;
            while (endB < b.size() && IsDigit(b[endB]))
                ++endB;
            qsizetype startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == u'0')
                ++startA;
            while (startB + 1 < endB && b[startB] == u'0')
                ++startB;
            if (endA - startA != endB - startB)
                return endA - startA < endB - startB ? -1 : 1;
            const int digits = QStringView(a).mid(startA, endA - startA).compare(QStringView(b).mid(startB, endB - startB));
            if (digits != 0)
                return digits;
            i = endA;
            j = endB;
            continue;
        }
        // Case folding one UTF-16 unit at a time, as a case-insensitive comparison of the two
        // one-character texts does.
        const int letter = a[i].toCaseFolded().unicode() - b[j].toCaseFolded().unicode();
        if (letter != 0)
            return letter;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}

FileStatus StatusAt(int folderDescriptor, const char* name)
{
    FileStatus status;
    struct stat info;
    if (fstatat(folderDescriptor, name, &info, 0) != 0)
        return status;
    status.exists = true;
    status.directory = S_ISDIR(info.st_mode);
    status.regular = S_ISREG(info.st_mode);
    status.readable = status.regular && MayRead(info, folderDescriptor, name);
    status.modifiedSeconds = info.st_mtim.tv_sec;
    return status;
}

OpenFolder::OpenFolder(int descriptor, const QString& path, bool exact) : mPath(path), mExact(exact)
{
    DIR* folder = fdopendir(descriptor);
    if (!folder) {
        const int error = errno;
        close(descriptor);
        throw ListingError(path, error);
    }
    mFolder.reset(folder);
}

OpenFolder OpenFolder::Open(const FolderItem& folder)
{
    const int descriptor = open(QFile::encodeName(folder.AbsolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        throw ListingError(folder.AbsolutePath(), errno);
    return OpenFolder(descriptor, folder.AbsolutePath(), true);
}

OpenFolder OpenFolder::OpenChild(const FolderEntry& entry) const
{
    const QString path = PathOf(entry);
    const int descriptor = openat(dirfd(mFolder.get()), entry.nativeName.constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        throw ListingError(path, errno);
    return OpenFolder(descriptor, path, mExact && entry.exactName);
}

std::vector<FolderEntry> OpenFolder::Entries() const
{
    DIR* folder = mFolder.get();
    rewinddir(folder);
    std::vector<FolderEntry> entries;
    errno = 0;
    while (const dirent* entry = readdir(folder)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        FolderEntry& added = entries.emplace_back();
        added.nativeName = QByteArray(name);
        added.name = QString::fromUtf8(added.nativeName);
        added.exactName = QByteArrayView(added.nativeName).isValidUtf8();
        added.kind = KindOf(*entry, dirfd(folder));
        errno = 0;
    }
    if (errno != 0)
        throw ListingError(mPath, errno);
    // Two names that read the same as text keep one order: their bytes decide.
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        const int order = CompareNatural(a.name, b.name);
        return order != 0 ? order < 0 : a.nativeName < b.nativeName;
    });
    return entries;
}

FileStatus OpenFolder::StatusOf(const FolderEntry& entry) const
{
    return StatusAt(dirfd(mFolder.get()), entry.nativeName.constData());
}

FileStatus OpenFolder::StatusOf(const QString& name) const
{
    return StatusAt(dirfd(mFolder.get()), QFile::encodeName(name).constData());
}

QString OpenFolder::PathOf(const FolderEntry& entry) const
{
    // Made at its exact size: the import list keeps one path per row.
    QString path;
    path.reserve(mPath.size() + 1 + entry.name.size());
    path += mPath;
    if (!mPath.endsWith(u'/'))
        path += u'/';
    path += entry.name;
    return path;
}
