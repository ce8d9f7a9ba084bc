#include "Picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QThread>
#include <poppler-qt6.h>

#include "PixelRow.h"
#include "ReducedPicture.h"
#include "RowDecoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

// A side that is mathematically a whole number can come out a hair below it in floating point
// (563 * (380 / 563.0) = 379.99999999999994) and would lose a pixel to the truncation. Real
// fractions of a side are at least 1 / (source side) away from a whole number, far above this.
constexpr double WholeNumberTolerance = 1e-9;

int FittedSide(double length, double factor)
{
    return std::max(1, int(std::floor(length * factor + WholeNumberTolerance)));
}

// PDF files may start with a little garbage; readers accept the header in the first 1024 bytes.
bool LooksLikePDF(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(1024).contains("%PDF-");
}

// Bytes of an image of size in format (an unknown format counts as 32 bits per pixel).
qint64 ImageBytes(const QSize& size, QImage::Format format)
{
    const qint64 depth = format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return (qint64(size.width()) * depth + 31) / 32 * 4 * size.height();
}

// Brings a picture decoded at about its target's size (a JPEG decoded at a reduced scale, a PDF
// page rendered at the preview's resolution) to exactly target: smooth scaling when the decoder
// did not hit the size, then 32 bits per pixel with any transparency laid on white.
std::optional<QImage> Finish(const QImage& decoded, const QSize& target)
{
    QImage image = decoded.size() == target
        ? decoded
        : decoded.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.isNull())
        return std::nullopt;
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage canvas(target, QImage::Format_RGB32);
    if (canvas.isNull())
        return std::nullopt;
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, image);
    painter.end();
    return canvas;
}

// A picture decoded whole is converted in bands of this many rows on its way into the reduced
// picture, so that the conversion never copies the whole page.
constexpr int FoldBandRows = 64;

// What folding a picture of width decoded whole takes besides the picture: one band converted
// to 32 bits a pixel, twice (the band and its conversion), and the row laid on white.
qint64 FoldBandBytes(int width)
{
    return 2 * qint64(width) * 4 * FoldBandRows + qint64(width) * 3;
}

// A picture decoded whole, folded into target: every pixel kind is brought to opaque 8-bit grey
// or RGB band by band, transparency laid on white pixel by pixel, then averaged down.
QImage FoldWhole(const QImage& image, const QSize& target)
{
    ReducedPicture reduced(image.size(), target);
    const bool alpha = image.hasAlphaChannel();
    const bool grey = !alpha && image.isGrayscale();
    const QImage::Format format = alpha ? QImage::Format_RGBA8888 : grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
    std::vector<uchar> opaque(alpha ? size_t(image.width()) * 3 : 0);
    for (int top = 0; top < image.height(); top += FoldBandRows) {
        const int rows = std::min(FoldBandRows, image.height() - top);
        const QImage band = image.copy(0, top, image.width(), rows).convertToFormat(format);
        if (band.isNull())
            return {};
        for (int row = 0; row < rows; ++row) {
            const uchar* line = band.constScanLine(row);
            if (grey) {
                reduced.AddGrey(top + row, line, image.width());
            } else if (alpha) {
                LayOnWhite(line, image.width(), 3, opaque.data());
                reduced.AddRGB(top + row, opaque.data(), image.width());
            } else {
                reduced.AddRGB(top + row, line, image.width());
            }
        }
    }
    return reduced.Image();
}

