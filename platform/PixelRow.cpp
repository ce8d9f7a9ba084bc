#include "PixelRow.h"

#include <algorithm>

namespace {

// c over white with alpha a, both 0..max, rounded to 8 bits.
template <typename Sample, unsigned Max>
uchar OnWhite(Sample c, Sample a)
{
    const quint64 mixed = quint64(c) * a + quint64(Max) * (Max - a);  // 0..max^2
    return uchar((mixed * 255 + quint64(Max) * Max / 2) / (quint64(Max) * Max));
}

template <typename Sample, unsigned Max>
uchar PremultipliedOnWhite(Sample c, Sample a)
{
    const unsigned mixed = std::min<unsigned>(Max, unsigned(c) + (Max - a));
    return uchar((mixed * 255u + Max / 2) / Max);
}

template <typename Sample, unsigned Max, bool Premultiplied>
void Lay(const Sample* in, int count, int colours, uchar* out)
{
    for (int i = 0; i < count; ++i, in += colours + 1) {
        const Sample alpha = in[colours];
        for (int c = 0; c < colours; ++c)
            *out++ = Premultiplied ? PremultipliedOnWhite<Sample, Max>(in[c], alpha)
                                   : OnWhite<Sample, Max>(in[c], alpha);
    }
}

} // namespace

void LayOnWhite(const uchar* in, int count, int colours, uchar* out)
{
    Lay<uchar, 255, false>(in, count, colours, out);
}

void LayOnWhite16(const quint16* in, int count, int colours, uchar* out)
{
    Lay<quint16, 65535, false>(in, count, colours, out);
}

void LayOnWhitePremultiplied(const uchar* in, int count, int colours, uchar* out)
{
    Lay<uchar, 255, true>(in, count, colours, out);
}

void LayOnWhitePremultiplied16(const quint16* in, int count, int colours, uchar* out)
{
    Lay<quint16, 65535, true>(in, count, colours, out);
}

void EightBitSamples(const quint16* in, int samples, uchar* out)
{
    for (int i = 0; i < samples; ++i)
        out[i] = EightBits(in[i]);
}

void UnpackIndices(const uchar* in, int count, int bits, uchar* out)
{
    // A byte at a time, without division: 1-bit scans of whole pages come through here.
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    int i = 0;
    for (; i + perByte <= count; ++in)
        for (int shift = 8 - bits; shift >= 0; shift -= bits)
            out[i++] = uchar((*in >> shift) & mask);
    for (int shift = 8 - bits; i < count; shift -= bits)
        out[i++] = uchar((*in >> shift) & mask);
}

void UnpackGrey(const uchar* in, int count, int bits, uchar* out)
{
    UnpackIndices(in, count, bits, out);
    const unsigned scale = 255u / ((1u << bits) - 1);
    for (int i = 0; i < count; ++i)
        out[i] = uchar(out[i] * scale);
}

OpaquePalette LaidOnWhite(const QRgb* colours)
{
    OpaquePalette palette;
    for (size_t i = 0; i < 256; ++i) {
        const uchar alpha = uchar(qAlpha(colours[i]));
        palette[3 * i] = OnWhite<uchar, 255>(uchar(qRed(colours[i])), alpha);
        palette[3 * i + 1] = OnWhite<uchar, 255>(uchar(qGreen(colours[i])), alpha);
        palette[3 * i + 2] = OnWhite<uchar, 255>(uchar(qBlue(colours[i])), alpha);
    }
    return palette;
}

void PaletteToRGB(const uchar* indices, int count, const OpaquePalette& palette, uchar* rgb)
{
    for (int i = 0; i < count; ++i, rgb += 3) {
        const uchar* colour = palette.data() + 3 * indices[i];
        rgb[0] = colour[0];
        rgb[1] = colour[1];
        rgb[2] = colour[2];
    }
}
