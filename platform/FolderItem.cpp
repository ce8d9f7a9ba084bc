#include "FolderItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

#include "Exceptions.h"
#include "FileType.h"
#include "UIServices.h"

namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Compares names as a file manager sorts them: letter case ignored, runs of digits by their
// numeric value (file2 before file10). Names equal in that order fall back to a plain comparison
// so the order is total and stable.
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
        const int letter = QString(a[i]).compare(QString(b[j]), Qt::CaseInsensitive);
        if (letter != 0)
            return letter;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}

QStringList ListFolder(const QString& path)
{
    DIR* folder = opendir(QFile::encodeName(path).constData());
    if (!folder)
        throw IOException(QStringLiteral("The folder \"%1\" cannot be listed: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    QStringList names;
    errno = 0;
    while (const dirent* entry = readdir(folder)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            names << QFile::decodeName(name);
    }
    const int readError = errno;
    closedir(folder);
    if (readError != 0)
        throw IOException(QStringLiteral("The folder \"%1\" cannot be listed: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(readError))));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return CompareNatural(a, b) < 0; });
    return names;
}

} // namespace

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

QString FolderItem::Type() const
{
    const QString name = Name();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    return FileType::NameForExtension(name.mid(dot));
}

Date FolderItem::ModificationDate() const
{
    const QDateTime modified = QFileInfo(mPath).lastModified();
    const QDate d = modified.date();
    const QTime t = modified.time();
    return Date(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

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
