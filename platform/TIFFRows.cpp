#include "RowDecoder.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstdarg>
#include <limits>
#include <vector>

#include <tiffio.h>

#include "PixelRow.h"

namespace {

int Quiet(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;  // handled: nothing reaches libtiff's global handlers
}

struct TIFFCloser
{
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TIFFHandle = std::unique_ptr<TIFF, TIFFCloser>;

bool HasTIFFSignature(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4) || head == QByteArray("II+\0", 4)
        || head == QByteArray("MM\0+", 4);
}

// Not memory-mapped: mapped pages of the file would count as the process's memory. libtiff then
// reads each strip's or tile's compressed bytes whole into one buffer (this build does not read
// big strips in chunks).
TIFFHandle OpenQuietly(const QString& path)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* tiff = TIFFOpenExt(QFile::encodeName(path).constData(), "rm", options);
    TIFFOpenOptionsFree(options);
    return TIFFHandle(tiff);
}

// How a row's stored samples become 8-bit grey or RGB.
enum class Kind
{
    Grey,     // 1, 2, 4, 8 or 16 bits, maybe with alpha
    RGB,      // 8 or 16 bits, maybe with alpha
    Palette,  // 1, 2, 4 or 8 bits
    CMYK,     // 8 or 16 bits
    Planes,   // RGB in separate planes of 8 or 16 bits: each plane folds as one channel
    Whole,    // anything else libtiff can turn into RGBA
};

enum class Alpha
{
    None,
    Straight,
    Premultiplied,
};

struct Layout
{
    Kind kind = Kind::Whole;
    int bits = 8;
    int samples = 1;  // stored per pixel (per plane for Planes)
    int colours = 1;  // colour samples among them, first
    Alpha alpha = Alpha::None;
    bool invert = false;  // 0 is white
};

// libtiff's test for colour maps written with 8-bit values: no entry reaches 256.
bool EightBitMap(const uint16_t* red, const uint16_t* green, const uint16_t* blue, int entries)
{
    for (int i = 0; i < entries; ++i)
        if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256)
            return false;
    return true;
}

bool ReadPalette(TIFF* tiff, int bits, OpaquePalette& opaque)
{
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        return false;
    const int entries = 1 << bits;
    const int shift = EightBitMap(red, green, blue, entries) ? 0 : 8;
    std::array<QRgb, 256> palette;
    palette.fill(qRgb(255, 255, 255));
    for (int i = 0; i < entries; ++i)
        palette[size_t(i)] = qRgb(red[i] >> shift, green[i] >> shift, blue[i] >> shift);
    opaque = LaidOnWhite(palette.data());
    return true;
}

Layout Describe(TIFF* tiff)
{
    uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t compression = COMPRESSION_NONE, photometric = 0, inks = INKSET_CMYK;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inks);
    Layout layout;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) || format != SAMPLEFORMAT_UINT)
        return layout;
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && planar == PLANARCONFIG_CONTIG) {
        // The JPEG decoder converts to RGB itself, subsampled or not.
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    uint16_t extras = 0;
    uint16_t* extraKinds = nullptr;
    TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extras, &extraKinds);
    layout.bits = bits;
    layout.samples = samples;
    layout.colours = samples - extras;
    if (extras > 0 && extraKinds)
        layout.alpha = extraKinds[0] == EXTRASAMPLE_ASSOCALPHA ? Alpha::Premultiplied
            : extraKinds[0] == EXTRASAMPLE_UNASSALPHA          ? Alpha::Straight
                                                               : Alpha::None;
    const bool wide = bits == 8 || bits == 16;
    const bool separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    layout.invert = photometric == PHOTOMETRIC_MINISWHITE;
    if (separate) {
        if (photometric == PHOTOMETRIC_RGB && layout.colours == 3 && layout.alpha == Alpha::None && wide)
            layout = {Kind::Planes, bits, 1, 1, Alpha::None, false};
    } else if (grey && layout.colours == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 16 || bits == 8)) {
        if (samples == 1 || (wide && !(layout.invert && layout.alpha != Alpha::None)))
            layout.kind = Kind::Grey;
    } else if (photometric == PHOTOMETRIC_RGB && layout.colours == 3 && wide) {
        layout.kind = Kind::RGB;
    } else if (photometric == PHOTOMETRIC_PALETTE && samples == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) {
        layout.kind = Kind::Palette;
    } else if (photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK && layout.colours == 4 && wide) {
        layout.alpha = Alpha::None;
        layout.kind = Kind::CMYK;
    }
    return layout;
}

