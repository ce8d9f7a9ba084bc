#pragma once

#include <QtGlobal>
#include <QRgb>
#include <array>

// Rows of pixels brought to what ReducedPicture takes, 8-bit grey or 8-bit RGB, opaque: every
// pixel kind is converted here, so that a page looks the same whatever its file holds.
// Transparency is laid on white pixel by pixel; samples of 16 bits are rounded to 8.
// in and out may not overlap unless said.

// The 8-bit value of a 16-bit sample, rounded.
inline uchar EightBits(quint16 sample)
{
    return uchar((sample * 255u + 32767u) / 65535u);
}

// count pixels of colours samples (1 grey, 3 RGB) followed by one alpha sample, not
// premultiplied, laid on white: out holds colours samples a pixel. out may be in.
void LayOnWhite(const uchar* in, int count, int colours, uchar* out);
// The same with 16-bit samples in the machine's byte order.
void LayOnWhite16(const quint16* in, int count, int colours, uchar* out);
// The same for premultiplied (associated) alpha: white shows through what the colour lacks.
void LayOnWhitePremultiplied(const uchar* in, int count, int colours, uchar* out);
void LayOnWhitePremultiplied16(const quint16* in, int count, int colours, uchar* out);

// samples 16-bit samples in the machine's byte order, rounded to 8 bits. out may be in.
void EightBitSamples(const quint16* in, int samples, uchar* out);

// count samples of bits (1, 2 or 4) each, packed from the most significant bit of each byte:
// as the values they hold (palette indices) or scaled to 0..255 (grey levels).
void UnpackIndices(const uchar* in, int count, int bits, uchar* out);
void UnpackGrey(const uchar* in, int count, int bits, uchar* out);

// A palette's 256 colours as red, green and blue, each laid on white once, so that a pixel is a
// lookup.
using OpaquePalette = std::array<uchar, 256 * 3>;
OpaquePalette LaidOnWhite(const QRgb* colours);
// count palette indices to RGB through palette.
void PaletteToRGB(const uchar* indices, int count, const OpaquePalette& palette, uchar* rgb);
