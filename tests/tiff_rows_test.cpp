#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

#include <tiffio.h>

#include "Picture.h"
#include "PictureCompare.h"
#include "RowDecoder.h"

namespace {

// How a page is stored in its file.
struct Kind
{
    const char* name;
    uint16_t photometric;
    uint16_t bits;
    uint16_t compression;
    uint16_t alpha = 0;  // EXTRASAMPLE_* of one more sample, or 0 for none
    bool separate = false;
    uint32_t rowsPerStrip = 0;  // 0: one strip
    uint32_t tile = 0;          // the side of square tiles, 0 for strips
    QSize size{600, 800};
    uint16_t orientation = ORIENTATION_TOPLEFT;
};

// A flat area, half transparent on pages with alpha: on white it must come out as (215, 210, 205).
QRect FlatArea(const QSize& size)
{
    return QRect(size.width() / 8, size.height() / 4, size.width() / 3, size.height() / 5);
}

// Thin strokes, text, a gradient and a flat area.
QImage Page(const QSize& size, bool seeThrough)
{
    QImage page(size, QImage::Format_ARGB32);
    page.fill(seeThrough ? QColor(0, 0, 0, 0) : QColor(Qt::white));
    const int w = size.width(), h = size.height();
    QPainter painter(&page);
    QLinearGradient gradient(0, 0, w, 0);
    gradient.setColorAt(0, QColor(30, 90, 200, seeThrough ? 60 : 255));
    gradient.setColorAt(1, QColor(240, 200, 40, seeThrough ? 220 : 255));
    painter.fillRect(0, 0, w, h / 5, gradient);
    painter.fillRect(FlatArea(size), QColor(175, 165, 155, seeThrough ? 128 : 255));
    painter.setPen(QPen(Qt::black, 1));
    for (int y = h / 2; y < h - 8; y += 5)
        painter.drawLine(w / 10, y, w - w / 10, y + 4);
    painter.setFont(QFont("sans", 9));
    painter.drawText(QRect(w / 2, h / 4, w / 2 - 4, h / 4), Qt::TextWordWrap,
                     "Received with thanks the sum of forty two pounds, seven shillings and sixpence.");
    return page;
}

QVector<QRgb> ColourTable(int bits)
{
    QVector<QRgb> table;
    for (int i = 0; i < (1 << bits); ++i)
        table.append(bits == 8 ? qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51) : qRgb(i * 17, 255 - i * 17, i % 4 * 85));
    return table;
}

bool IsGrey(const Kind& kind)
{
    return kind.photometric == PHOTOMETRIC_MINISBLACK || kind.photometric == PHOTOMETRIC_MINISWHITE;
}

// The page as the file holds it.
QImage Held(const Kind& kind)
{
    const QImage page = Page(kind.size, kind.alpha != 0);
    if (kind.photometric == PHOTOMETRIC_PALETTE)
        return page.convertToFormat(QImage::Format_Indexed8, ColourTable(kind.bits), Qt::ThresholdDither);
    if (!IsGrey(kind))
        return page;
    QImage grey = page.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int g = kind.bits == 1 ? (qGray(line[x]) < 128 ? 0 : 255) : qGray(line[x]);
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
        }
    }
    return grey;
}

// A pixel's samples as stored, 8-bit scale.
std::vector<int> Samples(const Kind& kind, const QImage& held, int x, int y)
{
    if (kind.photometric == PHOTOMETRIC_PALETTE)
        return {held.pixelIndex(x, y)};
    const QRgb c = held.pixel(x, y);
    const int a = qAlpha(c);
    const auto stored = [&](int colour) { return kind.alpha == EXTRASAMPLE_ASSOCALPHA ? (colour * a + 127) / 255 : colour; };
    std::vector<int> samples;
    if (kind.photometric == PHOTOMETRIC_SEPARATED)
        samples = {255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c), 0};
    else if (IsGrey(kind))
        samples = {kind.photometric == PHOTOMETRIC_MINISWHITE ? 255 - qRed(c) : stored(qRed(c))};
    else
        samples = {stored(qRed(c)), stored(qGreen(c)), stored(qBlue(c))};
    if (kind.alpha)
        samples.push_back(a);
    return samples;
}