// Keeps the first keep of every samples samples of count pixels, in place.
template <typename Sample>
void KeepSamples(Sample* pixels, int count, int samples, int keep)
{
    Sample* out = pixels;
    for (int i = 0; i < count; ++i, pixels += samples)
        for (int s = 0; s < keep; ++s)
            *out++ = pixels[s];
}

void CMYKToRGB(const uchar* cmyk, int count, int samples, uchar* rgb)
{
    for (int i = 0; i < count; ++i, cmyk += samples) {
        const unsigned white = 255u - cmyk[3];
        for (int c = 0; c < 3; ++c)
            *rgb++ = uchar(((255u - cmyk[c]) * white + 127u) / 255u);
    }
}

qint64 RoundUp(qint64 bytes, qint64 unit)
{
    return (bytes + unit - 1) / unit * unit;
}

class TIFFRows : public RowDecoder
{
public:
    TIFFRows(TIFFHandle tiff, qint64 fileBytes) : mTiff(std::move(tiff)), mFileBytes(fileBytes) {}

    // Reads what Fold needs from the header; false when the picture cannot be decoded here.
    bool Prepare();

    QSize Size() const override { return mSize; }
    int Orientation() const override { return mOrientation; }
    qint64 WorkingBytes() const override { return mWorkingBytes; }
    bool Fold(ReducedPicture& picture) override;

private:
    bool Present(uint32_t piece) const;
    qint64 LargestPiece() const;
    const uchar* Convert(uchar* samples, int count);
    void FoldRow(ReducedPicture& picture, int y, uchar* samples, int count, int x0, int plane);
    bool FoldStrips(ReducedPicture& picture, int plane);
    bool FoldTiles(ReducedPicture& picture, int plane);
    bool FoldWhole(ReducedPicture& picture);

    TIFFHandle mTiff;
    qint64 mFileBytes = 0;
    QSize mSize;
    int mOrientation = 1;
    Layout mLayout;
    OpaquePalette mPalette{};
    bool mTiled = false;
    int mPieceWidth = 0;   // of a tile, or the picture's
    int mPieceHeight = 0;  // of a tile or strip
    qint64 mLineBytes = 0;  // a scanline, or a whole tile
    qint64 mWorkingBytes = 0;
    std::vector<uchar> mOut;
    std::vector<uchar> mIndices;
};

bool TIFFRows::Prepare()
{
    TIFF* tiff = mTiff.get();
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height))
        return false;
    constexpr uint32_t Largest = uint32_t(std::numeric_limits<int>::max()) / 8;
    if (width == 0 || height == 0 || width > Largest || height > Largest)
        return false;
    mSize = QSize(int(width), int(height));
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    mOrientation = orientation >= 1 && orientation <= 8 ? orientation : 1;

    mLayout = Describe(tiff);
    if (mLayout.kind == Kind::Palette && !ReadPalette(tiff, mLayout.bits, mPalette))
        mLayout.kind = Kind::Whole;
    char message[1024] = {};
    if (mLayout.kind == Kind::Whole && !TIFFRGBAImageOK(tiff, message))
        return false;

    mTiled = TIFFIsTiled(tiff);
    uint32_t pieceWidth = width, pieceHeight = height;
    if (mTiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &pieceWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &pieceHeight);
        mLineBytes = qint64(TIFFTileSize64(tiff));
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &pieceHeight);
        mLineBytes = qint64(TIFFScanlineSize64(tiff));
    }
    if (pieceWidth == 0 || pieceHeight == 0 || pieceWidth > Largest || mLineBytes <= 0
        || mLineBytes > std::numeric_limits<int>::max())
        return false;
    mPieceWidth = int(std::min(pieceWidth, width));
    mPieceHeight = int(std::min(pieceHeight, height));

    const qint64 pieces = mTiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    const bool jpeg = [&] {
        uint16_t compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
        return compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG;
    }();
    // The codec's state (fax runs, LZW table, zlib window, JPEG rows) and the arrays of where the
    // pieces lie.
    const qint64 library = (jpeg ? 1024 * 1024 + 128 * qint64(width) : 256 * 1024 + 16 * qint64(width)) + pieces * 16;
    mWorkingBytes = mLineBytes + LargestPiece() + library + qint64(mPieceWidth) * 3
        + (mLayout.kind == Kind::Palette ? mPieceWidth : 0);
    if (mLayout.kind == Kind::Whole) {
        // TIFFRGBAImage decodes each strip or tile into a buffer of its own, all planes of it.
        uint16_t planar = PLANARCONFIG_CONTIG;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
        const qint64 piece = mTiled ? qint64(TIFFTileSize64(tiff)) : qint64(TIFFStripSize64(tiff));
        mWorkingBytes += piece * (planar == PLANARCONFIG_SEPARATE ? mLayout.samples : 1) + qint64(width) * 7;
        // The raster of a band of rows; a band of a strip or tile's height reads each once.
        mPieceHeight = int(std::clamp<qint64>((16 << 20) / (qint64(width) * 4), 1, mPieceHeight));
        mWorkingBytes += qint64(width) * mPieceHeight * 4;
    }
    return true;
}

