#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <array>
#include <bit>
#include <functional>

#include "Picture.h"
#include "PictureCompare.h"
#include "RowDecoder.h"

namespace {

const QSize PageSize(901, 1237);

// A page with thin strokes, text, shapes and a gradient; transparent around them when asked.
QImage Page(bool transparent)
{
    QImage page(PageSize, QImage::Format_ARGB32);
    page.fill(transparent ? Qt::transparent : Qt::white);
    QPainter painter(&page);
    QLinearGradient gradient(0, 0, PageSize.width(), 0);
    gradient.setColorAt(0, QColor(200, 30, 30, transparent ? 90 : 255));
    gradient.setColorAt(1, QColor(30, 30, 200));
    painter.fillRect(QRect(60, 80, 780, 260), gradient);
    painter.setBrush(QColor(20, 140, 60, transparent ? 160 : 255));
    painter.drawEllipse(QRect(200, 380, 420, 420));
    painter.setPen(QPen(Qt::black, 1));
    for (int y = 840; y < 1200; y += 6)
        painter.drawLine(40, y, 860, y + 20);
    painter.setFont(QFont("Sans", 14));
    painter.drawText(QRect(40, 20, 820, 50), "Invoice 4711: thin lines, small print");
    return page;
}

struct Kind
{
    const char* name;
    int bits;
    int compression;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    int header;       // bytes of the info header
    bool topDown;
    std::array<quint32, 4> masks;  // with bit fields: red, green, blue, alpha
    // Pixels the file leaves out, at picture x, y (RLE only): skipped or after its end.
    std::function<bool(int, int)> unwritten;
};

// The largest value of a channel in mask, and the channel's value of the 8-bit sample c.
int Largest(quint32 mask)
{
    return mask ? int(mask >> std::countr_zero(mask)) : 0;
}

int Packed(int c, quint32 mask)
{
    return Largest(mask) ? (c * Largest(mask) + 127) / 255 : 0;
}

// page with each channel rounded to the bits of its mask.
QImage Quantised(QImage page, const std::array<quint32, 4>& masks)
{
    const auto channel = [&](int c, size_t i) {
        const int largest = Largest(masks[i]);
        return largest ? (Packed(c, masks[i]) * 255 + largest / 2) / largest : 0;
    };
    for (int y = 0; y < page.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x)
            line[x] = qRgba(channel(qRed(line[x]), 0), channel(qGreen(line[x]), 1), channel(qBlue(line[x]), 2),
                            masks[3] ? channel(qAlpha(line[x]), 3) : 255);
    }
    return page;
}

// The page as the file holds it.
QImage Stored(const Kind& kind)
{
    const QImage page = Page(kind.masks[3] != 0);
    if (kind.bits == 1)
        return page.convertToFormat(QImage::Format_Indexed8, {qRgb(255, 255, 255), qRgb(20, 20, 90)},
                                    Qt::ThresholdDither);
    if (kind.bits == 4) {
        QList<QRgb> colours;
        for (int i = 0; i < 16; ++i)
            colours.append(qRgb(i * 17, 255 - i * 11, (i * 77) % 256));
        return page.convertToFormat(QImage::Format_Indexed8, colours);
    }
    if (kind.bits == 8)
        return page.convertToFormat(QImage::Format_Indexed8);
    if (kind.compression == 3)
        return Quantised(page, kind.masks);
    if (kind.bits == 24)
        return page.convertToFormat(QImage::Format_RGB888);
    return page;
}

void Put16(QByteArray& bytes, quint16 value)
{
    bytes.append(char(value & 0xff)).append(char(value >> 8));
}

void Put32(QByteArray& bytes, quint32 value)
{
    Put16(bytes, quint16(value));
    Put16(bytes, quint16(value >> 16));
}

// Stored row y of an Indexed8 image run-length encoded, leaving out the pixels kind says.
void EncodeRLE(const QImage& image, const Kind& kind, int y, QByteArray& out)
{
    const int width = image.width();
    const uchar* line = image.constScanLine(y);
    const auto pair = [&](int x) { return char(kind.bits == 4 ? line[x] << 4 | line[x] : line[x]); };
    for (int x = 0; x < width;) {
        int gap = 0;
        while (x + gap < width && gap < 255 && kind.unwritten(x + gap, y))
            ++gap;
        if (gap > 0) {
            if (x + gap < width)
                out.append('\0').append('\2').append(char(gap)).append('\0');
            x += gap;
            continue;
        }
        int run = 1;
        while (x + run < width && run < 255 && line[x + run] == line[x] && !kind.unwritten(x + run, y))
            ++run;
        // Else a stretch of changing pixels, given one by one when there are at least 3.
        int count = 1;
        while (run == 1 && x + count < width && count < 255 && !kind.unwritten(x + count, y)
               && (x + count + 1 == width || line[x + count] != line[x + count + 1]))
            ++count;
        if (run > 1 || count < 3) {
            out.append(char(run)).append(pair(x));
            x += run;
            continue;
        }
        out.append('\0').append(char(count));
        const int bytes = kind.bits == 4 ? (count + 1) / 2 : count;
        for (int i = 0; i < bytes; ++i)
            out.append(kind.bits == 4 ? char(line[x + 2 * i] << 4 | (2 * i + 1 < count ? line[x + 2 * i + 1] : 0))
                                      : char(line[x + i]));
        if (bytes % 2)
            out.append('\0');
        x += count;
    }
}