// One row (or one plane of it) packed as the file stores it. 16-bit samples are not v * 257, so
// that bytes in the wrong order would show.
std::vector<uchar> Row(const Kind& kind, const QImage& held, int y, int plane)
{
    std::vector<int> values;
    for (int x = 0; x < held.width(); ++x) {
        const std::vector<int> samples = Samples(kind, held, x, y);
        if (kind.separate)
            values.push_back(samples[size_t(plane)]);
        else
            values.insert(values.end(), samples.begin(), samples.end());
    }
    std::vector<uchar> row((values.size() * kind.bits + 7) / 8, 0);
    for (size_t i = 0; i < values.size(); ++i) {
        if (kind.bits == 16) {
            const quint16 wide = quint16(values[i] * 257 - (values[i] > 0 ? 97 : 0));
            std::memcpy(&row[2 * i], &wide, 2);
        } else if (kind.bits == 8) {
            row[i] = uchar(values[i]);
        } else {
            const int value = kind.bits == 1 ? values[i] / 255 : values[i];
            row[i * kind.bits / 8] |= uchar(value << (8 - kind.bits - int(i * kind.bits % 8)));
        }
    }
    return row;
}

int Colours(const Kind& kind)
{
    return kind.photometric == PHOTOMETRIC_SEPARATED ? 4 : IsGrey(kind) || kind.photometric == PHOTOMETRIC_PALETTE ? 1 : 3;
}

// Writes the page of kind at path; returns it as the file holds it.
QImage Write(const Kind& kind, const QString& path)
{
    const QImage held = Held(kind);
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    const int w = kind.size.width(), h = kind.size.height();
    const uint16_t samples = uint16_t(Colours(kind) + (kind.alpha ? 1 : 0));
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, kind.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, kind.photometric);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, kind.compression);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, kind.orientation);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, kind.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (kind.alpha) {
        const uint16_t extra = kind.alpha;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (kind.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    std::vector<uint16_t> map[3];
    if (kind.photometric == PHOTOMETRIC_PALETTE) {
        for (const QRgb colour : held.colorTable()) {
            map[0].push_back(uint16_t(qRed(colour) * 257));
            map[1].push_back(uint16_t(qGreen(colour) * 257));
            map[2].push_back(uint16_t(qBlue(colour) * 257));
        }
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
    }
    const int planes = kind.separate ? samples : 1;
    if (kind.tile) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, kind.tile);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, kind.tile);
        const size_t pixelBytes = size_t(kind.separate ? 1 : samples) * kind.bits / 8;
        std::vector<uchar> tile(size_t(TIFFTileSize(tiff)));
        for (int plane = 0; plane < planes; ++plane)
            for (int top = 0; top < h; top += int(kind.tile))
                for (int left = 0; left < w; left += int(kind.tile)) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (int r = 0; r < int(kind.tile) && top + r < h; ++r) {
                        const std::vector<uchar> row = Row(kind, held, top + r, plane);
                        const size_t from = size_t(left) * pixelBytes;
                        const size_t bytes = std::min(size_t(kind.tile) * pixelBytes, row.size() - from);
                        std::memcpy(&tile[size_t(r) * kind.tile * pixelBytes], &row[from], bytes);
                    }
                    TIFFWriteTile(tiff, tile.data(), uint32_t(left), uint32_t(top), 0, uint16_t(plane));
                }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kind.rowsPerStrip ? kind.rowsPerStrip : uint32_t(h));
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < h; ++y) {
                std::vector<uchar> row = Row(kind, held, y, plane);
                TIFFWriteScanline(tiff, row.data(), uint32_t(y), uint16_t(plane));
            }
    }
    TIFFClose(tiff);
    return held;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Little-endian classic TIFF fields.
quint32 Get(const QByteArray& file, qint64 at, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | uchar(file[at + i]);
    return value;
}

void Put(QByteArray& file, qint64 at, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        file[at + i] = char(value >> (8 * i));
}

int TypeBytes(int type)
{
    static constexpr int Bytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type >= 1 && type <= 12 ? Bytes[type] : 1;
}

// Calls f(entry offset) for each entry of the first directory.
template <typename F>
void ForEachEntry(const QByteArray& file, F f)
{
    const qint64 directory = Get(file, 4, 4);
    const int count = int(Get(file, directory, 2));
    for (int i = 0; i < count; ++i)
        f(directory + 2 + 12 * qint64(i));
}

// A tag's value set to one LONG, as a lying writer would.
QByteArray WithTag(QByteArray file, int tag, quint32 value)
{
    ForEachEntry(file, [&](qint64 entry) {
        if (int(Get(file, entry, 2)) == tag) {
            Put(file, entry + 2, TIFF_LONG, 2);
            Put(file, entry + 4, 1, 4);
            Put(file, entry + 8, value, 4);
        }
    });
    return file;
}

