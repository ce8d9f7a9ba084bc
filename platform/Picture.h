#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <optional>

// Pictures decoded from files and fitted in a box. Nothing here shows anything or keeps state,
// so every function may run on any thread.

// The factor that fits source in box without enlarging it: min(box width / source width,
// box height / source height, 1.0). source must have positive sides.
double FitFactor(const QSizeF& source, const QSize& box);

// source scaled by FitFactor, each side truncated to whole pixels; a side that truncates to 0
// becomes 1 (10000 x 1 in 380 x 520 gives 380 x 1). The empty size for a source without
// positive sides.
QSize FittedSize(const QSizeF& source, const QSize& box);

// Decodes a picture file and fits it in box: any format the image reader knows (JPEG, PNG,
// TIFF, GIF, BMP...), recognised by content rather than by name, or the first page of a PDF file,
// whose size in points counts as its size in pixels. The result has exactly FittedSize(source
// size, box), 32 bits per pixel (QImage::Format_RGB32), transparent parts on white.
// nullopt when the file cannot be decoded: missing, not a regular file, an unknown format, a
// broken or locked file, or a picture too large for the image reader's allocation limit.
std::optional<QImage> OpenPictureFitted(const QString& path, const QSize& box);

// The image encoded as JPEG at quality 0 to 100; empty when it cannot be encoded.
QByteArray JPEGData(const QImage& image, int quality);
