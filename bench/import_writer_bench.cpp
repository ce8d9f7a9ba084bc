// Throughput of the item and page writer on page files generated like scans: A4 at 300 dpi as
// JPEG (about 2 MB a page), grey PNG, grey LZW TIFF and PDF files wrapping a JPEG page, plus a set
// of decompression bombs. Fills an import list with several pages per item and runs SubAddToDB
// into a new database, with scripted UI services and stored controls.
//
//   import_writer_bench [--set jpg|png|tif|pdf|mixed|bombs|large-...] [--pages N] [--pages-per-item K] [--copies C]
//                       [--corpus DIR]
//
// Each set lives in its own folder of DIR (made once, reused by later runs): jpg, png, tif and
// pdf hold N distinct pages; mixed holds hard links to those pages in the order of a mixed
// archive (half JPEG); bombs holds 16 small files that declare huge pictures (GIF, RLE bitmap,
// 15000 x 15000 TIFF); the large-... sets hold one large scan each (1200 dpi A4 grey and colour
// TIFF and PNG, a colour BMP, 600 dpi A4 and A3 colour TIFF, and, written band by band with
// libtiff and libpng: 16-bit grey and colour, interlaced colour and translucent PNG, 1200 dpi A3,
// a 600 dpi A0 fax page in one strip; plus a progressive 1200 dpi A4 JPEG). --copies C lists
// every page C times (hard links), so that one import holds C large scans. Prints pages/s, MB/s
// of page bytes stored, the database size, the peak resident memory of the run and the longest
// time the run went without a turn of the event loop.

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentMap>

#include <csetjmp>
#include <cstdio>
#include <numeric>
#include <png.h>
#include <sys/resource.h>
#include <tiffio.h>
#include <unistd.h>

#include "DatabaseCreator.h"
#include "ImportSession.h"
#include "ItemWriter.h"
#include "ScriptedUIServices.h"

namespace {

constexpr QSize A4At300(2480, 3508);

struct PageKind
{
    QString extension;
    QString typeName;
};

const PageKind Jpg{"jpg", "image/jpeg"};
const PageKind Png{"png", "image/png"};
const PageKind Tif{"tif", "image/tiff"};
const PageKind Pdf{"pdf", "application/pdf"};

// The mix of an archive, one entry per page in turn: half of the pages are JPEG scans.
const PageKind* const Mix[] = {&Jpg, &Png, &Jpg, &Pdf, &Jpg, &Tif, &Jpg, &Pdf, &Jpg, &Png};

// Where a page of the size has its stamp.
QRect StampRect(QSize size)
{
    return QRect(size.width() * 6 / 10, size.height() * 7 / 10, size.width() / 4, size.width() / 4);
}

// Paints a page that looks like a scan: paper tone, text lines, a stamp; the seed varies the
// content so pages do not compress to the same bytes.
void PaintScan(QPainter& painter, QSize size, int seed)
{
    QLinearGradient paper(0, 0, size.width(), size.height());
    paper.setColorAt(0, QColor(252, 250, 244));
    paper.setColorAt(1, QColor(238, 236, 228));
    painter.fillRect(QRect(QPoint(0, 0), size), paper);
    QFont font = painter.font();
    font.setPixelSize(size.height() / 70);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 40));
    const int lineHeight = size.height() / 45;
    for (int line = 0; line < 38; ++line)
        painter.drawText(size.width() / 12, size.height() / 10 + line * lineHeight,
                         QStringLiteral("Position %1  Article %2  qty %3  %4.%5 EUR")
                             .arg(line + 1)
                             .arg(seed * 97 + line * 13)
                             .arg(line % 7 + 1)
                             .arg((seed + line) * 31 % 1000)
                             .arg(line * 7 % 100, 2, 10, QLatin1Char('0')));
    painter.setPen(QPen(QColor(160, 30, 30), size.width() / 300));
    painter.drawEllipse(StampRect(size));
}