// A strip or tile whose bytes all lie in the file; others (cut off, lying) are not read at all.
bool TIFFRows::Present(uint32_t piece) const
{
    const uint64_t offset = TIFFGetStrileOffset(mTiff.get(), piece);
    const uint64_t bytes = TIFFGetStrileByteCount(mTiff.get(), piece);
    return bytes > 0 && offset <= uint64_t(mFileBytes) && bytes <= uint64_t(mFileBytes) - offset;
}

// The compressed bytes libtiff reads at once: one strip or tile.
qint64 TIFFRows::LargestPiece() const
{
    TIFF* tiff = mTiff.get();
    const uint32_t pieces = mTiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    uint64_t largest = 0;
    for (uint32_t piece = 0; piece < pieces; ++piece)
        if (Present(piece))
            largest = std::max(largest, TIFFGetStrileByteCount(tiff, piece));
    return RoundUp(qint64(largest), 1024);
}

// count pixels of stored samples as 8-bit grey or RGB; samples may be overwritten.
const uchar* TIFFRows::Convert(uchar* samples, int count)
{
    const Layout& layout = mLayout;
    uchar* out = mOut.data();
    switch (layout.kind) {
    case Kind::Palette:
        if (layout.bits < 8) {
            UnpackIndices(samples, count, layout.bits, mIndices.data());
            samples = mIndices.data();
        }
        PaletteToRGB(samples, count, mPalette, out);
        return out;
    case Kind::CMYK:
        if (layout.bits == 16)
            EightBitSamples(reinterpret_cast<quint16*>(samples), count * layout.samples, samples);
        CMYKToRGB(samples, count, layout.samples, out);
        return out;
    default:
        break;
    }
    if (layout.invert) {
        const qint64 bytes = (qint64(count) * layout.samples * layout.bits + 7) / 8;
        for (qint64 i = 0; i < bytes; ++i)
            samples[i] = uchar(~samples[i]);
    }
    if (layout.bits < 8) {
        UnpackGrey(samples, count, layout.bits, out);
        return out;
    }
    const int keep = layout.colours + (layout.alpha == Alpha::None ? 0 : 1);
    if (layout.bits == 16) {
        quint16* wide = reinterpret_cast<quint16*>(samples);
        if (layout.samples != keep)
            KeepSamples(wide, count, layout.samples, keep);
        if (layout.alpha == Alpha::Straight)
            LayOnWhite16(wide, count, layout.colours, out);
        else if (layout.alpha == Alpha::Premultiplied)
            LayOnWhitePremultiplied16(wide, count, layout.colours, out);
        else
            EightBitSamples(wide, count * layout.colours, out);
        return out;
    }
    if (layout.samples != keep)
        KeepSamples(samples, count, layout.samples, keep);
    if (layout.alpha == Alpha::None)
        return samples;
    if (layout.alpha == Alpha::Straight)
        LayOnWhite(samples, count, layout.colours, out);
    else
        LayOnWhitePremultiplied(samples, count, layout.colours, out);
    return out;
}

void TIFFRows::FoldRow(ReducedPicture& picture, int y, uchar* samples, int count, int x0, int plane)
{
    const uchar* row = Convert(samples, count);
    if (mLayout.kind == Kind::Planes)
        picture.AddChannel(y, plane, row, count, x0);
    else if (mLayout.kind == Kind::Grey)
        picture.AddGrey(y, row, count, x0);
    else
        picture.AddRGB(y, row, count, x0);
}

// Row after row, so that a strip's data is decoded once, from its start.
bool TIFFRows::FoldStrips(ReducedPicture& picture, int plane)
{
    TIFF* tiff = mTiff.get();
    std::vector<uchar> line(static_cast<size_t>(mLineBytes));
    const int height = mSize.height();
    bool decoded = false;
    int y = 0;
    while (y < height) {
        const int stripEnd = int(std::min<qint64>(height, (qint64(y) / mPieceHeight + 1) * mPieceHeight));
        if (Present(TIFFComputeStrip(tiff, uint32_t(y), uint16_t(plane)))) {
            // A row that fails to decode ends its strip: what follows in it cannot be trusted.
            for (; y < stripEnd && TIFFReadScanline(tiff, line.data(), uint32_t(y), uint16_t(plane)) > 0; ++y) {
                FoldRow(picture, y, line.data(), mSize.width(), 0, plane);
                decoded = true;
            }
        }
        y = stripEnd;
    }
    return decoded;
}