// The rows of image in the order and the encoding the file stores them.
QByteArray PixelData(const QImage& image, const Kind& kind)
{
    const int width = image.width();
    const int height = image.height();
    const auto rowLeftOut = [&](int y) {
        for (int x = 0; x < width; ++x)
            if (!kind.unwritten(x, y))
                return false;
        return true;
    };
    QByteArray pixels;
    const int stride = (width * kind.bits + 31) / 32 * 4;
    int skipped = 0;
    for (int stored = 0; stored < height; ++stored) {
        const int y = kind.topDown ? stored : height - 1 - stored;
        if (kind.compression == 1 || kind.compression == 2) {
            bool rest = true;
            for (int later = stored; later < height && rest; ++later)
                rest = rowLeftOut(kind.topDown ? later : height - 1 - later);
            if (rest) {
                pixels.append('\0').append('\1');
                break;
            }
            if (rowLeftOut(y)) {
                ++skipped;
                continue;
            }
            if (skipped > 0)
                pixels.append('\0').append('\2').append('\0').append(char(skipped));
            skipped = 0;
            EncodeRLE(image, kind, y, pixels);
            pixels.append('\0').append('\0');
            continue;
        }
        QByteArray row(stride, '\0');
        uchar* to = reinterpret_cast<uchar*>(row.data());
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            if (kind.bits <= 8) {
                to[x * kind.bits / 8] |= uchar(line[x] << (8 - kind.bits - x * kind.bits % 8));
            } else if (kind.bits == 24) {
                to[3 * x] = line[3 * x + 2];
                to[3 * x + 1] = line[3 * x + 1];
                to[3 * x + 2] = line[3 * x];
            } else if (kind.bits == 32 && kind.compression == 0) {
                qToLittleEndian(reinterpret_cast<const quint32*>(line)[x] & 0xffffff, to + 4 * x);
            } else {
                const QRgb colour = reinterpret_cast<const QRgb*>(line)[x];
                const int samples[] = {qRed(colour), qGreen(colour), qBlue(colour), qAlpha(colour)};
                quint32 pixel = 0;
                for (size_t c = 0; c < 4; ++c)
                    if (kind.masks[c])
                        pixel |= quint32(Packed(samples[c], kind.masks[c])) << std::countr_zero(kind.masks[c]);
                for (int b = 0; b < kind.bits / 8; ++b)
                    to[x * kind.bits / 8 + b] = uchar(pixel >> 8 * b);
            }
        }
        pixels.append(row);
    }
    return pixels;
}

// image (as Stored gives it) in a BMP file of kind.
QByteArray BMP(const QImage& image, const Kind& kind)
{
    const int width = image.width();
    const int height = image.height();
    QByteArray info;
    if (kind.header == 12) {
        Put16(info, quint16(width));
        Put16(info, quint16(height));
        Put16(info, 1);
        Put16(info, quint16(kind.bits));
    } else {
        Put32(info, quint32(width));
        Put32(info, quint32(kind.topDown ? -height : height));
        Put16(info, 1);
        Put16(info, quint16(kind.bits));
        Put32(info, quint32(kind.compression));
        Put32(info, 0);
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, kind.bits <= 8 ? quint32(image.colorCount()) : 0);
        Put32(info, 0);
        for (int i = 0; i < 4 && info.size() + 4 < kind.header; ++i)
            Put32(info, kind.masks[size_t(i)]);
        info.append(QByteArray(kind.header - 4 - info.size(), '\0'));
    }
    QByteArray tables;
    if (kind.header == 40 && kind.compression == 3)
        for (int i = 0; i < 3; ++i)
            Put32(tables, kind.masks[size_t(i)]);
    for (const QRgb colour : image.colorTable()) {
        tables.append(char(qBlue(colour))).append(char(qGreen(colour))).append(char(qRed(colour)));
        if (kind.header != 12)
            tables.append('\0');
    }

    const QByteArray pixels = PixelData(image, kind);
    QByteArray file("BM");
    const int offset = 14 + 4 + int(info.size() + tables.size());
    Put32(file, quint32(offset + pixels.size()));
    Put32(file, 0);
    Put32(file, quint32(offset));
    Put32(file, quint32(kind.header));
    return file + info + tables + pixels;
}

// The picture the file at path gives through the decoder, and whether Fold said it decoded.
std::pair<QImage, bool> Decoded(const QString& path)
{
    const auto decoder = OpenBMPRows(path);
    if (!decoder)
        return {};
    const FoldedPicture folded = FoldedPreview(*decoder);
    return {folded.image, folded.decoded};
}

