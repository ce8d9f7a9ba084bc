#include "Picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <poppler-qt6.h>

#include <algorithm>
#include <cmath>

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

// Brings a decoded picture to exactly target: smooth scaling when the decoder did not hit the
// size, then 32 bits per pixel with any transparency laid on white.
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

std::optional<QImage> DecodeImage(const QString& path, const QSize& box)
{
    // Qt refuses pictures above 128 MB by default, which turns away a 600 dpi A4 scan. A
    // gigabyte still refuses absurd headers while taking every real page.
    static const bool limitRaised = [] {
        QImageReader::setAllocationLimit(1024);
        return true;
    }();
    (void)limitRaised;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    QSize source = reader.size();
    const bool sizeKnown = source.width() > 0 && source.height() > 0;
    if (sizeKnown && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The JPEG decoder then decodes at 1/2, 1/4 or 1/8 size itself: much faster and smaller
        // than decoding a whole scan and shrinking it afterwards.
        const QSize target = FittedSize(source, box);
        if (target != source)
            reader.setScaledSize(target);
    }
    // The reader refuses pictures beyond its allocation limit instead of exhausting memory.
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    if (!sizeKnown)
        source = image.size();
    return Finish(image, FittedSize(source, box));
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

std::optional<QImage> RenderPDF(const QString& path, const QSize& box)
{
    QuietPoppler();
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
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

std::optional<QImage> OpenPictureFitted(const QString& path, const QSize& box)
{
    // Only regular files: a FIFO or a device would block the decoder or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile() || box.isEmpty())
        return std::nullopt;
    try {
        return LooksLikePDF(path) ? RenderPDF(path, box) : DecodeImage(path, box);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
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
