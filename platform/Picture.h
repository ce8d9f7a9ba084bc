#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <memory>
#include <optional>

class QImageReader;
class RowDecoder;

// Pictures decoded from files and fitted in a box. Nothing here shows anything or keeps state,
// so every function may run on any thread.

// The factor that fits source in box without enlarging it: min(box width / source width,
// box height / source height, 1.0). source must have positive sides.
double FitFactor(const QSizeF& source, const QSize& box);

// source scaled by FitFactor, each side truncated to whole pixels; a side that truncates to 0
// becomes 1 (10000 x 1 in 380 x 520 gives 380 x 1). The empty size for a source without
// positive sides.
QSize FittedSize(const QSizeF& source, const QSize& box);

// The memory that pictures being decoded may take in all: 512 MiB plus 128 MiB per worker thread
// up to 8 (768 MiB on 2 cores, 1.5 GiB on 8). Whatever the input, the decoders keep the process under it.
qint64 PictureMemoryCeiling();
// Sets the ceiling, as on a smaller machine; 0 goes back to the machine's own. Call it while no
// picture is being decoded.
void SetPictureMemoryCeiling(qint64 bytes);
// The most pixels a picture may have: 2^30 (1,074 million). A page of that size takes seconds to
// read even when it is read in rows; an A0 page scanned at 600 dpi (558 million) is a real scan,
// at 800 dpi (992 million) still one. A file that declares more is not decoded at all, so a small
// file that claims a huge picture costs nothing.
qint64 LargestPicturePixels();
// The most decoding one picture may take, alone: seven eighths of the ceiling (the rest is the
// program's own) and never more than 768 MiB. Pictures decoded whole (JPEG, GIF, WebP, PNM...)
// take about their pixels; TIFF, PNG and BMP are read in rows and take a few rows' memory
// whatever their size, plus, for a TIFF, its largest compressed strip or tile.
qint64 LargestPictureBytes();
// What pictures decoded ahead, side by side, may hold at once: a quarter of the ceiling. A picture
// that needs more is decoded alone.
qint64 LookAheadPictureBytes();

// A picture file opened to be fitted in a box: only its header is read, so what decoding it will
// take is known before any pixel memory is. Use each on one thread; different ones may run on
// different threads at once.
class PictureFitter
{
public:
    PictureFitter(const QString& path, const QSize& box);
    ~PictureFitter();
    PictureFitter(const PictureFitter&) = delete;
    PictureFitter& operator=(const PictureFitter&) = delete;

    // The bytes that Fit takes at most while it runs: what its decoder holds (a few rows, or the
    // whole picture for the formats decoded whole) and the reduced picture; 0 when the file will
    // not be decoded (no picture, over LargestPicturePixels or LargestPictureBytes).
    qint64 DecodeBytes() const { return mDecodeBytes; }
    // The picture fitted in the box, as OpenPictureFitted describes it.
    std::optional<QImage> Fit();

private:
    void Inspect(const QString& path);
    void InspectRows();
    void InspectWhole(const QString& path);
    void SetSource(const QSize& stored, int orientation);

    QString mPath;
    QSize mBox;
    bool mPDF = false;
    std::unique_ptr<RowDecoder> mRows;      // TIFF, PNG and BMP, read in rows
    std::unique_ptr<QImageReader> mReader;  // the other formats
    bool mWhole = false;                    // decoded whole, then folded (not JPEG)
    int mOrientation = 1;
    QSize mTarget;        // the fitted size, as the picture stands once turned
    QSize mStoredTarget;  // the same as the pixels are stored
    qint64 mDecodeBytes = 0;
};

// Decodes a picture file and fits it in box: any format the image reader knows (JPEG, PNG,
// TIFF, GIF, BMP...), recognised by content rather than by name, or the first page of a PDF file,
// whose size in points counts as its size in pixels. The result has exactly FittedSize(source
// size, box), 32 bits per pixel (QImage::Format_RGB32), transparent parts on white.
// An orientation tag (EXIF) is applied first, so the picture stands as viewers show it and the
// turned picture is what fits the box. Every pixel kind is laid on white and averaged down as
// opaque 8-bit grey or RGB; parts of a picture its file lacks are white. Nothing of the file but
// its pixels reaches the result (no colour profile, text or resolution). nullopt when the file
// cannot be decoded: missing, not a regular file, an unknown format, a broken or locked file, or
// a picture over LargestPicturePixels, or one whose decoding would take over LargestPictureBytes.
std::optional<QImage> OpenPictureFitted(const QString& path, const QSize& box);

// The image encoded as JPEG at quality 0 to 100; empty when it cannot be encoded.
QByteArray JPEGData(const QImage& image, int quality);