// Whether the orientation tag (TIFF, EXIF) turns the picture a quarter, swapping its sides.
bool TurnsAQuarter(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// The orientation tag (1 to 8) that Qt's transformation flags stand for.
int OrientationOf(QImageIOHandler::Transformations transformation)
{
    static constexpr int Tags[8] = {1, 2, 4, 3, 6, 7, 5, 8};  // indexed by mirror | flip << 1 | rotate << 2
    return Tags[int(transformation) & 7];
}

// What libjpeg holds for a progressive JPEG besides the decoded picture: every coefficient of the
// whole picture, at full size whatever the scale it is decoded at (2 bytes a coefficient, 64 a
// block). 0 for a baseline JPEG, decoded a few rows at a time, and for a file that is no JPEG.
qint64 ProgressiveJPEGBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(2) != "\xFF\xD8")
        return 0;
    // Segment after segment, reading only their markers and lengths, up to the frame header.
    for (QByteArray marker = file.read(4); marker.size() == 4 && uchar(marker[0]) == 0xFF; marker = file.read(4)) {
        const int type = uchar(marker[1]);
        const int length = uchar(marker[2]) << 8 | uchar(marker[3]);
        if (length < 2)
            return 0;
        // Start of frame: progressive are 0xC2, 0xC6, 0xCA and 0xCE.
        const bool frame = type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC;
        if (!frame) {
            if (!file.seek(file.pos() + length - 2))
                return 0;
            continue;
        }
        const QByteArray header = file.read(length - 2);
        if ((type & 3) != 2 || header.size() < 6)
            return 0;
        const auto byte = [&](int at) { return at < header.size() ? int(uchar(header[at])) : 0; };
        const qint64 height = byte(1) << 8 | byte(2);
        const qint64 width = byte(3) << 8 | byte(4);
        const int components = byte(5);
        int hMax = 1, vMax = 1;
        for (int c = 0; c < components; ++c) {
            hMax = std::max(hMax, byte(7 + 3 * c) >> 4);
            vMax = std::max(vMax, byte(7 + 3 * c) & 15);
        }
        qint64 bytes = 0;
        for (int c = 0; c < components; ++c) {
            const int h = std::max(1, byte(7 + 3 * c) >> 4);
            const int v = std::max(1, byte(7 + 3 * c) & 15);
            // Blocks across and down, rounded up to whole sampling units as libjpeg allocates them.
            const qint64 across = (width * h + 8 * hMax - 1) / (8 * hMax);
            const qint64 down = (height * v + 8 * vMax - 1) / (8 * vMax);
            bytes += (across + h - 1) / h * h * ((down + v - 1) / v * v) * 128;
        }
        return bytes;
    }
    return 0;
}

std::atomic<qint64> CeilingSet{0};

// Qt's decoders refuse to allocate a picture over Qt's limit, counting 32 bits a pixel whatever
// the format. What a picture decoded whole takes is counted here, at its own format's depth, before
// it is decoded; Qt's limit only stops a decoder that allocates more than its header said, so it
// allows the pixels of the largest picture at 8 bits each.
void ApplyAllocationLimit()
{
    QImageReader::setAllocationLimit(int(std::max<qint64>(1, 4 * LargestPictureBytes() / (1024 * 1024))));
}

void EnsureAllocationLimit()
{
    static std::once_flag once;
    std::call_once(once, ApplyAllocationLimit);
}

// The JPEG decoder shrinks by 1/2, 1/4 or 1/8 while decoding, to the nearest size at or above
// the one asked for; this is the size it decodes at.
QSize ScaledDecodeSize(const QSize& source, const QSize& target)
{
    const int ratio = std::min(source.width() / target.width(), source.height() / target.height());
    const int denominator = ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
    return {(source.width() + denominator - 1) / denominator, (source.height() + denominator - 1) / denominator};
}

// The logical screen of a GIF file, which its decoder paints every frame on: Qt reports the size
// of the first frame, which may be far smaller.
QSize GIFScreenSize(const QString& path)
{
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(10) : QByteArray();
    if (head.size() < 10)
        return {};
    const auto word = [&](int at) { return int(uchar(head[at])) | int(uchar(head[at + 1])) << 8; };
    return {word(6), word(8)};
}

// What libjpeg and Qt's JPEG decoder hold while a picture of width is decoded a few rows at a
// time: the rows of one band of blocks at full width (up to 16 rows of 4 bytes a pixel, for colour
// sampled at half height), and the decoder's tables.
qint64 JPEGRowBytes(int width)
{
    return 16LL * width * 4 * 2 + 2 * 1024 * 1024;
}

