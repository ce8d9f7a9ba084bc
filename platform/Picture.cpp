#include "Picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QThread>
#include <poppler-qt6.h>

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

// Smooth scaling works on 32-bit pixels: any other picture is first copied whole into them.
bool ScalesInPlace(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied;
}

// Grey scans are first shrunk in grey by a whole factor (each k x k square averaged), so that the
// smooth scaling that follows copies a small picture into 32 bits instead of the whole page.
constexpr int GreyReductionMinimum = 4;

// The factor k by which a decoded picture is first shrunk in grey on its way to target; 1 for none.
int GreyReduction(const QSize& decoded, QImage::Format format, const QSize& target)
{
    const int factor = std::min(decoded.width() / target.width(), decoded.height() / target.height());
    return format == QImage::Format_Grayscale8 && factor >= GreyReductionMinimum ? factor / 2 : 1;
}

QImage GreyReduced(const QImage& grey, int k)
{
    const int width = grey.width();
    const int height = grey.height();
    QImage reduced((width + k - 1) / k, (height + k - 1) / k, QImage::Format_Grayscale8);
    if (reduced.isNull())
        return reduced;
    std::vector<quint32> sums(size_t(reduced.width()));
    for (int row = 0; row < reduced.height(); ++row) {
        std::fill(sums.begin(), sums.end(), 0);
        const int top = row * k;
        const int rows = std::min(k, height - top);
        for (int y = top; y < top + rows; ++y) {
            const uchar* line = grey.constScanLine(y);
            for (int column = 0, x = 0; column < reduced.width(); ++column) {
                const int end = std::min(x + k, width);
                quint32 sum = 0;
                for (; x < end; ++x)
                    sum += line[x];
                sums[size_t(column)] += sum;
            }
        }
        uchar* out = reduced.scanLine(row);
        for (int column = 0; column < reduced.width(); ++column) {
            const quint32 area = quint32(rows * std::min(k, width - column * k));
            out[column] = uchar((sums[size_t(column)] + area / 2) / area);
        }
    }
    return reduced;
}

// Brings a decoded picture to exactly target: smooth scaling when the decoder did not hit the
// size, then 32 bits per pixel with any transparency laid on white.
std::optional<QImage> Finish(const QImage& decoded, const QSize& target)
{
    QImage source = decoded;
    const int k = GreyReduction(decoded.size(), decoded.format(), target);
    if (k > 1)
        source = GreyReduced(decoded, k);
    QImage image = source.size() == target
        ? source
        : source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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

// Each worker thread decodes into the same image again and again: the decoders refill a picture
// of the same size and format in place, which spares allocating (and the system zeroing) a whole
// page for every page. A picture larger than a worker's share of the budget is not kept.
QImage& DecodeBuffer()
{
    thread_local QImage buffer;
    return buffer;
}

qint64 KeptBufferBytes()
{
    return PictureMemoryCeiling() / 4 / std::max(1, QThread::idealThreadCount());
}

// What decoding a picture of size in format and fitting it to target takes, as Fit and Finish
// allocate it: the decoded picture, a turned copy when it has to be turned, a grey picture shrunk
// first or else a whole 32-bit copy when smooth scaling needs one, and a few target-sized pictures.
qint64 WorkingBytes(const QSize& size, QImage::Format format, bool turned, const QSize& target)
{
    qint64 bytes = ImageBytes(size, format) + 4 * ImageBytes(target, QImage::Format_RGB32);
    const QSize upright = turned ? size.transposed() : size;
    if (turned)
        bytes += ImageBytes(upright, format);
    if (ScalesInPlace(format) || upright == target)
        return bytes;
    const int k = GreyReduction(upright, format, target);
    if (k == 1)
        return bytes + ImageBytes(upright, QImage::Format_RGB32);
    const QSize reduced((upright.width() + k - 1) / k, (upright.height() + k - 1) / k);
    return bytes + ImageBytes(reduced, format) + ImageBytes(reduced, QImage::Format_RGB32);
}

std::atomic<qint64> CeilingSet{0};

// Qt's decoders refuse to allocate a picture over Qt's limit, counting at least 32 bits a pixel
// whatever the format. A picture decoded whole is decoded into a buffer made here of the size and
// format its header gives, which the decoder fills in place, so this limit only stops a decoder
// that allocates something else than its header said.
void ApplyAllocationLimit()
{
    QImageReader::setAllocationLimit(int(std::max<qint64>(1, LargestPictureBytes() / (1024 * 1024))));
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
    mReader = std::make_unique<QImageReader>(path);
    mReader->setDecideFormatFromContent(true);
    mReader->setAutoTransform(true);
    const QSize source = mReader->size();
    if (!(source.width() > 0 && source.height() > 0)) {
        // Nothing tells the size before decoding: the picture counts as the largest allowed.
        mDecodeBytes = mReader->canRead() ? LargestPictureBytes() : 0;
        return;
    }
    // The box is fitted by the picture as it stands after turning; the decoder scales before.
    const bool turned = mReader->transformation().testFlag(QImageIOHandler::TransformationRotate90);
    const QSize upright = turned ? source.transposed() : source;
    mTarget = FittedSize(upright, mBox);
    const QImage::Format format = mReader->imageFormat();
    qint64 bytes = WorkingBytes(source, format, turned, mTarget);
    // The JPEG decoder decodes at 1/2, 1/4 or 1/8 size itself: much faster and smaller than
    // decoding a whole scan and shrinking it afterwards. The PNG decoder shrinks pictures of 32-bit
    // pixels row by row, more slowly than it decodes them whole, so only a picture too large to
    // decode beside others is shrunk; it decodes any other PNG whole before shrinking it.
    const QByteArray decoder = mReader->format();
    const bool shrinksFaster = decoder == "jpeg";
    const bool shrinksInRows =
        decoder == "png" && (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32);
    if (mReader->supportsOption(QImageIOHandler::ScaledSize) && mTarget != upright
        && (shrinksFaster || (shrinksInRows && bytes > LookAheadPictureBytes()))) {
        mReader->setScaledSize(turned ? mTarget.transposed() : mTarget);
        const QSize decoded = shrinksFaster ? ScaledDecodeSize(source, mReader->scaledSize()) : mReader->scaledSize();
        bytes = WorkingBytes(decoded, QImage::Format_RGB32, turned, mTarget);
    } else if (format != QImage::Format_Invalid) {
        mWholeSize = source;
        mWholeFormat = format;
    }
    mDecodeBytes = bytes <= LargestPictureBytes() ? bytes : 0;
}

std::optional<QImage> PictureFitter::Fit()
{
    if (mDecodeBytes == 0)
        return std::nullopt;
    try {
        if (mPDF)
            return RenderPDF(mPath, mBox);
        QImage& image = DecodeBuffer();
        if (mWholeFormat != QImage::Format_Invalid && (image.size() != mWholeSize || image.format() != mWholeFormat)) {
            image = QImage(mWholeSize, mWholeFormat);
            if (image.isNull())
                return std::nullopt;
        }
        std::optional<QImage> fitted;
        if (mReader->read(&image) && !image.isNull())
            fitted = Finish(image, mTarget.isValid() ? mTarget : FittedSize(image.size(), mBox));
        if (image.sizeInBytes() > KeptBufferBytes())
            image = QImage();
        return fitted;
    } catch (const std::bad_alloc&) {
        DecodeBuffer() = QImage();
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
