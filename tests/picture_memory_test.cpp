#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>


#include "PageFixtures.h"
#include "PageLoaders.h"
#include "Picture.h"

namespace {

// A field of the process's status in /proc, in bytes.
qint64 StatusBytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// The child's side of FitPeakBytes: the pictures named in PICTURES_TO_WARM are fitted first, so
// that each decoder's code and tables are loaded, then the high-water mark of resident memory is
// reset and PICTURE_TO_MEASURE is fitted. Prints what the peak grew by.
void MeasureFitInThisProcess()
{
    for (const QString& small : qEnvironmentVariable("PICTURES_TO_WARM").split(QLatin1Char(';'), Qt::SkipEmptyParts))
        OpenPictureFitted(small, PreviewBox);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    const bool reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    clear.close();
    const qint64 before = StatusBytes("VmRSS:");
    PictureFitter picture(qEnvironmentVariable("PICTURE_TO_MEASURE"), PreviewBox);
    const bool fitted = picture.Fit().has_value();
    std::printf("grown %lld\n", reset && fitted ? StatusBytes("VmHWM:") - before : -1LL);
}

// What fitting path for a preview adds to the resident memory at its peak, measured in a process
// of its own (this test program, running only the test below), after warm fitted each picture
// of warm; -1 when it cannot be measured.
qint64 FitPeakBytes(const QString& path, const QStringList& warm)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PICTURE_TO_MEASURE"), path);
    environment.insert(QStringLiteral("PICTURES_TO_WARM"), warm.join(QLatin1Char(';')));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=PictureMemoryTest.DISABLED_MeasureFit"),
                 QStringLiteral("--gtest_also_run_disabled_tests")});
    if (!child.waitForFinished(60000))
        return -1;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
        if (line.startsWith("grown "))
            return line.mid(6).toLongLong();
    return -1;
}

// A page of text lines, dark on light, as large as a scan.
QImage TextPage(QSize size)
{
    QImage page(size, QImage::Format_RGB32);
    page.fill(QColor(245, 242, 235));
    QPainter painter(&page);
    QFont font = painter.font();
    font.setPixelSize(size.height() / 60);
    painter.setFont(font);
    for (int line = 1; line < 50; ++line)
        painter.drawText(size.width() / 10, line * size.height() / 50, QStringLiteral("Line %1 of a page, with some words").arg(line));
    painter.fillRect(size.width() / 2, size.height() / 2, size.width() / 4, size.height() / 8, QColor(200, 40, 40));
    return page;
}

void Save(const QImage& page, const QString& path, const char* format, int quality = -1, bool progressive = false)
{
    QImageWriter writer(path, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    ASSERT_TRUE(writer.write(page)) << path.toStdString() << ": " << writer.errorString().toStdString();
}

// A GIF of a few dozen bytes whose screen, which its decoder paints, is size; one pixel is drawn.
void SaveLargeScreenGIF(const QString& path, QSize size)
{
    const auto word = [](int value) { return QByteArray(1, char(value & 0xFF)) + char(value >> 8); };
    WriteBytes(path, "GIF89a" + word(size.width()) + word(size.height()) + QByteArray::fromHex("800000ffffff000000")
                         + "," + word(0) + word(0) + word(1) + word(1) + QByteArray::fromHex("0002024401003b"));
}

} // namespace

// The memory counted for each decode (which admits pages to decoding side by side) must cover
// what the decode really takes, or pages decoded at once could pass the ceiling.
TEST(PictureMemoryTest, DecodesTakeNoMoreThanTheyCount)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QImage page = TextPage(QSize(4000, 6000));
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    Save(page, path("baseline.jpg"), "jpeg", 90);
    Save(page, path("progressive.jpg"), "jpeg", 90, true);
    Save(page.scaled(3000, 4000), path("lossless.webp"), "webp", 100);
    Save(page.scaled(3000, 4000), path("lossy.webp"), "webp", 80);
    Save(page.convertToFormat(QImage::Format_Grayscale8), path("grey.pgm"), "pgm");
    Save(page, path("colour.ppm"), "ppm");
    SaveLargeScreenGIF(path("screen.gif"), QSize(4000, 4000));
    Save(page.convertToFormat(QImage::Format_Grayscale8), path("grey.tif"), "tiff");
    Save(page.convertToFormat(QImage::Format_RGB888), path("colour.png"), "png");
    Save(page, path("colour.bmp"), "bmp");
    const QString pdf = WritePdfPage(dir.path(), QStringLiteral("letter.pdf"), QStringLiteral("A letter"));

    QStringList warm;
    for (const char* format : {"jpg", "webp", "pgm", "tif", "png", "bmp"}) {
        warm << dir.filePath(QStringLiteral("small.") + QString::fromLatin1(format));
        Save(TextPage(QSize(40, 60)), warm.back(), format);
    }
    warm << pdf;

    // What a process may add around a decode that no count can foresee: pages of code and of the
    // allocator's own bookkeeping.
    constexpr qint64 Slack = 4 << 20;
    for (const QString& file : {path("baseline.jpg"), path("progressive.jpg"), path("lossless.webp"), path("lossy.webp"),
                                path("grey.pgm"), path("colour.ppm"), path("screen.gif"), path("grey.tif"),
                                path("colour.png"), path("colour.bmp"), pdf}) {
        const qint64 counted = PictureFitter(file, PreviewBox).DecodeBytes();
        const qint64 taken = FitPeakBytes(file, warm);
        std::printf("%s: counted %.1f MiB, taken %.1f MiB\n", qPrintable(QFileInfo(file).fileName()), counted / 1048576.0,
                    taken / 1048576.0);
        EXPECT_GT(counted, 0) << file.toStdString();
        EXPECT_GE(taken, 0) << file.toStdString();
        EXPECT_LE(taken, counted + Slack) << file.toStdString();
    }
}

// Run by DecodesTakeNoMoreThanTheyCount in a process of its own.
TEST(PictureMemoryTest, DISABLED_MeasureFit)
{
    MeasureFitInThisProcess();
}