// A broken PDF is simply no picture; Poppler's own complaints would only clutter the output.
void QuietPoppler()
{
    static const bool quiet = [] {
        Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());
        return true;
    }();
    (void)quiet;
}

// Poppler reads a file in small pieces, one system call each; a PDF of ordinary size is read
// whole into memory first, which renders the same page for less.
constexpr qint64 PDFReadWholeLimit = 32 * 1024 * 1024;

std::unique_ptr<Poppler::Document> LoadPDF(const QString& path)
{
    QFile file(path);
    if (file.size() > PDFReadWholeLimit || !file.open(QIODevice::ReadOnly))
        return Poppler::Document::load(path);
    return Poppler::Document::loadFromData(file.readAll());
}

std::optional<QImage> RenderPDF(const QString& path, const QSize& box)
{
    QuietPoppler();
    const std::unique_ptr<Poppler::Document> document = LoadPDF(path);
    if (!document || document->isLocked() || document->numPages() < 1)
        return std::nullopt;
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return std::nullopt;
    const QSizeF source = page->pageSizeF();
    if (!(source.width() > 0 && source.height() > 0))
        return std::nullopt;
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    // Rendered straight at the preview's resolution: one point of the page becomes factor pixels.
    const double dpi = 72.0 * FitFactor(source, box);
    const QImage image = page->renderToImage(dpi, dpi);
    if (image.isNull())
        return std::nullopt;
    return Finish(image, FittedSize(source, box));
}

} // namespace

double FitFactor(const QSizeF& source, const QSize& box)
{
    return std::min({box.width() / source.width(), box.height() / source.height(), 1.0});
}

QSize FittedSize(const QSizeF& source, const QSize& box)
{
    if (!(source.width() > 0 && source.height() > 0))
        return {};
    const double factor = FitFactor(source, box);
    return {FittedSide(source.width(), factor), FittedSide(source.height(), factor)};
}

qint64 PictureMemoryCeiling()
{
    if (const qint64 set = CeilingSet.load())
        return set;
    constexpr qint64 MiB = 1024 * 1024;
    return 512 * MiB + 128 * MiB * std::clamp(QThread::idealThreadCount(), 1, 8);
}

void SetPictureMemoryCeiling(qint64 bytes)
{
    CeilingSet = std::max<qint64>(bytes, 0);
    ApplyAllocationLimit();
}

qint64 LookAheadPictureBytes()
{
    return PictureMemoryCeiling() / 4;
}

qint64 LargestPicturePixels()
{
    return 1LL << 30;
}

qint64 LargestPictureBytes()
{
    constexpr qint64 Cap = 768LL * 1024 * 1024;
    return std::min(PictureMemoryCeiling() / 8 * 7, Cap);
}

PictureFitter::PictureFitter(const QString& path, const QSize& box) : mPath(path), mBox(box)
{
    // Only regular files: a FIFO or a device would block the decoder or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile() || box.isEmpty())
        return;
    try {
        Inspect(path);
    } catch (const std::bad_alloc&) {
        mDecodeBytes = 0;
    }
}

PictureFitter::~PictureFitter() = default;

void PictureFitter::Inspect(const QString& path)
{
    EnsureAllocationLimit();

    if (LooksLikePDF(path)) {
        // The page is rendered straight at the preview's size; its pictures are streamed.
        mPDF = true;
        mDecodeBytes = 4 * ImageBytes(mBox, QImage::Format_RGB32) + std::min(QFileInfo(path).size(), PDFReadWholeLimit);
        return;
    }
    for (const auto open : {OpenTIFFRows, OpenPNGRows, OpenBMPRows}) {
        if ((mRows = open(path))) {
            InspectRows();
            return;
        }
    }
    InspectWhole(path);
}

// The box is fitted by the picture as it stands once turned; the pixels arrive as stored.
void PictureFitter::SetSource(const QSize& stored, int orientation)
{
    mOrientation = orientation;
    const bool turned = TurnsAQuarter(orientation);
    mTarget = FittedSize(turned ? stored.transposed() : stored, mBox);
    mStoredTarget = turned ? mTarget.transposed() : mTarget;
}

