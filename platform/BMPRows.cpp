#include "RowDecoder.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <limits>
#include <vector>

#include "PixelRow.h"

namespace {

constexpr qint64 FileHeaderBytes = 14;
constexpr qint64 ReadChunk = 64 * 1024;
// Wider rows are taken for a lying header rather than a page.
constexpr qint64 LongestRow = 256LL * 1024 * 1024;
// Channels of more bits are read from their top bits only: 12 of them say more than 8 bits can.
constexpr int ChannelBits = 12;
// What QFile keeps besides our own buffer, generously.
constexpr qint64 FileState = 16 * 1024;

enum Compression : quint32 { Plain = 0, RLE8 = 1, RLE4 = 2, BitFields = 3 };

quint16 U16(const uchar* p)
{
    return quint16(p[0] | p[1] << 8);
}

quint32 U32(const uchar* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// The file read forward through a buffer of fixed size, so that the memory taken does not depend
// on how the file is laid out.
class Reader
{
public:
    explicit Reader(const QString& path) : mFile(path), mBuffer(size_t(ReadChunk)) {}

    bool Open() { return mFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    bool Seek(qint64 offset)
    {
        mAt = mEnd = 0;
        return mFile.seek(offset);
    }
    bool Byte(uchar& byte)
    {
        if (mAt == mEnd && !Fill())
            return false;
        byte = mBuffer[size_t(mAt++)];
        return true;
    }
    // Up to count bytes into out; fewer at the end of the file.
    qint64 Read(uchar* out, qint64 count)
    {
        qint64 done = 0;
        while (done < count && (mAt < mEnd || Fill())) {
            const qint64 part = std::min(count - done, mEnd - mAt);
            std::copy_n(mBuffer.data() + mAt, part, out + done);
            mAt += part;
            done += part;
        }
        return done;
    }

private:
    bool Fill()
    {
        mAt = 0;
        mEnd = std::max<qint64>(0, mFile.read(reinterpret_cast<char*>(mBuffer.data()), ReadChunk));
        return mEnd > 0;
    }

    QFile mFile;
    std::vector<uchar> mBuffer;
    qint64 mAt = 0;
    qint64 mEnd = 0;
};

// One colour of a pixel packed in bits: where its bits lie and their values scaled to 0..255.
struct Channel
{
    int shift = 0;
    quint32 max = 0;  // the largest value once shifted down
    std::vector<uchar> scaled;
};

// count pixels of Bytes each to Samples samples (red, green, blue, alpha) through channels.
template <int Bytes, int Samples>
void Unmask(const uchar* stored, int count, const std::array<Channel, 4>& channels, uchar* out)
{
    // Held apart so that writing out cannot be taken to change them.
    int shifts[Samples];
    quint32 maxima[Samples];
    const uchar* scales[Samples];
    for (int c = 0; c < Samples; ++c) {
        shifts[c] = channels[size_t(c)].shift;
        maxima[c] = channels[size_t(c)].max;
        scales[c] = channels[size_t(c)].scaled.data();
    }
    for (int i = 0; i < count; ++i, stored += Bytes, out += Samples) {
        const quint32 pixel = Bytes == 2 ? U16(stored) : U32(stored);
        for (int c = 0; c < Samples; ++c)
            out[c] = scales[c][(pixel >> shifts[c]) & maxima[c]];
    }
}

bool SideBySide(quint32 mask)
{
    const quint32 bits = mask ? mask >> std::countr_zero(mask) : 0;
    return (bits & (bits + 1)) == 0;
}

// mask: bits side by side.
void MakeChannel(quint32 mask, Channel& channel)
{
    channel.shift = mask ? std::countr_zero(mask) : 0;
    const quint32 bits = mask >> channel.shift;
    const int width = std::popcount(bits);
    if (width > ChannelBits)
        channel.shift += width - ChannelBits;
    channel.max = (1u << std::min(width, ChannelBits)) - 1;
    channel.scaled.resize(channel.max + 1, 0);
    for (quint32 value = 1; value <= channel.max; ++value)
        channel.scaled[value] = uchar((value * 255 + channel.max / 2) / channel.max);
}

struct Header
{
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bits = 0;
    quint32 compression = Plain;
    std::array<quint32, 4> masks{};  // red, green, blue, alpha
    bool alpha = false;
    qint64 paletteStart = 0;
    int paletteEntry = 4;  // bytes of each colour
    int colours = 0;
    qint64 dataStart = 0;
    qint64 stride = 0;  // bytes of a stored row, uncompressed
};

bool Supported(int bits, quint32 compression, qint64 infoSize)
{
    switch (compression) {
    case Plain:
        return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case RLE8:
        return bits == 8;
    case RLE4:
        return bits == 4;
    case BitFields:
        // The 64-byte header of OS/2 uses this number for another compression.
        return (bits == 16 || bits == 32) && infoSize != 64;
    default:
        return false;
    }
}

// The header of the file whose first bytes are in head (size bytes of fileSize); false when it is
// not a BMP this decoder reads.
bool ReadHeader(const uchar* head, qint64 size, qint64 fileSize, Header& header)
{
    if (size < FileHeaderBytes + 4 || head[0] != 'B' || head[1] != 'M')
        return false;
    const qint64 offset = U32(head + 10);
    const qint64 infoSize = U32(head + 14);
    const uchar* info = head + FileHeaderBytes;
    if (infoSize == 12) {
        if (size < FileHeaderBytes + 12 || U16(info + 8) != 1)
            return false;
        header.width = U16(info + 4);
        header.height = U16(info + 6);
        header.bits = U16(info + 10);
        header.paletteEntry = 3;
    } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64 || infoSize == 108
               || infoSize == 124) {
        if (size < FileHeaderBytes + 40 || U16(info + 12) != 1)
            return false;
        header.width = qint32(U32(info + 4));
        const qint32 height = qint32(U32(info + 8));
        if (height == std::numeric_limits<qint32>::min())
            return false;
        header.topDown = height < 0;
        header.height = std::abs(height);
        header.bits = U16(info + 14);
        header.compression = U32(info + 16);
        header.colours = int(std::min<quint32>(U32(info + 32), 256));
    } else {
        return false;
    }
    if (header.width <= 0 || header.height <= 0 || !Supported(header.bits, header.compression, infoSize))
        return false;

    header.stride = (qint64(header.width) * header.bits + 31) / 32 * 4;
    if (header.stride > LongestRow || qint64(header.width) * 4 > LongestRow)
        return false;

    header.paletteStart = FileHeaderBytes + infoSize;
    if (header.compression == BitFields) {
        // A 40-byte header has the masks after it, the larger ones within.
        const uchar* masks = head + FileHeaderBytes + 40;
        if (size < FileHeaderBytes + 40 + 12)
            return false;
        header.masks = {U32(masks), U32(masks + 4), U32(masks + 8), infoSize >= 56 ? U32(masks + 12) : 0};
        if (infoSize == 40)
            header.paletteStart += 12;
        // Only pictures that say their pixels are bit fields have alpha, as Qt reads them too: the
        // fourth byte of a plain 32-bit pixel is padding, zero in most files.
        header.alpha = header.masks[3] != 0;
        if (!std::all_of(header.masks.begin(), header.masks.end(), SideBySide))
            return false;
    } else if (header.bits == 16) {
        header.masks = {0x7c00, 0x03e0, 0x001f, 0};
    } else if (header.bits == 32) {
        header.masks = {0xff0000, 0xff00, 0xff, 0};
    }

    if (header.bits <= 8) {
        if (header.colours == 0)
            header.colours = 1 << header.bits;
        const qint64 end = offset >= header.paletteStart ? std::min(offset, fileSize) : fileSize;
        header.colours = int(std::clamp<qint64>((end - header.paletteStart) / header.paletteEntry, 0, header.colours));
    } else {
        header.colours = 0;
    }
    // An offset within the headers is wrong; the pixels then follow the colours.
    header.dataStart = std::max(offset, header.paletteStart + qint64(header.colours) * header.paletteEntry);
    return true;
}

class BMPRows : public RowDecoder
{
public:
    BMPRows(const QString& path, const Header& header) : mPath(path), mHeader(header) {}

    QSize Size() const override { return {mHeader.width, mHeader.height}; }

    qint64 WorkingBytes() const override
    {
        // Stored row, indices, what RLE wrote, converted row; read buffer, channel tables, palette.
        return mHeader.stride + qint64(mHeader.width) * (1 + 1 + 4) + ReadChunk
            + 4 * ((1 << ChannelBits) + qint64(sizeof(Channel))) + 256 * qint64(sizeof(QRgb)) + FileState;
    }

    bool Fold(ReducedPicture& picture) override;

private:
    // Rows converted for the picture: colours through the palette (as grey when it is all grey)
    // or bit fields.
    struct Conversion
    {
        OpaquePalette colours;
        std::array<uchar, 256> greys;
        bool grey = false;
        std::array<Channel, 4> channels;
        bool masked = false;  // 16 bits, or 32 bits other than plain BGRX
    };

    bool ReadPalette(Reader& reader, Conversion& conversion) const;
    void MakeChannels(Conversion& conversion) const;
    bool FoldPlain(Reader& reader, const Conversion& conversion, ReducedPicture& picture) const;
    bool FoldRLE(Reader& reader, const Conversion& conversion, ReducedPicture& picture) const;
    // count pixels from indices or packed pixels into out, then into picture at row y from x0.
    void FoldIndices(const Conversion& conversion, const uchar* indices, int count, int y, int x0,
                     uchar* out, ReducedPicture& picture) const;
    // The runs of indices that written marks, which it then clears.
    void FoldWritten(const Conversion& conversion, const uchar* indices, uchar* written, int y, uchar* out,
                     ReducedPicture& picture) const;
    void FoldPacked(const Conversion& conversion, const uchar* stored, int count, int y, uchar* out,
                    ReducedPicture& picture) const;
    int PictureRow(int stored) const { return mHeader.topDown ? stored : mHeader.height - 1 - stored; }

    QString mPath;
    Header mHeader;
};

bool BMPRows::ReadPalette(Reader& reader, Conversion& conversion) const
{
    // Indices past the colours the file has come out black, as Qt shows them.
    std::array<QRgb, 256> palette;
    palette.fill(qRgb(0, 0, 0));
    std::array<uchar, 256 * 4> entries;
    const qint64 bytes = qint64(mHeader.colours) * mHeader.paletteEntry;
    if (!reader.Seek(mHeader.paletteStart) || reader.Read(entries.data(), bytes) != bytes)
        return false;
    conversion.grey = true;
    for (int i = 0; i < mHeader.colours; ++i) {
        const uchar* entry = entries.data() + i * mHeader.paletteEntry;
        palette[size_t(i)] = qRgb(entry[2], entry[1], entry[0]);
        conversion.grey = conversion.grey && entry[0] == entry[1] && entry[1] == entry[2];
    }
    conversion.colours = LaidOnWhite(palette.data());
    for (size_t i = 0; i < conversion.greys.size(); ++i)
        conversion.greys[i] = conversion.colours[3 * i];
    return true;
}

void BMPRows::MakeChannels(Conversion& conversion) const
{
    const auto& masks = mHeader.masks;
    conversion.masked = mHeader.bits == 16
        || (mHeader.bits == 32 && (mHeader.alpha || masks[0] != 0xff0000 || masks[1] != 0xff00 || masks[2] != 0xff));
    if (conversion.masked)
        for (size_t c = 0; c < masks.size(); ++c)
            MakeChannel(masks[c], conversion.channels[c]);
}

void BMPRows::FoldIndices(const Conversion& conversion, const uchar* indices, int count, int y, int x0,
                          uchar* out, ReducedPicture& picture) const
{
    if (conversion.grey) {
        for (int i = 0; i < count; ++i)
            out[i] = conversion.greys[indices[i]];
        picture.AddGrey(y, out, count, x0);
    } else {
        PaletteToRGB(indices, count, conversion.colours, out);
        picture.AddRGB(y, out, count, x0);
    }
}

void BMPRows::FoldWritten(const Conversion& conversion, const uchar* indices, uchar* written, int y, uchar* out,
                          ReducedPicture& picture) const
{
    const int width = mHeader.width;
    for (int start = 0; start < width; ++start) {
        if (!written[start])
            continue;
        int end = start;
        while (end < width && written[end])
            ++end;
        FoldIndices(conversion, indices + start, end - start, y, start, out, picture);
        std::fill(written + start, written + end, 0);
        start = end;
    }
}

void BMPRows::FoldPacked(const Conversion& conversion, const uchar* stored, int count, int y, uchar* out,
                         ReducedPicture& picture) const
{
    const int bytes = mHeader.bits / 8;
    if (!conversion.masked) {
        uchar* to = out;
        // Blue, green, red and, for 32 bits, a byte of padding.
        for (int i = 0; i < count; ++i, stored += bytes, to += 3) {
            to[0] = stored[2];
            to[1] = stored[1];
            to[2] = stored[0];
        }
        picture.AddRGB(y, out, count);
        return;
    }
    const auto& channels = conversion.channels;
    if (mHeader.alpha) {
        (bytes == 2 ? Unmask<2, 4> : Unmask<4, 4>)(stored, count, channels, out);
        LayOnWhite(out, count, 3, out);
    } else {
        (bytes == 2 ? Unmask<2, 3> : Unmask<4, 3>)(stored, count, channels, out);
    }
    picture.AddRGB(y, out, count);
}

bool BMPRows::FoldPlain(Reader& reader, const Conversion& conversion, ReducedPicture& picture) const
{
    const int width = mHeader.width;
    std::vector<uchar> stored(size_t(mHeader.stride));
    std::vector<uchar> indices(mHeader.bits < 8 ? size_t(width) : 0);
    std::vector<uchar> out(size_t(width) * 4);
    bool folded = false;
    for (int row = 0; row < mHeader.height; ++row) {
        const qint64 got = reader.Read(stored.data(), mHeader.stride);
        // A row cut short gives the pixels it has whole.
        const int count = int(std::min<qint64>(width, got * 8 / mHeader.bits));
        if (count <= 0)
            break;
        const int y = PictureRow(row);
        if (mHeader.bits == 8) {
            FoldIndices(conversion, stored.data(), count, y, 0, out.data(), picture);
        } else if (mHeader.bits < 8) {
            UnpackIndices(stored.data(), count, mHeader.bits, indices.data());
            FoldIndices(conversion, indices.data(), count, y, 0, out.data(), picture);
        } else {
            FoldPacked(conversion, stored.data(), count, y, out.data(), picture);
        }
        folded = true;
        if (got < mHeader.stride)
            break;
    }
    return folded;
}

// Runs of indices, row after row. Escapes end a row, end the picture, skip ahead (what is skipped
// stays white) or give pixels one by one. Only the pixels written are folded.
bool BMPRows::FoldRLE(Reader& reader, const Conversion& conversion, ReducedPicture& picture) const
{
    const int width = mHeader.width;
    const bool four = mHeader.compression == RLE4;
    std::vector<uchar> indices(static_cast<size_t>(width));
    std::vector<uchar> written(size_t(width), 0);
    std::vector<uchar> out(size_t(width) * 3);
    int row = 0;
    int x = 0;
    bool rowWritten = false;
    bool folded = false;

    const auto put = [&](uchar index) {
        if (x < width) {
            indices[size_t(x)] = index;
            written[size_t(x)] = 1;
            rowWritten = true;
        }
        x = std::min(x + 1, width);
    };
    const auto endRow = [&]() {
        if (rowWritten)
            FoldWritten(conversion, indices.data(), written.data(), PictureRow(row), out.data(), picture);
        folded = folded || rowWritten;
        rowWritten = false;
    };

    uchar count = 0;
    uchar code = 0;
    while (row < mHeader.height && reader.Byte(count) && reader.Byte(code)) {
        if (count > 0 && !four) {
            const int run = std::min<int>(count, width - x);
            std::fill_n(indices.begin() + x, run, code);
            std::fill_n(written.begin() + x, run, 1);
            rowWritten = rowWritten || run > 0;
            x += run;
        } else if (count > 0) {
            for (int i = 0; i < count && x < width; ++i)
                put(uchar(i % 2 ? code & 0x0f : code >> 4));
        } else if (code == 0) {
            endRow();
            ++row;
            x = 0;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            uchar dx = 0;
            uchar dy = 0;
            if (!reader.Byte(dx) || !reader.Byte(dy))
                break;
            if (dy > 0) {
                endRow();
                row = int(std::min<qint64>(qint64(row) + dy, mHeader.height));
            }
            x = std::min(x + dx, width);
        } else {
            const int bytes = four ? (code + 1) / 2 : code;
            uchar byte = 0;
            for (int i = 0; i < bytes + bytes % 2 && reader.Byte(byte); ++i) {
                if (i >= bytes)
                    continue;  // padding to a 16-bit boundary
                if (four) {
                    put(byte >> 4);
                    if (2 * i + 1 < code)
                        put(byte & 0x0f);
                } else {
                    put(byte);
                }
            }
        }
    }
    if (row < mHeader.height)
        endRow();
    return folded;
}

bool BMPRows::Fold(ReducedPicture& picture)
{
    Reader reader(mPath);
    Conversion conversion;
    if (!reader.Open() || !ReadPalette(reader, conversion) || !reader.Seek(mHeader.dataStart))
        return false;
    MakeChannels(conversion);
    if (mHeader.compression == RLE8 || mHeader.compression == RLE4)
        return FoldRLE(reader, conversion, picture);
    return FoldPlain(reader, conversion, picture);
}

} // namespace

std::unique_ptr<RowDecoder> OpenBMPRows(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    // The file header, the largest info header and the masks that may follow a small one.
    std::array<uchar, FileHeaderBytes + 124 + 16> head{};
    const qint64 size = file.read(reinterpret_cast<char*>(head.data()), qint64(head.size()));
    Header header;
    if (!ReadHeader(head.data(), size, file.size(), header))
        return nullptr;
    return std::make_unique<BMPRows>(path, header);
}
