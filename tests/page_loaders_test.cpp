#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QThread>
#include <QTransform>

#include <QColorSpace>
#include <QDir>

#include <algorithm>
#include <functional>
#include <string>

#include <tiffio.h>

#include "PageFixtures.h"
#include "PageLoaders.h"
#include "PreviewPipeline.h"
#include "Picture.h"
#include "ScriptedUIServices.h"
#include "Watchdog.h"

namespace {

// A picture with some structure in it, saved in the format the file name's suffix gives
// (or in format, when one is named).
void SavePicture(const QString& path, QSize size, const char* format = nullptr, bool transparent = false)
{
    QImage image(size, transparent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(transparent ? Qt::transparent : Qt::white);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2 + 1, size.height() / 2 + 1), Qt::darkBlue);
    painter.end();
    ASSERT_TRUE(image.save(path, format)) << path.toStdString();
}

// Qt reads GIF but does not write it. This writes a GIF whose LZW codes are all 8 bits wide: a
// clear code before every 100 pixels keeps the code table from growing, so each pixel is one byte.
void SaveGIF(const QString& path, QSize size)
{
    auto word = [](QByteArray& bytes, int value) { bytes.append(char(value & 0xFF)).append(char(value >> 8)); };
    QByteArray gif("GIF89a");
    word(gif, size.width());
    word(gif, size.height());
    gif.append("\xF6\x00\x00", 3); // a global table of 128 colours
    for (int i = 0; i < 128; ++i)
        gif.append(char(i * 2)).append(char(i * 2)).append(char(255 - i * 2));
    gif.append(',');
    word(gif, 0);
    word(gif, 0);
    word(gif, size.width());
    word(gif, size.height());
    gif.append('\0').append('\x07'); // no local table; LZW minimum code size 7
    QByteArray codes;
    const int pixels = size.width() * size.height();
    for (int i = 0; i < pixels; ++i) {
        if (i % 100 == 0)
            codes.append(char(128)); // clear
        codes.append(char((i / size.width()) % 128));
    }
    codes.append(char(129)); // end of information
    for (qsizetype start = 0; start < codes.size(); start += 255) {
        const QByteArray block = codes.mid(start, 255);
        gif.append(char(block.size())).append(block);
    }
    gif.append('\0').append(';');
    WriteBytes(path, gif);
}

// Gives a JPEG file an orientation tag (EXIF): its pixels stay stored as drawn, shown turned.
void TagOrientation(const QString& path, int orientation)
{
    QByteArray jpeg = FileContents(path);
    // APP1 "Exif", a big-endian TIFF header and one directory with the orientation entry.
    QByteArray exif = QByteArray("Exif\0\0", 6) + QByteArray::fromHex("4d4d002a00000008" "0001" "011200030000000100") +
                      char(orientation) + QByteArray::fromHex("0000" "00000000");
    const int length = int(exif.size()) + 2;
    jpeg.insert(2, QByteArray::fromHex("ffe1") + char(length >> 8) + char(length & 0xFF) + exif);
    WriteBytes(path, jpeg);
}

// A JPEG picture that carries an orientation tag.
void SaveTurnedJPEG(const QString& path, QSize size, int orientation)
{
    SavePicture(path, size, "JPEG");
    TagOrientation(path, orientation);
}

// 2000 x 1000 pixels, large enough that the JPEG decoder shrinks it for a preview: light grey
// with a red block in the top left corner and dark bars across, whose edges blur when the
// picture is scaled through too few pixels.
QImage CornerPicture()
{
    QImage image(2000, 1000, QImage::Format_RGB32);
    image.fill(QColor(230, 230, 230));
    QPainter painter(&image);
    painter.fillRect(0, 0, 300, 300, Qt::red);
    for (int i = 0; i < 20; ++i) {
        painter.fillRect(500 + i * 60, 150, 16, 700, Qt::darkGray);
        painter.fillRect(500, 300 + i * 25, 1200, 8, Qt::darkGray);
    }
    painter.end();
    return image;
}

bool IsRed(QRgb pixel)
{
    return qRed(pixel) > 180 && qGreen(pixel) < 90 && qBlue(pixel) < 90;
}

// The largest difference of one colour channel between two pictures of the same size.
int LargestDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