// The file with its directory (and the values it points to, written after it) moved in front of
// the pixel data, so that cutting the file short leaves a readable header.
QByteArray DirectoryFirst(const QByteArray& file)
{
    const qint64 directory = Get(file, 4, 4);
    const qint64 moved = file.size() - directory;
    QByteArray result = file.left(8) + file.mid(directory) + file.mid(8, directory - 8);
    Put(result, 4, 8, 4);
    ForEachEntry(result, [&](qint64 entry) {
        const int tag = int(Get(result, entry, 2)), type = int(Get(result, entry + 2, 2));
        const qint64 n = Get(result, entry + 4, 4);
        const int size = TypeBytes(type);
        qint64 at = entry + 8;
        if (n * size > 4) {
            at = Get(result, entry + 8, 4) - directory + 8;
            Put(result, entry + 8, quint32(at), 4);
        }
        if (tag == TIFFTAG_STRIPOFFSETS)
            for (qint64 i = 0; i < n; ++i)
                Put(result, at + i * size, Get(result, at + i * size, size) + quint32(moved), size);
    });
    return result;
}

QImage Reduced(RowDecoder& decoder, bool* folded = nullptr)
{
    const FoldedPicture result = FoldedPreview(decoder);
    if (folded)
        *folded = result.decoded;
    return result.image;
}

class TIFFRowsTest : public ::testing::Test
{
protected:
    QString PathOf(const char* name) const { return folder.filePath(QString::fromLatin1(name) + ".tif"); }

    QTemporaryDir folder;
};

TEST_F(TIFFRowsTest, EveryKindLooksLikeThePage)
{
    const Kind kinds[] = {
        {"G4 text page", PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_CCITTFAX4, 0, false, 0, 0, {1700, 2200}},
        {"1-bit white is 0, PackBits", PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_PACKBITS},
        {"1-bit black is 0, strips", PHOTOMETRIC_MINISBLACK, 1, COMPRESSION_NONE, 0, false, 7},
        {"4-bit palette", PHOTOMETRIC_PALETTE, 4, COMPRESSION_LZW},
        {"8-bit palette", PHOTOMETRIC_PALETTE, 8, COMPRESSION_LZW},
        {"grey one strip", PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_LZW},
        {"grey many strips", PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_ADOBE_DEFLATE, 0, false, 16},
        {"16-bit grey", PHOTOMETRIC_MINISBLACK, 16, COMPRESSION_LZW},
        {"RGB", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW},
        {"RGBA", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW, EXTRASAMPLE_UNASSALPHA},
        {"RGBA16", PHOTOMETRIC_RGB, 16, COMPRESSION_NONE, EXTRASAMPLE_UNASSALPHA},
        {"RGBA16 premultiplied", PHOTOMETRIC_RGB, 16, COMPRESSION_LZW, EXTRASAMPLE_ASSOCALPHA},
        {"48-bit RGB", PHOTOMETRIC_RGB, 16, COMPRESSION_LZW},
        {"RGB planes", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW, 0, true},
        {"48-bit RGB planes in strips", PHOTOMETRIC_RGB, 16, COMPRESSION_NONE, 0, true, 32},
        {"RGBA planes, turned", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW, EXTRASAMPLE_UNASSALPHA, true, 0, 0, {600, 800},
         ORIENTATION_BOTRIGHT},
        {"CMYK", PHOTOMETRIC_SEPARATED, 8, COMPRESSION_LZW},
        {"YCbCr JPEG", PHOTOMETRIC_YCBCR, 8, COMPRESSION_JPEG, 0, false, 16},
        {"tiled, smaller than a tile", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW, 0, false, 0, 256, {64, 88}},
        {"tiles clipped, turned", PHOTOMETRIC_MINISBLACK, 16, COMPRESSION_ADOBE_DEFLATE, 0, false, 0, 64, {300, 200},
         ORIENTATION_RIGHTTOP},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const QString path = PathOf(kind.name);
        const QImage held = Write(kind, path);
        const std::unique_ptr<RowDecoder> decoder = OpenTIFFRows(path);
        ASSERT_TRUE(decoder);
        EXPECT_EQ(decoder->Size(), kind.size);
        EXPECT_EQ(decoder->Orientation(), kind.orientation);
        bool folded = false;
        const QImage reduced = Reduced(*decoder, &folded);
        EXPECT_TRUE(folded);
        EXPECT_LT(NormalisedRMSE(reduced, ReferenceReduction(held, reduced.size())), 0.03);
        if (kind.alpha && kind.tile == 0) {
            const QRect flat = FlatArea(kind.size);
            const QPoint centre(flat.center().x() * reduced.width() / kind.size.width(),
                                flat.center().y() * reduced.height() / kind.size.height());
            const QRgb pixel = reduced.pixel(centre);
            EXPECT_NEAR(qRed(pixel), 215, 3);
            EXPECT_NEAR(qGreen(pixel), 210, 3);
            EXPECT_NEAR(qBlue(pixel), 205, 3);
        }
    }
}

