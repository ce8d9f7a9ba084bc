#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

#include "Picture.h"
#include "PictureCompare.h"
#include "RowDecoder.h"

namespace {

// How a page is stored in its file.
struct Kind
{
    const char* name;
    int type;  // PNG_COLOR_TYPE_*
    int depth;
    bool interlaced = false;
    bool keyed = false;  // a tRNS chunk: a half see-through palette entry, or a colour key
};

bool IsPalette(const Kind& kind)
{
    return kind.type == PNG_COLOR_TYPE_PALETTE;
}

// Thin strokes, text, a gradient and a flat area; see-through pages are half transparent there.
QImage Page(bool seeThrough)
{
    QImage page(600, 840, QImage::Format_RGBA64);
    page.fill(seeThrough ? QColor(0, 0, 0, 0) : QColor(Qt::white));
    const int alpha = seeThrough ? 128 : 255;
    QPainter painter(&page);
    QLinearGradient gradient(0, 0, 600, 0);
    gradient.setColorAt(0, QColor(230, 120, 40, alpha));
    gradient.setColorAt(1, QColor(40, 90, 200, seeThrough ? 220 : 255));
    painter.fillRect(0, 0, 600, 250, gradient);
    painter.setPen(QPen(Qt::black, 1));
    for (int x = 10; x < 600; x += 6)
        painter.drawLine(x, 260, x + 30, 520);
    painter.fillRect(100, 540, 400, 160, QColor(180, 170, 160, alpha));
    painter.setFont(QFont("sans", 12));
    painter.drawText(QRect(20, 710, 560, 120), Qt::TextWordWrap,
                     "Received with thanks the sum of forty two pounds, seven shillings and sixpence.");
    return page;
}

// A colour table of 1 << bits entries: a colour cube with greys, or greys alone for 2 bits.
QVector<QRgb> ColourTable(int bits)
{
    QVector<QRgb> table;
    const int levels = bits == 8 ? 6 : bits == 4 ? 2 : 0;
    for (int i = 0; i < levels * levels * levels; ++i) {
        const int r = i / levels / levels, g = i / levels % levels, b = i % levels;
        table.append(qRgb(r * 255 / (levels - 1), g * 255 / (levels - 1), b * 255 / (levels - 1)));
    }
    const int greys = (1 << bits) - int(table.size());
    for (int i = 0; i < greys; ++i)
        table.append(qRgb(i * 255 / (greys - 1), i * 255 / (greys - 1), i * 255 / (greys - 1)));
    return table;
}

// Where the flat area is, whose colour is the key of keyed pages.
constexpr QPoint KeyPixel(300, 620);

// The page as the file holds it: indexed for palettes, else RGBA64 quantised to the kind's depth.
// A keyed page is see-through where its key is.
QImage Stored(const Kind& kind)
{
    const QImage page = Page(kind.type & PNG_COLOR_MASK_ALPHA);
    if (IsPalette(kind)) {
        QImage indexed = page.convertToFormat(QImage::Format_RGB32)
                             .convertToFormat(QImage::Format_Indexed8, ColourTable(kind.depth), Qt::ThresholdDither);
        if (kind.keyed) {
            const QRgb key = indexed.pixel(KeyPixel);
            indexed.setColor(indexed.pixelIndex(KeyPixel), qRgba(qRed(key), qGreen(key), qBlue(key), 100));
        }
        return indexed;
    }
    const unsigned most = (1u << kind.depth) - 1;
    const auto quantised = [&](unsigned v) { return quint16((v * most + 32767) / 65535 * (65535 / most)); };
    QImage stored(page.size(), QImage::Format_RGBA64);
    for (int y = 0; y < page.height(); ++y) {
        const QRgba64* in = reinterpret_cast<const QRgba64*>(page.constScanLine(y));
        QRgba64* out = reinterpret_cast<QRgba64*>(stored.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            unsigned r = in[x].red(), g = in[x].green(), b = in[x].blue();
            if (!(kind.type & PNG_COLOR_MASK_COLOR))
                r = g = b = (r * 11 + g * 16 + b * 5) / 32;
            const unsigned a = (kind.type & PNG_COLOR_MASK_ALPHA) ? in[x].alpha() : 65535;
            out[x] = QRgba64::fromRgba64(quantised(r), quantised(g), quantised(b), quantised(a));
        }
    }
    const QRgba64 key = reinterpret_cast<const QRgba64*>(stored.constScanLine(KeyPixel.y()))[KeyPixel.x()];
    for (int y = 0; y < stored.height() && kind.keyed; ++y) {
        QRgba64* line = reinterpret_cast<QRgba64*>(stored.scanLine(y));
        for (int x = 0; x < stored.width(); ++x)
            if (line[x] == key)
                line[x].setAlpha(0);
    }
    return stored;
}

// The samples of pixel x of row y of stored as kind holds them, scaled to its depth.
int Samples(const QImage& stored, const Kind& kind, int x, int y, unsigned* samples)
{
    if (IsPalette(kind)) {
        samples[0] = unsigned(stored.pixelIndex(x, y));
        return 1;
    }
    const QRgba64 p = reinterpret_cast<const QRgba64*>(stored.constScanLine(y))[x];
    int count = 0;
    samples[count++] = p.red();
    if (kind.type & PNG_COLOR_MASK_COLOR) {
        samples[count++] = p.green();
        samples[count++] = p.blue();
    }
    if (kind.type & PNG_COLOR_MASK_ALPHA)
        samples[count++] = p.alpha();
    for (int i = 0; i < count; ++i)
        samples[i] = samples[i] * ((1u << kind.depth) - 1) / 65535;
    return count;
}

// Row y packed as kind says, 16-bit samples in the machine's byte order.
std::vector<uchar> Row(const QImage& stored, const Kind& kind, int y)
{
    std::vector<uchar> row(size_t(stored.width()) * 8 + 1, 0);
    size_t bit = 0;
    for (int x = 0; x < stored.width(); ++x) {
        unsigned samples[4];
        const int count = Samples(stored, kind, x, y, samples);
        for (int i = 0; i < count; ++i, bit += size_t(kind.depth)) {
            const quint16 sample = quint16(samples[i]);
            if (kind.depth == 16)
                std::memcpy(&row[bit / 8], &sample, 2);
            else
                row[bit / 8] |= uchar(sample << (8 - kind.depth - int(bit % 8)));
        }
    }
    return row;
}

// stored written as kind; level 0 stores the rows uncompressed.
void Write(const QString& path, const QImage& stored, const Kind& kind, int level = 6)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    ASSERT_TRUE(file);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, png_uint_32(stored.width()), png_uint_32(stored.height()), kind.depth, kind.type,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    for (const QRgb colour : stored.colorTable()) {
        palette.push_back({png_byte(qRed(colour)), png_byte(qGreen(colour)), png_byte(qBlue(colour))});
        alphas.push_back(png_byte(qAlpha(colour)));
    }
    if (IsPalette(kind))
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (IsPalette(kind) && kind.keyed)
        png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
    if (!IsPalette(kind) && kind.keyed) {
        unsigned samples[4];
        Samples(stored, kind, KeyPixel.x(), KeyPixel.y(), samples);
        const bool colour = kind.type & PNG_COLOR_MASK_COLOR;
        png_color_16 key{0, png_uint_16(samples[0]), png_uint_16(samples[colour ? 1 : 0]),
                         png_uint_16(samples[colour ? 2 : 0]), png_uint_16(samples[0])};
        png_set_tRNS(png, info, nullptr, 1, &key);
    }
    png_write_info(png, info);
    if (kind.depth == 16 && Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
        png_set_swap(png);
    std::vector<std::vector<uchar>> rows;
    for (int y = 0; y < stored.height(); ++y)
        rows.push_back(Row(stored, kind, y));
    for (int pass = png_set_interlace_handling(png); pass > 0; --pass)
        for (auto& row : rows)
            png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

QSize Preview(const QSize& size)
{
    return FittedSize(size, QSize(380, 520));
}

// The file at path read row by row into its preview's size; null when it does not open or fold.
QImage Decoded(const QString& path)
{
    const auto decoder = OpenPNGRows(path);
    if (!decoder)
        return {};
    const FoldedPicture folded = FoldedPreview(*decoder);
    return folded.decoded ? folded.image : QImage();
}

class PNGRowsTest : public testing::TestWithParam<Kind>
{
protected:
    QTemporaryDir mDir;
};

// Interlaced pages also match the same page not interlaced.
TEST_P(PNGRowsTest, LooksLikeThePage)
{
    const Kind kind = GetParam();
    const QImage stored = Stored(kind);
    Write(mDir.filePath("page.png"), stored, kind);
    const QImage reduced = Decoded(mDir.filePath("page.png"));
    const double error = NormalisedRMSE(reduced, ReferenceReduction(stored, Preview(stored.size())));
    EXPECT_LT(error, 0.03);
    if (kind.interlaced) {
        Write(mDir.filePath("plain.png"), stored, {kind.name, kind.type, kind.depth, false, kind.keyed});
        EXPECT_LT(NormalisedRMSE(reduced, Decoded(mDir.filePath("plain.png"))), 0.002);
    }
}

const Kind Kinds[] = {
    {"Grey1", PNG_COLOR_TYPE_GRAY, 1},
    {"Grey4Keyed", PNG_COLOR_TYPE_GRAY, 4, false, true},
    {"Grey8", PNG_COLOR_TYPE_GRAY, 8},
    {"Grey16", PNG_COLOR_TYPE_GRAY, 16},
    {"GreyAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
    {"GreyAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
    {"Palette2", PNG_COLOR_TYPE_PALETTE, 2},
    {"Palette4", PNG_COLOR_TYPE_PALETTE, 4},
    {"Palette8Keyed", PNG_COLOR_TYPE_PALETTE, 8, false, true},
    {"RGB8", PNG_COLOR_TYPE_RGB, 8},
    {"RGB16", PNG_COLOR_TYPE_RGB, 16},
    {"RGB16Keyed", PNG_COLOR_TYPE_RGB, 16, false, true},
    {"RGBA8", PNG_COLOR_TYPE_RGB_ALPHA, 8},
    {"RGBA16", PNG_COLOR_TYPE_RGB_ALPHA, 16},
    {"Grey1Interlaced", PNG_COLOR_TYPE_GRAY, 1, true},
    {"RGB8Interlaced", PNG_COLOR_TYPE_RGB, 8, true},
    {"RGBA16Interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 16, true},
};

INSTANTIATE_TEST_SUITE_P(Kinds, PNGRowsTest, testing::ValuesIn(Kinds),
                         [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

TEST(PNGRows, TruncatedFileKeepsTheRowsBeforeTheCut)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cut.png");
    const Kind kind{"RGB8", PNG_COLOR_TYPE_RGB, 8};
    const QImage stored = Stored(kind);
    Write(path, stored, kind, 0);
    QFile::resize(path, QFile(path).size() / 2);

    const QImage reduced = Decoded(path);
    ASSERT_FALSE(reduced.isNull());
    const QImage reference = ReferenceReduction(stored, reduced.size());
    const QRect before(0, 0, reduced.width(), reduced.height() * 2 / 5);
    EXPECT_LT(NormalisedRMSE(reduced.copy(before), reference.copy(before)), 0.03);
    const QRect after(0, reduced.height() * 3 / 5, reduced.width(), reduced.height() * 2 / 5);
    QImage white(after.size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(reduced.copy(after), white);
}

TEST(PNGRows, BrokenHeadersAreRefusedOrReadWithinARow)
{
    QTemporaryDir dir;
    const QString notPNG = dir.filePath("not.png");
    QFile text(notPNG);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("\x89PNG but not really");
    text.close();
    EXPECT_FALSE(OpenPNGRows(notPNG));

    // A header for 100000 x 100000 with little more than a row of data (stored, so that libpng
    // writes it out before the end).
    const QString lying = dir.filePath("lying.png");
    std::FILE* file = std::fopen(QFile::encodeName(lying).constData(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_compression_level(png, 0);
    png_set_IHDR(png, info, 100000, 100000, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uchar> row(300000, 90);
    png_write_row(png, row.data());
    png_write_row(png, row.data());
    png_destroy_write_struct(&png, &info);
    std::fclose(file);

    const auto decoder = OpenPNGRows(lying);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->Size(), QSize(100000, 100000));
    EXPECT_LT(decoder->WorkingBytes(), 2 << 20);
    EXPECT_TRUE(FoldedPreview(*decoder).decoded);
}

} // namespace