// The page of PaintScan as a picture. Paper grain (noise) gives JPEG pages a scan's size.
QImage ScanPicture(QSize size, int seed, bool grain)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintScan(painter, size, seed);
    painter.end();
    if (grain) {
        QRandomGenerator random(seed);
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const int d = int(random.bounded(9)) - 4;
                const QRgb p = line[x];
                line[x] = qRgb(std::clamp(qRed(p) + d, 0, 255), std::clamp(qGreen(p) + d, 0, 255),
                               std::clamp(qBlue(p) + d, 0, 255));
            }
        }
    }
    return image;
}

// Rows top .. top + rows - 1 of the page ScanPicture(size, seed, false) holds, for pages too
// large to hold whole.
QImage ScanBand(QSize size, int seed, int top, int rows)
{
    QImage band(size.width(), rows, QImage::Format_RGB32);
    QPainter painter(&band);
    painter.translate(0, -top);
    PaintScan(painter, size, seed);
    painter.end();
    return band;
}

bool WriteJpeg(const QString& path, const QImage& image, int quality = 90, bool progressive = false)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

// A hard link to source at path, unless path is there already.
bool Link(const QString& source, const QString& path)
{
    return QFile::exists(path) || ::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) == 0;
}

bool WritePage(const QString& path, const PageKind& kind, int seed)
{
    if (&kind == &Pdf) {
        // A scanner's PDF: one JPEG picture filling an A4 page, as a PDF writer embeds it.
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(300);
        QPainter painter;
        if (!painter.begin(&writer))
            return false;
        QImage scan;
        scan.loadFromData([&] {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            ScanPicture(A4At300, seed, true).save(&buffer, "jpeg", 75);
            return bytes;
        }());
        painter.drawImage(QRect(QPoint(0, 0), A4At300), scan);
        return painter.end();
    }
    if (&kind == &Jpg)
        return WriteJpeg(path, ScanPicture(A4At300, seed, true));
    QImageWriter writer(path, kind.extension.toLatin1());
    if (&kind == &Tif)
        writer.setCompression(1); // LZW, as scanners write it
    return writer.write(ScanPicture(A4At300, seed, false).convertToFormat(QImage::Format_Grayscale8));
}

// The pages of one type: page0001.jpg ... in folder/<extension>, written in parallel, reused.
QStringList TypeCorpus(const QString& root, const PageKind& kind, int pages)
{
    const QDir folder(QDir(root).filePath(kind.extension));
    QDir().mkpath(folder.path());
    QStringList paths;
    for (int i = 0; i < pages; ++i)
        paths << folder.absoluteFilePath(QStringLiteral("page%1.%2").arg(i + 1, 4, 10, QLatin1Char('0')).arg(kind.extension));
    std::vector<int> missing;
    for (int i = 0; i < pages; ++i)
        if (!QFile::exists(paths[i]))
            missing.push_back(i);
    std::atomic<bool> failed = false;
    QtConcurrent::blockingMap(missing, [&](int i) {
        if (!WritePage(paths[i] + QStringLiteral(".part"), kind, i)
            || !QFile::rename(paths[i] + QStringLiteral(".part"), paths[i]))
            failed = true;
    });
    if (failed) {
        std::fprintf(stderr, "cannot write the %s pages\n", qPrintable(kind.extension));
        return {};
    }
    return paths;
}

// Hard links to the typed pages in the order of a mixed archive.
QStringList MixedCorpus(const QString& root, int pages, QStringList& types)
{
    const int perType = std::min(pages, 200);
    std::map<const PageKind*, QStringList> typed;
    for (const PageKind* kind : {&Jpg, &Png, &Tif, &Pdf}) {
        typed[kind] = TypeCorpus(root, *kind, perType);
        if (typed[kind].isEmpty())
            return {};
    }
    const QDir folder(QDir(root).filePath(QStringLiteral("mixed")));
    QDir().mkpath(folder.path());
    QStringList paths;
    for (int i = 0; i < pages; ++i) {
        const PageKind& kind = *Mix[i % std::size(Mix)];
        const QString path =
            folder.absoluteFilePath(QStringLiteral("page%1.%2").arg(i + 1, 4, 10, QLatin1Char('0')).arg(kind.extension));
        const QStringList& sources = typed[&kind];
        if (!Link(sources[i % sources.size()], path))
            return {};
        paths << path;
        types << kind.typeName;
    }
    return paths;
}