// The quantization tables of a JPEG file are all ones at quality 100, and only then.
bool HasQualityHundred(const QByteArray& jpeg)
{
    int tables = 0;
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF;) {
        const uchar marker = uchar(jpeg[at + 1]);
        const int length = uchar(jpeg[at + 2]) * 256 + uchar(jpeg[at + 3]);
        if (marker == 0xDA)
            break;
        if (marker == 0xDB) {
            for (qsizetype table = at + 4; table < at + 2 + length; table += 65, ++tables) {
                if (uchar(jpeg[table]) >> 4 != 0) // 8-bit tables only
                    return false;
                for (int i = 1; i <= 64; ++i)
                    if (uchar(jpeg[table + i]) != 1)
                        return false;
            }
        }
        at += 2 + length;
    }
    return tables > 0;
}

// A one-page PDF whose page has the given size in points.
void SavePDF(const QString& path, const QPageSize& pageSize)
{
    QPdfWriter writer(path);
    writer.setPageSize(pageSize);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    painter.drawText(QPointF(100, 100), QStringLiteral("Page one"));
    painter.end();
}

class PageLoadersTest : public testing::Test
{
protected:
    QString PathOf(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    ScopedScriptedUI ui;
};

TEST(FittedSizeTest, FollowsTheFitArithmetic)
{
    struct Case { QSizeF source; QSize fitted; };
    const Case cases[] = {
        {{2480, 3508}, {367, 520}}, {{1000, 500}, {380, 190}}, {{3000, 2000}, {380, 253}},
        {{100, 100}, {100, 100}},   {{760, 1040}, {380, 520}}, {{380, 520}, {380, 520}},
        // Exact sides that floating point puts a hair below the whole number.
        {{563, 100}, {380, 67}},    {{4105, 100}, {380, 9}},   {{100, 4105}, {12, 520}},
        // Sides that truncate to 0 become 1.
        {{10000, 1}, {380, 1}},     {{1, 10000}, {1, 520}},
        // A4 in points.
        {{595.276, 841.89}, {367, 520}},
        {{0, 100}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FittedSize(c.source, PreviewBox), c.fitted) << c.source.width() << " x " << c.source.height();
}

TEST_F(PageLoadersTest, PreviewIsAJPEGFittedInTheBox)
{
    struct Case { const char* name; std::function<void(const QString&)> make; QSize preview; };
    const Case cases[] = {
        {"a4.jpg", [](const QString& p) { SavePicture(p, {2480, 3508}); }, {367, 520}},
        {"wide.png", [](const QString& p) { SavePicture(p, {1000, 500}); }, {380, 190}},
        {"scan.tif", [](const QString& p) { SavePicture(p, {3000, 2000}); }, {380, 253}},
        {"small.gif", [](const QString& p) { SaveGIF(p, {100, 100}); }, {100, 100}},
        {"wide.gif", [](const QString& p) { SaveGIF(p, {600, 200}); }, {380, 126}},
        {"exact.bmp", [](const QString& p) { SavePicture(p, {760, 1040}); }, {380, 520}},
        {"odd.jpg", [](const QString& p) { SavePicture(p, {563, 1000}); }, {292, 520}},
        {"line.png", [](const QString& p) { SavePicture(p, {10000, 1}); }, {380, 1}},
        {"column.jpg", [](const QString& p) { SavePicture(p, {1, 10000}); }, {1, 520}},
        // The content decides the format, not the name.
        {"jpeg-inside.png", [](const QString& p) { SavePicture(p, {1000, 500}, "JPEG"); }, {380, 190}},
        {"a4.pdf", [](const QString& p) { SavePDF(p, QPageSize(QPageSize::A4)); }, {367, 520}},
        {"wide.pdf", [](const QString& p) {
             SavePDF(p, QPageSize(QSizeF(1000, 500), QPageSize::Point, QString(), QPageSize::ExactMatch));
         }, {380, 190}},
        // A photo taken upright with the camera on its side stands upright and fits the box so.
        {"turned.jpg", [](const QString& p) { SaveTurnedJPEG(p, {1000, 500}, 6); }, {260, 520}},
        {"turned-small.jpg", [](const QString& p) { SaveTurnedJPEG(p, {200, 100}, 8); }, {100, 200}},
        {"upside-down.jpg", [](const QString& p) { SaveTurnedJPEG(p, {1000, 500}, 3); }, {380, 190}},
        // Grey scans take a shortcut through grey pixels.
        {"grey.png", [](const QString& p) {
             QImage grey(2480, 3508, QImage::Format_Grayscale8);
             grey.fill(200);
             ASSERT_TRUE(grey.save(p));
         }, {367, 520}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = PathOf(c.name);
        c.make(path);
        const QByteArray preview = SubOpenScanPreview(path);
        ASSERT_TRUE(preview.startsWith("\xFF\xD8")) << "not a JPEG";
        const QImage decoded = QImage::fromData(preview, "JPEG");
        EXPECT_EQ(decoded.size(), c.preview);
        EXPECT_EQ(decoded.depth(), 32);
        EXPECT_TRUE(HasQualityHundred(preview));
    }
    EXPECT_TRUE(ui.services.messages.isEmpty()) << ui.services.messages.join(", ").toStdString();
}

// Gives a TIFF file an orientation tag: its pixels stay stored as drawn, shown turned.
void TagTIFFOrientation(const QString& path, int orientation)
{
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r+");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
    TIFFRewriteDirectory(tiff);
    TIFFClose(tiff);
}

// A turned page's preview stands as viewers show it, for every orientation tag of JPEG (EXIF) and
// TIFF: the same, but for JPEG's losses, as the preview of the same picture stored upright.
TEST_F(PageLoadersTest, TurnedPicturePreviewsStandAsViewersShowThem)
{
    const QImage stored = CornerPicture();
    const QPointF topLeft(0.05, 0.05), topRight(0.95, 0.05), bottomLeft(0.05, 0.95), bottomRight(0.95, 0.95);
    // How a viewer shows the stored picture: mirrored left to right or not, then turned clockwise.
    struct Case { int orientation; bool mirrored; qreal clockwise; QPointF redCorner; };
    const Case cases[] = {{1, false, 0, topLeft},    {2, true, 0, topRight},      {3, false, 180, bottomRight},
                          {4, true, 180, bottomLeft}, {5, true, 270, topLeft},      {6, false, 90, topRight},
                          {7, true, 90, bottomRight}, {8, false, 270, bottomLeft}};
    struct Format { const char* name; std::function<void(const QString&, int)> tag; };
    const Format formats[] = {{"jpg", TagOrientation}, {"tif", TagTIFFOrientation}};
    for (const Format& format : formats)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(format.name) + " " + std::to_string(c.orientation));
            const QString suffix = QStringLiteral("-%1.").arg(c.orientation) + QLatin1String(format.name);
            const QString turned = PathOf(QStringLiteral("turned") + suffix);
            const QString upright = PathOf(QStringLiteral("upright") + suffix);
            ASSERT_TRUE(stored.save(turned, nullptr, 95));
            format.tag(turned, c.orientation);
            ASSERT_TRUE(stored.mirrored(c.mirrored, false).transformed(QTransform().rotate(c.clockwise)).save(upright, nullptr, 95));

            const QImage preview = QImage::fromData(MakePreview(turned).value_or(QByteArray()), "JPEG");
            const QImage expected = QImage::fromData(MakePreview(upright).value_or(QByteArray()), "JPEG");
            ASSERT_EQ(preview.size(), expected.size());
            for (const QPointF corner : {topLeft, topRight, bottomLeft, bottomRight}) {
                const QRgb pixel = preview.pixel(int(corner.x() * preview.width()), int(corner.y() * preview.height()));
                EXPECT_EQ(IsRed(pixel), corner == c.redCorner) << corner.x() << ", " << corner.y();
            }
            EXPECT_LE(LargestDifference(preview, expected), 12);
        }
}

// A page of one colour gives a preview of that colour to its last row and column, whatever its
// format and however its size divides into the preview's.
TEST_F(PageLoadersTest, UniformPagesGiveUniformPreviews)
{
    const QColor colour(120, 140, 160);
    for (const QSize size : {QSize(2481, 3509), QSize(1001, 1003), QSize(383, 523)})
        for (const char* format : {"tif", "png", "bmp", "jpg", "ppm"}) {
            SCOPED_TRACE(std::to_string(size.width()) + " x " + std::to_string(size.height()) + " " + format);
            QImage page(size, QImage::Format_RGB32);
            page.fill(colour);
            const QString path = PathOf(QStringLiteral("uniform.") + QLatin1String(format));
            ASSERT_TRUE(page.save(path, nullptr, 100));
            const QImage preview = QImage::fromData(MakePreview(path).value_or(QByteArray()), "JPEG");
            ASSERT_EQ(preview.size(), FittedSize(size, PreviewBox));
            QImage expected(preview.size(), QImage::Format_RGB32);
            expected.fill(colour);
            EXPECT_LE(LargestDifference(preview, expected), 3);
        }
}

// A preview is made from its own page alone: not a pixel, a colour profile, a text or a
// resolution of the page made before it on the same thread shows in it.
TEST_F(PageLoadersTest, PreviewsHoldNothingOfThePageBefore)
{
    // A complete bitmap with a red quarter, then a white one of the same size whose file ends at
    // 40 % of its bytes: its lower rows are stored first, so its upper rows have no pixels.
    QImage red(2000, 3000, QImage::Format_RGB888);
    red.fill(Qt::black);
    QPainter(&red).fillRect(0, 0, 1000, 1500, Qt::red);
    ASSERT_TRUE(red.save(PathOf("red.bmp")));
    QImage white(2000, 3000, QImage::Format_RGB888);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(PathOf("white.bmp")));
    const QByteArray whole = FileContents(PathOf("white.bmp"));
    WriteBytes(PathOf("cut.bmp"), whole.left(whole.size() * 4 / 10));
    // A tagged page (colour profile, comment, 600 dpi), then an untagged one of the same size.
    QImage tagged(1000, 1400, QImage::Format_RGB32);
    tagged.fill(QColor(30, 200, 30));
    tagged.setColorSpace(QColorSpace::AdobeRgb);
    tagged.setText(QStringLiteral("Comment"), QStringLiteral("a confidential note"));
    tagged.setDotsPerMeterX(23622);
    tagged.setDotsPerMeterY(23622);
    ASSERT_TRUE(tagged.save(PathOf("tagged.png")));
    QImage plain(1000, 1400, QImage::Format_RGB32);
    plain.fill(QColor(200, 30, 30));
    ASSERT_TRUE(plain.save(PathOf("plain.png")));