TEST_F(TIFFRowsTest, CutFileShowsItsFirstHalfOnWhite)
{
    const Kind kind{"cut", PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_LZW, 0, false, 16};
    const QString whole = PathOf("whole");
    const QImage held = Write(kind, whole);
    const QByteArray bytes = DirectoryFirst(Contents(whole));
    Save(PathOf("moved"), bytes);
    // Cut where the strip holding the middle row starts.
    TIFF* tiff = TIFFOpen(QFile::encodeName(PathOf("moved")).constData(), "r");
    ASSERT_TRUE(tiff);
    const qint64 middle = qint64(TIFFGetStrileOffset(tiff, TIFFComputeStrip(tiff, uint32_t(kind.size.height() / 2), 0)));
    TIFFClose(tiff);
    Save(PathOf("cut"), bytes.left(middle + 100));
    for (const char* name : {"moved", "cut"}) {
        SCOPED_TRACE(name);
        const std::unique_ptr<RowDecoder> decoder = OpenTIFFRows(PathOf(name));
        ASSERT_TRUE(decoder);
        bool folded = false;
        const QImage reduced = Reduced(*decoder, &folded);
        EXPECT_TRUE(folded);
        const QImage reference = ReferenceReduction(held, reduced.size());
        const int quarter = reduced.height() / 4;
        const QRect top(0, 0, reduced.width(), quarter), bottom(0, reduced.height() - quarter, reduced.width(), quarter);
        EXPECT_LT(NormalisedRMSE(reduced.copy(top), reference.copy(top)), 0.03);
        QImage white(bottom.size(), QImage::Format_RGB32);
        white.fill(Qt::white);
        EXPECT_LT(NormalisedRMSE(reduced.copy(bottom), std::strcmp(name, "cut") ? reference.copy(bottom) : white), 0.03);
    }
}

TEST_F(TIFFRowsTest, LyingHeadersNeitherCrashNorAllocateTheLie)
{
    const Kind kind{"small", PHOTOMETRIC_RGB, 8, COMPRESSION_LZW, 0, false, 0, 0, {200, 100}};
    const QString path = PathOf("small");
    Write(kind, path);
    const QByteArray good = Contents(path);
    const struct
    {
        const char* name;
        int tag;
        quint32 value;
    } lies[] = {
        {"width", TIFFTAG_IMAGEWIDTH, 0x7ffffff0u},     {"height", TIFFTAG_IMAGELENGTH, 0x7ffffff0u},
        {"tall", TIFFTAG_IMAGELENGTH, 1000000},         {"wide", TIFFTAG_IMAGEWIDTH, 1000000},
        {"offset", TIFFTAG_STRIPOFFSETS, 0xfffffff0u},  {"byte count", TIFFTAG_STRIPBYTECOUNTS, 0xfffffff0u},
        {"rows per strip", TIFFTAG_ROWSPERSTRIP, 0},    {"bits", TIFFTAG_BITSPERSAMPLE, 0xffffu},
        {"samples", TIFFTAG_SAMPLESPERPIXEL, 0xffffu},
    };
    for (const auto& lie : lies) {
        SCOPED_TRACE(lie.name);
        const QString lying = PathOf(lie.name);
        Save(lying, WithTag(good, lie.tag, lie.value));
        const std::unique_ptr<RowDecoder> decoder = OpenTIFFRows(lying);
        if (!decoder)
            continue;
        EXPECT_LT(decoder->WorkingBytes(), 64 << 20);
        if (qint64(decoder->Size().width()) * decoder->Size().height() <= LargestPicturePixels())
            Reduced(*decoder);
    }
}

TEST_F(TIFFRowsTest, OtherFilesAreNotTIFF)
{
    QFile file(PathOf("text"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MM\0*", 3);
    file.close();
    EXPECT_FALSE(OpenTIFFRows(PathOf("text")));
    EXPECT_FALSE(OpenTIFFRows(PathOf("missing")));
}

} // namespace