void Word(QByteArray& bytes, int value) { bytes.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF)); }
void Long(QByteArray& bytes, int value)
{
    Word(bytes, value & 0xFFFF);
    Word(bytes, (value >> 16) & 0xFFFF);
}

// A GIF whose logical screen is 16000 x 16000 pixels around a one-pixel frame: a few dozen bytes.
QByteArray GifBomb()
{
    QByteArray gif("GIF89a");
    Word(gif, 16000);
    Word(gif, 16000);
    gif.append("\x80\x00\x00", 3); // a global table of 2 colours
    gif.append("\xFF\xFF\xFF\x00\x00\x00", 6);
    gif.append(',');
    Word(gif, 0);
    Word(gif, 0);
    Word(gif, 1);
    Word(gif, 1);
    gif.append('\0').append('\x02');
    gif.append("\x02\x44\x01\x00", 4); // clear, pixel 0, end
    gif.append(';');
    return gif;
}

// An 8-bit RLE bitmap of 16000 x 16000 pixels whose data is a single end-of-bitmap code.
QByteArray RleBmpBomb()
{
    QByteArray palette;
    for (int i = 0; i < 256; ++i)
        palette.append(char(i)).append(char(i)).append(char(i)).append('\0');
    const QByteArray data = QByteArray::fromHex("0001");
    const int offset = 14 + 40 + int(palette.size());
    QByteArray bmp("BM");
    Long(bmp, offset + int(data.size()));
    Long(bmp, 0);
    Long(bmp, offset);
    Long(bmp, 40);
    Long(bmp, 16000);
    Long(bmp, 16000);
    Word(bmp, 1);
    Word(bmp, 8);
    Long(bmp, 1); // BI_RLE8
    Long(bmp, int(data.size()));
    Long(bmp, 2835);
    Long(bmp, 2835);
    Long(bmp, 256);
    Long(bmp, 0);
    return bmp + palette + data;
}

// 16 bombs: GIF, RLE bitmap and 15000 x 15000 colour TIFF (LZW of a white page) in turn.
QStringList BombCorpus(const QString& root, QStringList& types)
{
    const QDir folder(QDir(root).filePath(QStringLiteral("bombs")));
    QDir().mkpath(folder.path());
    const QString tiff = folder.absoluteFilePath(QStringLiteral("white.tiff"));
    if (!QFile::exists(tiff)) {
        QImage white(15000, 15000, QImage::Format_RGB888);
        white.fill(Qt::white);
        QImageWriter writer(tiff, "tiff");
        writer.setCompression(1);
        if (!writer.write(white))
            return {};
    }
    QStringList paths;
    for (int i = 0; i < 16; ++i) {
        const QString base = folder.absoluteFilePath(QStringLiteral("bomb%1").arg(i + 1, 2, 10, QLatin1Char('0')));
        QString path;
        if (i % 3 == 0) {
            path = base + QStringLiteral(".gif");
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(GifBomb()) < 0)
                return {};
            types << QStringLiteral("image/gif");
        } else if (i % 3 == 1) {
            path = base + QStringLiteral(".bmp");
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(RleBmpBomb()) < 0)
                return {};
            types << QStringLiteral("image/bmp");
        } else {
            path = base + QStringLiteral(".tif");
            if (!Link(tiff, path))
                return {};
            types << Tif.typeName;
        }
        paths << path;
    }
    return paths;
}

// Large scans, one page a set: each fits a machine's memory ceiling only when decoded alone or
// in a reduced form. 1200 and 600 dots per inch on A4 (210 x 297 mm), A3 (297 x 420 mm) and
// A0 (841 x 1189 mm).
constexpr QSize A4At1200(9921, 14031);
constexpr QSize A3At1200(14031, 19843);
constexpr QSize A4At600(4961, 7016);
constexpr QSize A3At600(7016, 9921);
constexpr QSize A0At600(19866, 28087);

// The pixels a large scan's file holds. Bilevel is a fax page: 1 bit, 1 for black.
enum class Pixels { Grey, Colour, Grey16, Colour48, ColourAlpha, Bilevel };

