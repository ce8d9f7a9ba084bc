#pragma once

#include <QSize>
#include <QString>
#include <memory>

#include "ReducedPicture.h"

// A picture file read in pieces (rows, strips, tiles, passes) and folded into a ReducedPicture as
// they come, so that decoding it takes a few rows' memory whatever the size of the page. Only the
// header is read when it is opened. Use each on one thread.
class RowDecoder
{
public:
    virtual ~RowDecoder() = default;

    // The picture's size as its pixels are stored, before any orientation is applied.
    virtual QSize Size() const = 0;
    // How the stored picture stands, as the orientation tag of TIFF and EXIF gives it: 1 upright,
    // 2 mirrored, 3 turned half round, 4 flipped, 5 to 8 turned a quarter (see Oriented).
    virtual int Orientation() const { return 1; }
    // The bytes that Fold takes at most besides the ReducedPicture: buffers of rows, strips or
    // tiles and what the format's library holds.
    virtual qint64 WorkingBytes() const = 0;
    // Folds every pixel that can be decoded into picture (made for Size()). Pieces that are
    // missing or broken are left out, so they stay white. False when nothing could be decoded.
    virtual bool Fold(ReducedPicture& picture) = 0;
};

// The decoder for the file at path when its content is of that decoder's format and its header
// can be read; nullptr otherwise (the caller may try another decoder).
std::unique_ptr<RowDecoder> OpenTIFFRows(const QString& path);
std::unique_ptr<RowDecoder> OpenPNGRows(const QString& path);
std::unique_ptr<RowDecoder> OpenBMPRows(const QString& path);