void PictureFitter::InspectRows()
{
    const QSize size = mRows->Size();
    if (!(size.width() > 0 && size.height() > 0) || qint64(size.width()) * size.height() > LargestPicturePixels())
        return;
    SetSource(size, mRows->Orientation());
    // Rows take little, but a decoder may hold a large piece whole (a TIFF's single compressed strip).
    const qint64 bytes = mRows->WorkingBytes() + ReducedPicture::Bytes(mTarget) + 4 * ImageBytes(mTarget, QImage::Format_RGB32);
    mDecodeBytes = bytes <= LargestPictureBytes() ? bytes : 0;
}

void PictureFitter::InspectWhole(const QString& path)
{
    mReader = std::make_unique<QImageReader>(path);
    mReader->setDecideFormatFromContent(true);
    // Turning is done on the reduced picture; the JPEG decoder turns its own reduced picture.
    const QByteArray decoder = mReader->format();
    mReader->setAutoTransform(decoder == "jpeg");
    const QSize source = decoder == "gif" ? GIFScreenSize(path).expandedTo(mReader->size()) : mReader->size();
    if (!(source.width() > 0 && source.height() > 0) || qint64(source.width()) * source.height() > LargestPicturePixels())
        return;
    SetSource(source, OrientationOf(mReader->transformation()));
    const QImage::Format format = mReader->imageFormat();
    const qint64 finished = 4 * ImageBytes(mTarget, QImage::Format_RGB32);
    qint64 bytes = 0;
    if (decoder == "jpeg" && mReader->supportsOption(QImageIOHandler::ScaledSize)) {
        // The JPEG decoder decodes at 1/2, 1/4 or 1/8 of the size itself, turns what it decoded
        // and smooth-scales it to the size asked for.
        mReader->setScaledSize(mStoredTarget);
        const QSize decoded = ScaledDecodeSize(source, mStoredTarget);
        bytes = 2 * ImageBytes(decoded, QImage::Format_RGB32) + ProgressiveJPEGBytes(path) + JPEGRowBytes(source.width());
    } else {
        // Only the PNM decoder decodes into the format it reports; the others (GIF's palette
        // pictures too) decode into 32 bits a pixel. WebP's lossless decoder also holds its own
        // copy of the pixels beside the picture it fills.
        const bool ownFormat = decoder == "pbm" || decoder == "pgm" || decoder == "ppm" || decoder == "bmp";
        bytes = ImageBytes(source, ownFormat ? format : QImage::Format_RGB32) + FoldBandBytes(source.width())
            + ReducedPicture::Bytes(mStoredTarget);
        if (decoder == "webp")
            bytes += ImageBytes(source, QImage::Format_RGB32);
        mWhole = true;
    }
    bytes += finished;
    mDecodeBytes = bytes <= LargestPictureBytes() ? bytes : 0;
}

std::optional<QImage> PictureFitter::Fit()
{
    if (mDecodeBytes == 0)
        return std::nullopt;
    try {
        if (mPDF)
            return RenderPDF(mPath, mBox);
        if (mRows) {
            ReducedPicture reduced(mRows->Size(), mStoredTarget);
            if (!mRows->Fold(reduced))
                return std::nullopt;
            return Oriented(reduced.Image(), mOrientation);
        }
        // A fresh picture for every page: nothing of another page can show through what a
        // decoder leaves unwritten.
        QImage image;
        if (!mReader->read(&image) || image.isNull())
            return std::nullopt;
        if (!mWhole)
            return Finish(image, mTarget);
        // Sized from what was decoded, in case it differs from what the header said.
        const QSize box = TurnsAQuarter(mOrientation) ? mBox.transposed() : mBox;
        const QImage reduced = FoldWhole(image, FittedSize(image.size(), box));
        if (reduced.isNull())
            return std::nullopt;
        return Oriented(reduced, mOrientation);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<QImage> OpenPictureFitted(const QString& path, const QSize& box)
{
    return PictureFitter(path, box).Fit();
}

QByteArray JPEGData(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return bytes;
}
