#pragma once

#include <QImage>
#include <QSize>
#include <vector>

// A picture shrunk to a small size while its pixels arrive, in any order and in pieces: rows,
// strips, tiles or the passes of an interlaced file. Each source pixel's square is spread over
// the target pixels it overlaps (a box filter), so the memory taken is the target's, whatever
// the size of the source. What no pixel reached stays white, like paper.
//
// Pixels come as 8-bit grey or 8-bit RGB, opaque: a decoder lays any transparency on white
// before (PixelRow.h). Use each on one thread.
class ReducedPicture
{
public:
    // source: the picture's size as its pixels arrive; target: the size it is shrunk to, no
    // larger than source on either side.
    ReducedPicture(const QSize& source, const QSize& target);

    QSize Source() const { return mSource; }
    QSize Target() const { return mTarget; }

    // count pixels of source row y, at columns x0, x0 + step, x0 + 2 * step...; pixels outside
    // the source are ignored.
    void AddGrey(int y, const uchar* grey, int count, int x0 = 0, int step = 1);
    void AddRGB(int y, const uchar* rgb, int count, int x0 = 0, int step = 1);
    // The same for one channel (0 red, 1 green, 2 blue) of a picture whose channels come apart,
    // as in planes: every channel of a pixel must come, and the pixel counts as covered once.
    void AddChannel(int y, int channel, const uchar* samples, int count, int x0 = 0, int step = 1);

    // The reduced picture, 32 bits per pixel (QImage::Format_RGB32).
    QImage Image() const;

    // What an instance for target holds, for the memory count of a decode.
    static qint64 Bytes(const QSize& target);

private:
    // Where source pixel x (or row y) lands: the first target pixel it overlaps and the share of
    // the pixel that falls in it; the rest, if any, falls in the next one.
    struct Span
    {
        int cell;
        float share;
    };
    static std::vector<Span> Spans(int source, int target);

    // channel: -1 for whole pixels, else the one channel that the samples (Channels 1) are.
    template <int Channels>
    void Add(int y, const uchar* pixels, int count, int x0, int step, int channel = -1);
    // count pixels, step apart from column x0, each spread over the one or two target columns it
    // overlaps.
    template <int Channels>
    void SpreadPixels(const uchar* pixels, int count, int x0, int step);
    // A whole row spread over every target column: the pixels wholly inside a column are summed
    // in integers, only the one that straddles a column edge is shared.
    template <int Channels>
    void SpreadWholeRow(const uchar* pixels);

    QSize mSource;
    QSize mTarget;
    std::vector<Span> mColumns;
    std::vector<int> mColumnStarts;  // per target column, the first source column wholly inside it
    std::vector<Span> mRows;
    // Per target pixel: red, green, blue and the area covered, each weighted by overlap.
    std::vector<float> mSums;
    std::vector<float> mRow;  // one source row spread over the target's columns
};

// image as it stands after the orientation tag of TIFF and EXIF (1 to 8) is applied, as viewers
// show it: mirrored or flipped first, then turned a quarter clockwise where the tag says so.
QImage Oriented(const QImage& image, int orientation);