struct LargeScan
{
    const char* set;
    QSize size;
    Pixels pixels;
    const PageKind* kind;
    bool bands = false;  // written band by band with the format's library, as it is too large to hold whole
    bool passes = false; // the picture comes in passes: Adam7 PNG, progressive JPEG
};

const PageKind Bmp{"bmp", "image/bmp"};

const LargeScan LargeScans[] = {
    {"large-grey-tif", A4At1200, Pixels::Grey, &Tif},
    {"large-colour-tif", A4At1200, Pixels::Colour, &Tif},
    {"large-grey-png", A4At1200, Pixels::Grey, &Png},
    {"large-colour-png", A4At1200, Pixels::Colour, &Png},
    {"large-colour-bmp", A4At1200, Pixels::Colour, &Bmp},
    {"a4-600-colour-tif", A4At600, Pixels::Colour, &Tif},
    {"a3-600-colour-tif", A3At600, Pixels::Colour, &Tif},
    {"large-interlaced-colour-png", A4At1200, Pixels::Colour, &Png, true, true},
    {"large-interlaced-rgba-png", A4At1200, Pixels::ColourAlpha, &Png, true, true},
    {"large-grey16-png", A4At1200, Pixels::Grey16, &Png, true},
    {"large-grey16-tif", A4At1200, Pixels::Grey16, &Tif, true},
    {"large-colour48-tif", A4At1200, Pixels::Colour48, &Tif, true},
    {"a3-1200-grey-tif", A3At1200, Pixels::Grey, &Tif, true},
    {"a3-1200-colour-tif", A3At1200, Pixels::Colour, &Tif, true},
    {"a3-1200-colour48-tif", A3At1200, Pixels::Colour48, &Tif, true},
    {"a0-600-g4-tif", A0At600, Pixels::Bilevel, &Tif, true},
    {"large-progressive-jpg", A4At1200, Pixels::Colour, &Jpg, false, true},
};

int Samples(Pixels pixels)
{
    switch (pixels) {
    case Pixels::Colour:
    case Pixels::Colour48:
        return 3;
    case Pixels::ColourAlpha:
        return 4;
    default:
        return 1;
    }
}

int Bits(Pixels pixels)
{
    return pixels == Pixels::Bilevel ? 1 : pixels == Pixels::Grey16 || pixels == Pixels::Colour48 ? 16 : 8;
}

// A 16-bit sample of an 8-bit value; a ramp in its low byte keeps it within rounding of the value,
// so a reader that takes the wrong byte shows stripes instead of the page.
quint16 Wide(int value, int x)
{
    return quint16(std::clamp(value * 257 + ((x >> 3) & 0x7F) - 64, 0, 65535));
}

// Row y of the page (pixels of the band) in the pixels of the scan's file; 16-bit samples in host
// order. The translucent scan has its stamp half transparent.
void PackRow(const QRgb* pixels, int y, const LargeScan& scan, uchar* row)
{
    const int width = scan.size.width();
    auto* wide = reinterpret_cast<quint16*>(row);
    switch (scan.pixels) {
    case Pixels::Grey:
        for (int x = 0; x < width; ++x)
            row[x] = uchar(qGray(pixels[x]));
        break;
    case Pixels::Colour:
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar(qRed(pixels[x]));
            row[3 * x + 1] = uchar(qGreen(pixels[x]));
            row[3 * x + 2] = uchar(qBlue(pixels[x]));
        }
        break;
    case Pixels::ColourAlpha: {
        const QRect stamp = StampRect(scan.size);
        for (int x = 0; x < width; ++x) {
            row[4 * x] = uchar(qRed(pixels[x]));
            row[4 * x + 1] = uchar(qGreen(pixels[x]));
            row[4 * x + 2] = uchar(qBlue(pixels[x]));
            row[4 * x + 3] = stamp.contains(x, y) ? 128 : 255;
        }
        break;
    }
    case Pixels::Grey16:
        for (int x = 0; x < width; ++x)
            wide[x] = Wide(qGray(pixels[x]), x);
        break;
    case Pixels::Colour48:
        for (int x = 0; x < width; ++x) {
            wide[3 * x] = Wide(qRed(pixels[x]), x);
            wide[3 * x + 1] = Wide(qGreen(pixels[x]), x);
            wide[3 * x + 2] = Wide(qBlue(pixels[x]), x);
        }
        break;
    case Pixels::Bilevel:
        std::fill_n(row, (width + 7) / 8, 0);
        for (int x = 0; x < width; ++x)
            if (qGray(pixels[x]) < 128)
                row[x / 8] |= uchar(0x80 >> (x % 8));
        break;
    }
}