double Difference(const QImage& decoded, const QImage& expected)
{
    return NormalisedRMSE(decoded, ReferenceReduction(expected, FittedSize(expected.size(), QSize(380, 520))));
}

QString Write(const QTemporaryDir& dir, const char* name, const QByteArray& bytes)
{
    const QString path = dir.filePath(QString(name) + ".bmp");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
}

const auto Everything = [](int, int) { return false; };
// A hole in the middle skipped along its rows, a band of rows skipped, and the top fifth (the end of
// a bottom-up file) left out.
const auto Gaps = [](int x, int y) {
    return (x >= 300 && x < 600 && y >= 400 && y < 700) || (y >= 900 && y < 1000) || y < PageSize.height() / 5;
};

TEST(BMPRows, EveryKindLooksLikeThePage)
{
    const Kind kinds[] = {
        {"1-bit, white first", 1, 0, 40, false, {}, Everything},
        {"4-bit, core header", 4, 0, 12, false, {}, Everything},
        {"8-bit top-down", 8, 0, 40, true, {}, Everything},
        {"RLE8 with gaps", 8, 1, 40, false, {}, Gaps},
        {"RLE4", 4, 2, 40, false, {}, Everything},
        {"16-bit 5-6-5", 16, 3, 40, false, {0xf800, 0x07e0, 0x001f, 0}, Everything},
        {"16-bit 4-4-4-4 alpha", 16, 3, 56, false, {0x0f00, 0x00f0, 0x000f, 0xf000}, Everything},
        {"24-bit bottom-up", 24, 0, 40, false, {}, Everything},
        {"24-bit top-down", 24, 0, 124, true, {}, Everything},
        {"32-bit alpha", 32, 3, 124, false, {0xff0000, 0xff00, 0xff, 0xff000000}, Everything},
        {"32-bit, padding zero", 32, 0, 108, false, {}, Everything},
    };
    QTemporaryDir dir;
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const QImage stored = Stored(kind);
        QImage expected = stored.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x)
                if (kind.unwritten(x, y))
                    expected.setPixel(x, y, qRgb(255, 255, 255));
        const auto [decoded, folded] = Decoded(Write(dir, kind.name, BMP(stored, kind)));
        EXPECT_TRUE(folded);
        EXPECT_LT(Difference(decoded, expected), 0.03);
    }
}

TEST(BMPRows, CutFileGivesItsRowsAndWhiteForTheRest)
{
    const Kind kind{"24-bit", 24, 0, 40, false, {}, Everything};
    const QImage stored = Stored(kind);
    QByteArray bytes = BMP(stored, kind);
    bytes.truncate(bytes.size() * 4 / 10);
    QTemporaryDir dir;
    const auto [decoded, folded] = Decoded(Write(dir, "cut", bytes));
    EXPECT_TRUE(folded);

    // Bottom-up: the rows held are the picture's last, the last of them cut short.
    QImage expected = stored.convertToFormat(QImage::Format_ARGB32);
    const int held = int(bytes.size()) - 54;
    const int stride = (PageSize.width() * 3 + 3) / 4 * 4;
    for (int stored = 0; stored < PageSize.height(); ++stored)
        for (int x = std::clamp((held - stored * stride) / 3, 0, PageSize.width()); x < PageSize.width(); ++x)
            expected.setPixel(x, PageSize.height() - 1 - stored, qRgb(255, 255, 255));
    EXPECT_LT(Difference(decoded, expected), 0.01);
}

TEST(BMPRows, LyingHeadersAreRefusedOrFoldWhatTheyHave)
{
    const Kind kind{"8-bit", 8, 0, 40, false, {}, Everything};
    const QByteArray good = BMP(Stored(kind), kind);
    struct Lie
    {
        const char* name;
        int at;
        quint32 value;
        bool opens;
        bool folds;
    };
    const Lie lies[] = {
        {"not BM", 0, 0x4d41, false, false},
        {"width 1e9", 18, 1000000000, false, false},
        {"height of no size", 22, 0x80000000, false, false},
        {"2 bits", 28, 2, false, false},
        {"JPEG inside", 30, 4, false, false},
        {"colours 4e9", 46, 0xffffffff, true, true},
        {"pixels past the end", 10, 1000000000, true, false},
    };
    QTemporaryDir dir;
    for (const Lie& lie : lies) {
        SCOPED_TRACE(lie.name);
        QByteArray bytes = good;
        qToLittleEndian(lie.value, bytes.data() + lie.at);
        const QString path = Write(dir, lie.name, bytes);
        const auto decoder = OpenBMPRows(path);
        ASSERT_EQ(decoder != nullptr, lie.opens);
        if (!decoder)
            continue;
        const FoldedPicture folded = FoldedPreview(*decoder);
        EXPECT_EQ(folded.decoded, lie.folds);
        if (!lie.folds) {
            QImage white(folded.image.size(), QImage::Format_RGB32);
            white.fill(Qt::white);
            EXPECT_EQ(NormalisedRMSE(folded.image, white), 0.0);
        }
    }
}

} // namespace
