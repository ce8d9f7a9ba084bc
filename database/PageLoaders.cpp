#include "PageLoaders.h"

#include <QFile>

#include "Exceptions.h"
#include "FolderItem.h"
#include "UIServices.h"

namespace {

PageFileBytes Failure(const QString& message)
{
    return {QByteArray(), message};
}

// The page file named by path, or the empty reference for a path that cannot name one.
FolderItem PageFileItem(const QString& path)
{
    try {
        return GetFolderItem(path, 0);
    } catch (const RuntimeException&) {
        return {};
    }
}

} // namespace

PageFileBytes ReadPageFile(const QString& path, long long byteLimit)
{
    if (path.isEmpty())
        return Failure(QStringLiteral("No page file is named."));
    const FolderItem item = PageFileItem(path);
    if (item.IsNull())
        return Failure(QStringLiteral("The page file \"%1\" cannot be found.").arg(path));
    // Only regular files: reading a FIFO or a device could block or never end.
    if (!item.IsRegularFile())
        return Failure(QStringLiteral("The page file \"%1\" does not exist or is not a file.").arg(path));
    const long long length = item.Length();
    if (length > byteLimit)
        return Failure(QStringLiteral("The page file \"%1\" is too large to store (%2 bytes, at most %3).")
                           .arg(path)
                           .arg(length)
                           .arg(byteLimit));
    QFile file(item.NativePath());
    if (!file.open(QIODevice::ReadOnly))
        return Failure(QStringLiteral("The page file \"%1\" cannot be opened: %2.").arg(path, file.errorString()));
    try {
        QByteArray bytes(qsizetype(length), Qt::Uninitialized);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const qint64 got = file.read(bytes.data() + done, bytes.size() - done);
            if (got <= 0)
                break;
            done += qsizetype(got);
        }
        // A file that changed while it was read is reported rather than stored cut short.
        if (done != bytes.size() || !file.atEnd())
            return Failure(QStringLiteral("The page file \"%1\" cannot be read: %2.")
                               .arg(path, file.error() != QFileDevice::NoError ? file.errorString()
                                                                               : QStringLiteral("its size changed")));
        return {bytes, QString()};
    } catch (const std::bad_alloc&) {
        return Failure(QStringLiteral("The page file \"%1\" does not fit in memory.").arg(path));
    }
}

QString PageFileNativePath(const QString& path)
{
    const FolderItem item = PageFileItem(path);
    return item.IsNull() ? QString() : item.NativePath();
}

std::optional<QByteArray> PreviewOf(PictureFitter& picture)
{
    try {
        const std::optional<QImage> fitted = picture.Fit();
        if (!fitted)
            return std::nullopt;
        QByteArray jpeg = JPEGData(*fitted, PreviewQuality);
        if (jpeg.isEmpty())
            return std::nullopt;
        return jpeg;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<QByteArray> MakePreview(const QString& path)
{
    PictureFitter picture(PageFileNativePath(path), PreviewBox);
    return PreviewOf(picture);
}

QString PreviewErrorText()
{
    return QStringLiteral("Error creating preview!");
}

QByteArray SubOpenScan(const QString& path, QString* error, long long byteLimit)
{
    PageFileBytes file = ReadPageFile(path, byteLimit);
    if (error)
        *error = file.error;
    return file.bytes;
}

QByteArray SubOpenScanPreview(const QString& path)
{
    std::optional<QByteArray> preview = MakePreview(path);
    if (!preview) {
        MsgBox(PreviewErrorText());
        return {};
    }
    return *preview;
}