// Tile by tile, each folded where it stands; tiles reaching past the picture are clipped.
bool TIFFRows::FoldTiles(ReducedPicture& picture, int plane)
{
    TIFF* tiff = mTiff.get();
    std::vector<uchar> tile(static_cast<size_t>(mLineBytes));
    uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
    const qint64 rowBytes = qint64(TIFFTileRowSize64(tiff));
    if (rowBytes <= 0 || rowBytes * tileHeight > mLineBytes)
        return false;
    bool decoded = false;
    for (qint64 top = 0; top < mSize.height(); top += tileHeight) {
        for (qint64 left = 0; left < mSize.width(); left += tileWidth) {
            const uint32_t x = uint32_t(left), y = uint32_t(top);
            if (!Present(TIFFComputeTile(tiff, x, y, 0, uint16_t(plane)))
                || TIFFReadTile(tiff, tile.data(), x, y, 0, uint16_t(plane)) < 0)
                continue;
            const int rows = int(std::min<qint64>(tileHeight, mSize.height() - top));
            const int columns = int(std::min<qint64>(tileWidth, mSize.width() - left));
            for (int r = 0; r < rows; ++r)
                FoldRow(picture, int(top) + r, tile.data() + r * rowBytes, columns, int(left), plane);
            decoded = true;
        }
    }
    return decoded;
}

// libtiff's own conversion to RGBA, for the kinds above do not cover (Lab, YCbCr without JPEG,
// odd depths, planes with alpha...). It reads every strip or tile a band touches again for each
// band, which is slow for one big compressed strip; such files are rare.
bool TIFFRows::FoldWhole(ReducedPicture& picture)
{
    TIFFRGBAImage image{};
    char message[1024] = {};
    if (!TIFFRGBAImageBegin(&image, mTiff.get(), 0, message))
        return false;
    // Rows as stored, not turned: the caller applies Orientation().
    image.req_orientation = image.orientation;
    const int width = mSize.width();
    std::vector<uint32_t> raster(size_t(width) * size_t(mPieceHeight));
    std::vector<uchar> rgba(size_t(width) * 4);
    bool decoded = false;
    for (int top = 0; top < mSize.height(); top += mPieceHeight) {
        const int rows = std::min(mPieceHeight, mSize.height() - top);
        std::fill(raster.begin(), raster.end(), 0u);  // transparent, so white, where nothing decodes
        image.row_offset = top;
        image.col_offset = 0;
        decoded |= TIFFRGBAImageGet(&image, raster.data(), uint32_t(width), uint32_t(rows)) != 0;
        for (int r = 0; r < rows; ++r) {
            const uint32_t* abgr = raster.data() + size_t(r) * size_t(width);
            for (int x = 0; x < width; ++x)
                qToLittleEndian(abgr[x], rgba.data() + 4 * x);  // bytes R, G, B, A
            LayOnWhitePremultiplied(rgba.data(), width, 3, mOut.data());
            picture.AddRGB(top + r, mOut.data(), width);
        }
    }
    TIFFRGBAImageEnd(&image);
    return decoded;
}

bool TIFFRows::Fold(ReducedPicture& picture)
{
    mOut.assign(size_t(mLayout.kind == Kind::Whole ? mSize.width() : mPieceWidth) * 3, 0);
    mIndices.assign(mLayout.kind == Kind::Palette ? size_t(mPieceWidth) : 0, 0);
    if (mLayout.kind == Kind::Whole)
        return FoldWhole(picture);
    // Plane after plane, so that strips holding one plane each decode from start to end once.
    const int planes = mLayout.kind == Kind::Planes ? 3 : 1;
    bool decoded = false;
    for (int plane = 0; plane < planes; ++plane)
        decoded |= mTiled ? FoldTiles(picture, plane) : FoldStrips(picture, plane);
    return decoded;
}

} // namespace

std::unique_ptr<RowDecoder> OpenTIFFRows(const QString& path)
{
    if (!HasTIFFSignature(path))
        return nullptr;
    TIFFHandle tiff = OpenQuietly(path);
    if (!tiff)
        return nullptr;
    auto rows = std::make_unique<TIFFRows>(std::move(tiff), QFile(path).size());
    if (!rows->Prepare())
        return nullptr;
    return rows;
}
