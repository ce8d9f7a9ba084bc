#include "RowDecoder.h"

#include <QFile>
#include <png.h>
#include <vector>

#include "PixelRow.h"

namespace {

// Either side; the caller bounds the area.
constexpr png_uint_32 MostPixelsAcross = 1000000;
// Ancillary chunks are skipped unread, so no chunk should come near this.
constexpr png_alloc_size_t MostChunkBytes = 8 << 20;
// zlib's window (32 KiB) and state, the IDAT read buffer, libpng's own structures.
constexpr qint64 LibraryBytes = 64 * 1024;
// libpng pads each of its two row buffers by less than this.
constexpr qint64 LibraryRowPadding = 128;

// How rows come once libpng has expanded palettes, low bit depths and tRNS to 8 or 16 bits of
// grey or RGB, with or without alpha.
struct Layout
{
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colours = 0;  // 1 grey, 3 RGB
    bool alpha = false;
    int sampleBytes = 1;
    bool interlaced = false;

    int Channels() const { return colours + (alpha ? 1 : 0); }
    qint64 RowBytes() const { return qint64(width) * Channels() * sampleBytes; }
    bool operator==(const Layout&) const = default;
};

// The rows of one Adam7 pass (or of the whole picture): row i is source row y0 + i * yStep, its
// count pixels at x0, x0 + xStep...
struct Pass
{
    int rows, count, y0, yStep, x0, xStep;
};

Pass PassOf(const Layout& layout, int pass)
{
    if (!layout.interlaced)
        return {int(layout.height), int(layout.width), 0, 1, 0, 1};
    return {int(PNG_PASS_ROWS(layout.height, pass)), int(PNG_PASS_COLS(layout.width, pass)),
            PNG_PASS_START_ROW(pass), 1 << PNG_PASS_ROW_SHIFT(pass),
            PNG_PASS_START_COL(pass), 1 << PNG_PASS_COL_SHIFT(pass)};
}

void Fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void Ignore(png_structp, png_const_charp) {}

void ReadFile(png_structp png, png_bytep data, size_t length)
{
    auto* file = static_cast<QFile*>(png_get_io_ptr(png));
    if (file->read(reinterpret_cast<char*>(data), qint64(length)) != qint64(length))
        png_error(png, "truncated");
}

// row (count pixels as layout says) to 8-bit opaque pixels, folded at source row y.
void FoldRow(const Layout& layout, const quint16* row, int count, uchar* converted, ReducedPicture& picture,
             int y, int x0, int step)
{
    const uchar* pixels = reinterpret_cast<const uchar*>(row);
    if (layout.sampleBytes == 2) {
        if (layout.alpha)
            LayOnWhite16(row, count, layout.colours, converted);
        else
            EightBitSamples(row, count * layout.colours, converted);
        pixels = converted;
    } else if (layout.alpha) {
        LayOnWhite(pixels, count, layout.colours, converted);
        pixels = converted;
    }
    if (layout.colours == 1)
        picture.AddGrey(y, pixels, count, x0, step);
    else
        picture.AddRGB(y, pixels, count, x0, step);
}

// One read of a file: the file and libpng's state, released together. libpng reports errors
// by longjmp, so the functions that setjmp hold no objects with destructors.
class Reading
{
public:
    explicit Reading(const QString& path)
        : mFile(path)
    {
        png_byte signature[8];
        if (!mFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
            || mFile.read(reinterpret_cast<char*>(signature), 8) != 8 || png_sig_cmp(signature, 0, 8) != 0)
            return;
        mPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
        if (mPng)
            mInfo = png_create_info_struct(mPng);
        if (!mInfo)
            return;
        png_set_read_fn(mPng, &mFile, ReadFile);
        png_set_sig_bytes(mPng, 8);
        png_set_user_limits(mPng, MostPixelsAcross, MostPixelsAcross);
        png_set_chunk_malloc_max(mPng, MostChunkBytes);
        // Nothing of the metadata is used: every chunk but those of the pixels is skipped unread,
        // and a broken one does not stop the picture.
        png_set_keep_unknown_chunks(mPng, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
        png_set_crc_action(mPng, PNG_CRC_DEFAULT, PNG_CRC_QUIET_USE);
        // The chunks' CRCs already guard the data; zlib's own sum costs time on every page.
        png_set_option(mPng, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    }

    ~Reading()
    {
        if (mPng)
            png_destroy_read_struct(&mPng, mInfo ? &mInfo : nullptr, nullptr);
    }

    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

    // Reads the chunks before the pixels and sets libpng to expand rows to layout. False when
    // the file is no PNG or its header is broken.
    bool Header(Layout& layout)
    {
        if (!mInfo)
            return false;
        if (setjmp(png_jmpbuf(mPng)))
            return false;
        png_read_info(mPng, mInfo);
        const int type = png_get_color_type(mPng, mInfo);
        const int depth = png_get_bit_depth(mPng, mInfo);
        const bool keyed = png_get_valid(mPng, mInfo, PNG_INFO_tRNS) != 0;
        if (type == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(mPng);
        if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
            png_set_expand_gray_1_2_4_to_8(mPng);
        if (keyed)
            png_set_tRNS_to_alpha(mPng);
        if (depth == 16 && Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
            png_set_swap(mPng);
        layout.width = png_get_image_width(mPng, mInfo);
        layout.height = png_get_image_height(mPng, mInfo);
        layout.colours = (type & PNG_COLOR_MASK_COLOR) ? 3 : 1;
        layout.alpha = (type & PNG_COLOR_MASK_ALPHA) || keyed;
        layout.sampleBytes = depth == 16 ? 2 : 1;
        layout.interlaced = png_get_interlace_type(mPng, mInfo) == PNG_INTERLACE_ADAM7;
        return true;
    }

    // Folds the rows as they come, pass after pass when interlaced: each pass's rows hold every
    // xStep-th pixel, so no more than a row is held. folded counts the rows folded before any
    // error. row holds layout.RowBytes(), converted three bytes a pixel.
    void Fold(const Layout& layout, quint16* row, uchar* converted, ReducedPicture& picture, int& folded)
    {
        if (setjmp(png_jmpbuf(mPng)))
            return;
        png_read_update_info(mPng, mInfo);
        if (png_get_rowbytes(mPng, mInfo) != size_t(layout.RowBytes())
            || png_get_channels(mPng, mInfo) != layout.Channels())
            return;
        // Without png_set_interlace_handling libpng gives each pass's own rows and skips
        // empty passes.
        for (int pass = 0; pass < (layout.interlaced ? 7 : 1); ++pass) {
            const Pass rows = PassOf(layout, pass);
            if (rows.count == 0)
                continue;
            for (int i = 0; i < rows.rows; ++i) {
                png_read_row(mPng, reinterpret_cast<png_bytep>(row), nullptr);
                FoldRow(layout, row, rows.count, converted, picture, rows.y0 + i * rows.yStep, rows.x0, rows.xStep);
                ++folded;
            }
        }
    }

private:
    QFile mFile;
    png_structp mPng = nullptr;
    png_infop mInfo = nullptr;
};

class PNGRows : public RowDecoder
{
public:
    PNGRows(const QString& path, const Layout& layout)
        : mPath(path),
          mLayout(layout)
    {
    }

    QSize Size() const override { return QSize(int(mLayout.width), int(mLayout.height)); }
    // An eXIf chunk's orientation is left alone: Qt's reader does not apply it either, so the
    // page looks as it does whichever reader shows it.

    qint64 WorkingBytes() const override
    {
        const qint64 row = mLayout.RowBytes();
        return row + qint64(mLayout.width) * 3 + 2 * (row + LibraryRowPadding) + LibraryBytes;
    }

    // The file is read again from its start, so that nothing is held between opening and folding.
    bool Fold(ReducedPicture& picture) override
    {
        Reading reading(mPath);
        Layout layout;
        if (!reading.Header(layout) || !(layout == mLayout))
            return false;
        std::vector<quint16> row(size_t(mLayout.RowBytes() + 1) / 2);
        std::vector<uchar> converted(size_t(mLayout.width) * 3);
        int folded = 0;
        reading.Fold(mLayout, row.data(), converted.data(), picture, folded);
        return folded > 0;
    }

private:
    QString mPath;
    Layout mLayout;
};

} // namespace

std::unique_ptr<RowDecoder> OpenPNGRows(const QString& path)
{
    Reading reading(path);
    Layout layout;
    if (!reading.Header(layout))
        return nullptr;
    return std::make_unique<PNGRows>(path, layout);
}