// Hands every row of the scan's page, top to bottom, to write(y, row); the page is painted a band
// at a time so that memory stays a band's whatever the page's size.
template <typename Write>
bool ForEachRow(const LargeScan& scan, Write write)
{
    constexpr int BandRows = 256;
    std::vector<uchar> row((size_t(scan.size.width()) * Samples(scan.pixels) * Bits(scan.pixels) + 7) / 8);
    for (int top = 0; top < scan.size.height(); top += BandRows) {
        const int rows = std::min(BandRows, scan.size.height() - top);
        const QImage band = ScanBand(scan.size, 7, top, rows);
        for (int i = 0; i < rows; ++i) {
            PackRow(reinterpret_cast<const QRgb*>(band.constScanLine(i)), top + i, scan, row.data());
            if (!write(top + i, row.data()))
                return false;
        }
    }
    return true;
}

// LZW strips of about 4 MB, as Qt's writer makes them for the other large scans; a fax page (G4)
// in one strip for the whole page, as scanners write it.
bool WriteTiffBands(const QString& path, const LargeScan& scan)
{
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return false;
    const bool fax = scan.pixels == Pixels::Bilevel;
    const int samples = Samples(scan.pixels);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(scan.size.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(scan.size.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, Bits(scan.pixels));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 fax ? PHOTOMETRIC_MINISWHITE : samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, fax ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
    const tmsize_t stripRows = fax ? scan.size.height() : std::max<tmsize_t>(1, (4 << 20) / TIFFScanlineSize(tiff));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(stripRows));
    const bool written =
        ForEachRow(scan, [tiff](int y, uchar* row) { return TIFFWriteScanline(tiff, row, uint32_t(y), 0) == 1; });
    TIFFClose(tiff);
    return written;
}