    struct Case { const char* before; const char* page; };
    for (const Case c : {Case{"red.bmp", "cut.bmp"}, Case{"tagged.png", "plain.png"}}) {
        SCOPED_TRACE(c.page);
        const QByteArray alone = MakePreview(PathOf(c.page)).value_or(QByteArray());
        const QByteArray before = MakePreview(PathOf(c.before)).value_or(QByteArray());
        const QByteArray after = MakePreview(PathOf(c.page)).value_or(QByteArray());
        ASSERT_FALSE(alone.isEmpty());
        EXPECT_TRUE(after == alone);
        for (const QByteArray& preview : {before, after}) {
            EXPECT_FALSE(preview.contains("ICC_PROFILE"));
            EXPECT_FALSE(preview.contains("confidential"));
        }
        EXPECT_EQ(QImage::fromData(after, "JPEG").dotsPerMeterX(), QImage::fromData(alone, "JPEG").dotsPerMeterX());
    }
    const QImage cut = QImage::fromData(MakePreview(PathOf("cut.bmp")).value_or(QByteArray()), "JPEG");
    QImage paper(cut.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    EXPECT_LE(LargestDifference(cut, paper), 3);
}

TEST_F(PageLoadersTest, TransparencyIsLaidOnWhite)
{
    SavePicture(PathOf("clear.png"), {200, 200}, nullptr, true);
    const QImage preview = QImage::fromData(SubOpenScanPreview(PathOf("clear.png")), "JPEG");
    ASSERT_FALSE(preview.isNull());
    EXPECT_GT(qGray(preview.pixel(190, 190)), 245); // the transparent quarter
    EXPECT_LT(qGray(preview.pixel(10, 10)), 100);   // the dark blue quarter
}

TEST_F(PageLoadersTest, UndecodablePagesGiveOneMessageAndNoBytes)
{
    WriteBytes(PathOf("text.jpg"), "This is plain text, not a picture.\n");
    // A PICT file: 512 bytes of header space, then size and frame; nothing here decodes it.
    WriteBytes(PathOf("old.pict"), QByteArray(512, '\0') + QByteArray::fromHex("0100000000000a000a0011029a"));
    // A bitmap header that claims 100000 x 100000 pixels and holds no pixels.
    QByteArray huge = QByteArray::fromHex("424d" "36000000" "00000000" "36000000" "28000000" "a0860100" "a0860100"
                                          "0100" "1800" "00000000" "00000000" "130b0000" "130b0000" "00000000"
                                          "00000000");
    WriteBytes(PathOf("huge.bmp"), huge);
    // Files of a few dozen bytes that declare 16000 x 16000 pixels: a GIF with a one-pixel frame
    // and an RLE bitmap whose data ends at once. Decoded whole they would take a gigabyte each.
    WriteBytes(PathOf("bomb.gif"), QByteArray::fromHex("474946383961" "803e803e" "800000" "ffffff000000"
                                                       "2c" "00000000" "01000100" "00" "02" "02440100" "3b"));
    WriteBytes(PathOf("bomb.bmp"), QByteArray::fromHex("424d" "40000000" "00000000" "3e000000" "28000000" "803e0000"
                                                       "803e0000" "0100" "0800" "01000000" "02000000" "130b0000"
                                                       "130b0000" "02000000" "00000000" "ffffff00" "00000000" "0001"));
    WriteBytes(PathOf("empty.png"), QByteArray());
    WriteBytes(PathOf("broken.pdf"), "%PDF-1.4\nnothing else\n");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));

    const QString cases[] = {PathOf("missing.jpg"), PathOf("text.jpg"), PathOf("old.pict"), PathOf("huge.bmp"),
                             PathOf("empty.png"),   PathOf("broken.pdf"), PathOf("folder.jpg"), QString(),
                             PathOf("bomb.gif"),    PathOf("bomb.bmp"),
                             QStringLiteral("relative.jpg")};
    for (const QString& path : cases) {
        SCOPED_TRACE(path.toStdString());
        ui.services.Reset();
        EXPECT_TRUE(SubOpenScanPreview(path).isEmpty());
        EXPECT_EQ(ui.services.messages, QStringList{"Error creating preview!"});
    }
}

TEST_F(PageLoadersTest, ByteLoaderReturnsFilesUnchanged)
{
    QByteArray allBytes;
    for (int round = 0; round < 1000; ++round)
        for (int i = 0; i < 256; ++i)
            allBytes.append(char(i));
    WriteBytes(PathOf("binary.jpg"), allBytes);
    WriteBytes(PathOf("empty.pdf"), QByteArray());

    struct Case { const char* name; QByteArray bytes; };
    const Case cases[] = {{"binary.jpg", allBytes}, {"empty.pdf", QByteArray()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error = QStringLiteral("stale");
        EXPECT_EQ(SubOpenScan(PathOf(c.name), &error), c.bytes);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(SubOpenScan(PathOf(c.name)), c.bytes);
    }
    EXPECT_EQ(SubOpenScan(PathOf("binary.jpg"), nullptr, allBytes.size()), allBytes); // exactly at the limit
    EXPECT_TRUE(ui.services.messages.isEmpty());
}

TEST_F(PageLoadersTest, ByteLoaderReportsWhatItCannotRead)
{
    WriteBytes(PathOf("big.jpg"), QByteArray(11, 'x'));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    struct Case { QString path; long long limit; const char* messagePart; };
    const Case cases[] = {
        {QString(), DefaultPageByteLimit, "No page file"},
        {QStringLiteral("relative.jpg"), DefaultPageByteLimit, "relative.jpg"},
        {PathOf("missing.jpg"), DefaultPageByteLimit, "missing.jpg"},
        {PathOf("folder.jpg"), DefaultPageByteLimit, "folder.jpg"},
        {PathOf("big.jpg"), 10, "too large"},
        {QStringLiteral("/dev/zero"), DefaultPageByteLimit, "/dev/zero"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString error;
        EXPECT_TRUE(SubOpenScan(c.path, &error, c.limit).isEmpty());
        EXPECT_TRUE(error.contains(QLatin1String(c.messagePart))) << error.toStdString();
        const PageFileBytes read = ReadPageFile(c.path, c.limit);
        EXPECT_TRUE(read.Failed());
        EXPECT_EQ(read.error, error);
    }
    EXPECT_TRUE(ui.services.messages.isEmpty());
}

TEST_F(PageLoadersTest, PreviewsMadeAheadMatchTheMainThreadLoaderInOrder)
{
    const Watchdog watchdog;
    SavePicture(PathOf("a.jpg"), {1200, 1600});
    SavePicture(PathOf("b.png"), {900, 300});
    SavePDF(PathOf("c.pdf"), QPageSize(QPageSize::A4));
    SavePicture(PathOf("d.tif"), {300, 900});
    std::vector<QString> paths = {PathOf("a.jpg"), PathOf("b.png"), PathOf("missing.tif"),
                                  PathOf("c.pdf"), PathOf("a.jpg"), PathOf("d.tif")};
    // More small pages than the look-ahead starts, then a large one: under a tiny budget the pages
    // started ahead wait for room while the last page is asked for out of turn.
    for (int i = 0; i <= 8 * QThread::idealThreadCount(); ++i) {
        paths.push_back(PathOf(QStringLiteral("small%1.png").arg(i)));
        SavePicture(paths.back(), {40, 30});
    }
    SavePicture(PathOf("e.jpg"), {1200, 1600});
    paths.push_back(PathOf("e.jpg"));
    const size_t last = paths.size() - 1;
    std::vector<std::optional<QByteArray>> expected;
    for (const QString& path : paths)
        expected.push_back(MakePreview(path));

    const long long normal = PreviewPipeline::DefaultBudget();
    struct Case { const char* name; long long budget; std::vector<size_t> taken; };
    const Case cases[] = {
        {"every page in turn", normal, {0, 1, 2, 3, 4, 5}},
        {"pages passed over", normal, {0, 3, 5}},
        {"on the caller's thread", 0, {0, 1, 2, 3, 4, 5}},
        {"a page out of turn", normal, {1, 0, 2, 3, 4, 5}},
        {"every page over the budget, so each made alone", 1, {0, 1, 2, 3, 4, 5}},
        {"stopped early with pages over the budget", 1, {0}},
        {"a page past those started ahead, which wait for room", 1, {0, last}},
        {"pages out of turn while those ahead wait for room", 1, {1, 0, 2, last}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PreviewPipeline pipeline(paths, c.budget);
        for (size_t index : c.taken)
            EXPECT_EQ(pipeline.Next(paths[index]), expected[index]) << index;
    }
    EXPECT_FALSE(expected[2]);
    // The pipeline itself shows nothing: reporting is the writer's.
    EXPECT_TRUE(ui.services.messages.isEmpty());
}

// Pages are admitted to decoding while the budget has room: several at once when it is large,
// one at a time when two do not fit, and a page larger than the whole budget only alone.
TEST_F(PageLoadersTest, PreviewsMadeAheadStayWithinTheBudget)
{
    const Watchdog watchdog;
    const QString page = WritePicturePage(dir.path(), QStringLiteral("page.png"), {1000, 1400}, "PNG");
    const long long cost = PictureFitter(page, PreviewBox).DecodeBytes();
    ASSERT_GT(cost, 0);
    const std::vector<QString> paths(16, page);

    struct Case { const char* name; long long budget; bool overlaps; };
    const Case cases[] = {
        {"room for one page and a half", cost * 3 / 2, false},
        {"less than one page", cost / 2, false},
        {"the normal budget", PreviewPipeline::DefaultBudget(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.overlaps && QThread::idealThreadCount() < 2)
            continue; // one worker never decodes two pages at once
        PreviewPipeline pipeline(paths, c.budget);
        for (const QString& path : paths)
            ASSERT_TRUE(pipeline.Next(path));
        const PreviewPipeline::Peak peak = pipeline.Peaks();
        if (c.overlaps)
            EXPECT_GT(peak.decodes, 1u);
        else
            EXPECT_EQ(peak.decodes, 1u);
        EXPECT_LE(peak.bytes, std::max(c.budget, cost));
    }
}

} // namespace