// libpng reports a failure by a long jump back here, past the frames of the rows (a generator
// that fails stops, so what they hold is not worth freeing).
bool WritePngRows(png_structp png, png_infop info, FILE* file, const LargeScan& scan)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    const int types[] = {PNG_COLOR_TYPE_GRAY, 0, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png, info, png_uint_32(scan.size.width()), png_uint_32(scan.size.height()), Bits(scan.pixels),
                 types[Samples(scan.pixels) - 1], scan.passes ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (Bits(scan.pixels) == 16 && QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(png);
    // Each pass takes every row of the page and keeps its own pixels of it.
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        ForEachRow(scan, [png](int, uchar* row) {
            png_write_row(png, row);
            return true;
        });
    png_write_end(png, nullptr);
    return true;
}

bool WritePngBands(const QString& path, const LargeScan& scan)
{
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool written = info && WritePngRows(png, info, file, scan);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && written;
}

bool WriteLargeScan(const QString& path, const LargeScan& scan)
{
    if (scan.bands)
        return scan.kind == &Tif ? WriteTiffBands(path, scan) : WritePngBands(path, scan);
    if (scan.kind == &Jpg)
        return WriteJpeg(path, ScanPicture(scan.size, 7, true), 85, scan.passes);
    QImage page = ScanPicture(scan.size, 7, false);
    page = page.convertToFormat(scan.pixels == Pixels::Colour ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    QImageWriter writer(path, scan.kind == &Tif ? QByteArray("tiff") : scan.kind->extension.toLatin1());
    if (scan.kind == &Tif)
        writer.setCompression(1); // LZW
    return writer.write(page);
}

QStringList LargeCorpus(const QString& root, const LargeScan& scan, QStringList& types)
{
    const QDir folder(QDir(root).filePath(QStringLiteral("large")));
    QDir().mkpath(folder.path());
    const QString path = folder.absoluteFilePath(QStringLiteral("%1.%2").arg(scan.set, scan.kind->extension));
    if (!QFile::exists(path)
        && (!WriteLargeScan(path + QStringLiteral(".part"), scan) || !QFile::rename(path + QStringLiteral(".part"), path))) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return {};
    }
    types << scan.kind->typeName;
    return {path};
}

// The pages again under names of their own (hard links page-copy2.tif, ...), so that one import
// holds every page copies times.
QStringList Copies(const QStringList& paths, int copies, QStringList& types)
{
    QStringList all = paths;
    const QStringList pageTypes = types;
    for (int copy = 2; copy <= copies; ++copy) {
        for (const QString& path : paths) {
            const QFileInfo page(path);
            const QString name = QStringLiteral("%1-copy%2.%3").arg(page.completeBaseName()).arg(copy).arg(page.suffix());
            all << page.dir().absoluteFilePath(name);
            QFile::remove(all.last()); // a link to a page written anew since
            if (!Link(path, all.last()))
                return {};
        }
        types << pageTypes;
    }
    return all;
}

QStringList MakeCorpus(const QString& root, const QString& set, int pages, QStringList& types)
{
    for (const LargeScan& scan : LargeScans)
        if (set == QLatin1String(scan.set))
            return LargeCorpus(root, scan, types);
    if (set == QLatin1String("mixed"))
        return MixedCorpus(root, pages, types);
    if (set == QLatin1String("bombs"))
        return BombCorpus(root, types);
    for (const PageKind* kind : {&Jpg, &Png, &Tif, &Pdf})
        if (kind->extension == set) {
            const QStringList paths = TypeCorpus(root, *kind, pages);
            for (int i = 0; i < paths.size(); ++i)
                types << kind->typeName;
            return paths;
        }
    std::fprintf(stderr, "unknown set %s\n", qPrintable(set));
    return {};
}

void FillList(ImportList& list, const QStringList& paths, const QStringList& types, int pagesPerItem)
{
    for (int first = 0, item = 0; first < paths.size(); first += pagesPerItem, ++item) {
        const QStringList itemPaths = paths.mid(first, pagesPerItem);
        QStringList names;
        for (const QString& path : itemPaths)
            names << QFileInfo(path).fileName();
        list.AddRow(QStringLiteral("Invoices"));
        const int row = list.LastIndex();
        list.SetCell(row, 1, QStringLiteral("Category %1").arg(item % 12));
        list.SetCell(row, 2, QStringLiteral("Supplier M\u00FCller %1").arg(item % 40));
        list.SetCell(row, 3, QStringLiteral("R-%1").arg(item));
        list.SetCell(row, 5, QStringLiteral("1,234.50"));
        list.SetCell(row, 6, QStringLiteral("EUR"));
        list.SetCellCheck(row, 7, item % 3 == 0);
        list.SetCell(row, 8, QStringLiteral("24"));
        list.SetCell(row, 10, itemPaths.join(u';'));
        list.SetCell(row, 11, QStringLiteral("2015-11-20"));
        list.SetCell(row, 12, QStringLiteral("IN"));
        list.SetCell(row, 13, names.join(u';'));
        list.SetCell(row, 14, types.mid(first, pagesPerItem).join(u';'));
    }
}

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Linux keeps a resettable high-water mark of the resident set, which getrusage reports too;
// resetting it before the run tells the run's own peak from the corpus generation's.
bool ResetHighWaterMark()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// The longest time between two chances the run gives the event loop to turn, from the start of
// the run to its end (the wait for the first preview and the final commit included).
class GapMeter
{
public:
    void Start() { mTimer.start(); mLast = 0; mLongest = 0; }
    void Turn()
    {
        const qint64 now = mTimer.nsecsElapsed();
        mLongest = std::max(mLongest, now - mLast);
        mLast = now;
    }
    double LongestMs() const { return double(mLongest) / 1e6; }

private:
    QElapsedTimer mTimer;
    qint64 mLast = 0;
    qint64 mLongest = 0;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    QStringList largeSets;
    for (const LargeScan& scan : LargeScans)
        largeSets << QLatin1String(scan.set);
    parser.addOption({QStringLiteral("set"),
                      QStringLiteral("jpg, png, tif, pdf, mixed, bombs or one large scan: %1.").arg(largeSets.join(QStringLiteral(", "))),
                      QStringLiteral("SET"), "mixed"});
    parser.addOption({QStringLiteral("pages"), QStringLiteral("Number of pages."), QStringLiteral("N"), "200"});
    parser.addOption({QStringLiteral("pages-per-item"), QStringLiteral("Pages of each item."), QStringLiteral("K"), "4"});
    parser.addOption({QStringLiteral("copies"), QStringLiteral("Times every page of the set is imported."), QStringLiteral("C"), "1"});
    parser.addOption({QStringLiteral("corpus"), QStringLiteral("Folder of page sets to reuse."), QStringLiteral("DIR")});
    parser.process(application);
    const QString set = parser.value(QStringLiteral("set"));
    const int pages = std::max(1, parser.value(QStringLiteral("pages")).toInt());
    const int pagesPerItem = std::max(1, parser.value(QStringLiteral("pages-per-item")).toInt());
    const int copies = std::max(1, parser.value(QStringLiteral("copies")).toInt());

    QTemporaryDir work;
    QString corpus = parser.value(QStringLiteral("corpus"));
    if (corpus.isEmpty())
        corpus = work.filePath(QStringLiteral("pages"));
    QDir().mkpath(corpus);
    const QString databases = work.filePath(QStringLiteral("db"));
    QDir().mkpath(databases);

    QElapsedTimer timer;
    timer.start();
    QStringList types;
    const QStringList paths = Copies(MakeCorpus(QDir(corpus).absolutePath(), set, pages, types), copies, types);
    if (paths.isEmpty())
        return 1;
    qint64 pageBytes = 0;
    for (const QString& path : paths)
        pageBytes += QFileInfo(path).size();
    std::printf("corpus %s: %lld pages, %.1f MB, ready in %.1f s\n", qPrintable(set), qlonglong(paths.size()),
                double(pageBytes) / 1e6, double(timer.elapsed()) / 1000.0);

    ScopedScriptedUI ui;
    StoredControls controls;
    ImportSession session(controls);
    session.DBPath = FolderItem(databases);
    // The database with its settings and books, written by an empty run.
    SubDBCreateNew(session, QStringLiteral("Bench"));
    if (!session.db || !session.db->IsConnected()) {
        std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(ui.services.messages.join(" / ")));
        return 1;
    }
    FillList(session.ListData, paths, types, pagesPerItem);
    ui.services.Reset();
    GapMeter gaps;
    ui.services.onYield = [&] { gaps.Turn(); };

    const bool peakReset = ResetHighWaterMark();
    gaps.Start();
    timer.restart();
    const bool committed = SubAddToDB(session);
    gaps.Turn();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const long runPeak = PeakRssKiB();
    session.db.reset();

    const qint64 databaseBytes = QFileInfo(QDir(databases).filePath(QStringLiteral("Bench.vellumixdb"))).size();
    std::printf("run: %s, %d items, %lld pages in %.2f s\n", committed ? "committed" : "FAILED",
                session.ListData.ListCount(), qlonglong(paths.size()), seconds);
    QMap<QString, int> messages;
    for (const QString& message : ui.services.messages)
        ++messages[message];
    for (auto it = messages.cbegin(); it != messages.cend(); ++it)
        std::printf("  message x%d: %s\n", it.value(), qPrintable(it.key()));
    std::printf("throughput: %.1f pages/s, %.1f MB/s of page bytes\n", paths.size() / seconds,
                double(pageBytes) / 1e6 / seconds);
    std::printf("database: %.1f MB\n", double(databaseBytes) / 1e6);
    std::printf("peak RSS: %ld MiB %s\n", runPeak / 1024,
                peakReset ? "during the run" : "for the whole process (corpus generation included)");
    std::printf("longest gap between event-loop turns: %.1f ms\n", gaps.LongestMs());
    return committed ? 0 : 1;
}
