// Throughput of the item and page writer: generates a corpus of page files (A4 scans at 300 dpi
// as JPEG, PNG and TIFF pages, PDF pages), fills an import list with several pages per item and
// runs SubAddToDB into a new database, with scripted UI services and stored controls.
//
//   import_writer_bench [--pages N] [--pages-per-item K] [--corpus DIR]
//
// --corpus reuses (or fills, when empty) a folder of page files instead of a temporary one.
// Prints pages/s, MB/s of page bytes stored, the database size and the peak resident memory.

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
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

#include "DatabaseCreator.h"
#include "ImportSession.h"
#include "ItemWriter.h"
#include "ScriptedUIServices.h"

namespace {

constexpr QSize A4At300(2480, 3508);
constexpr QSize A4At150(1240, 1754);

struct PageKind
{
    const char* extension;
    const char* typeName;
};

// The mix of the corpus, one entry per page in turn: half of the pages are 300 dpi JPEG scans.
const PageKind Mix[] = {
    {"jpg", "image/jpeg"}, {"png", "image/png"},  {"jpg", "image/jpeg"},       {"pdf", "application/pdf"},
    {"jpg", "image/jpeg"}, {"tif", "image/tiff"}, {"jpg", "image/jpeg"},       {"pdf", "application/pdf"},
    {"jpg", "image/jpeg"}, {"png", "image/png"},
};

// A page that looks like a scan: paper tone, text lines, a stamp; the seed varies the content so
// pages do not compress to the same bytes.
QImage ScanPicture(QSize size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient paper(0, 0, size.width(), size.height());
    paper.setColorAt(0, QColor(252, 250, 244));
    paper.setColorAt(1, QColor(238, 236, 228));
    painter.fillRect(image.rect(), paper);
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
    painter.drawEllipse(QRect(size.width() * 6 / 10, size.height() * 7 / 10, size.width() / 4, size.width() / 4));
    return image;
}

bool WritePage(const QString& path, const PageKind& kind, int seed)
{
    const QString extension = QString::fromLatin1(kind.extension);
    if (extension == QLatin1String("pdf")) {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        QPainter painter;
        if (!painter.begin(&writer))
            return false;
        painter.drawImage(QRect(QPoint(0, 0), A4At300 / 4), ScanPicture(A4At150 / 2, seed));
        QFont font = painter.font();
        font.setPointSize(11);
        painter.setFont(font);
        for (int line = 0; line < 40; ++line)
            painter.drawText(200, 1000 + line * 60, QStringLiteral("Contract clause %1.%2").arg(seed).arg(line));
        return painter.end();
    }
    QImageWriter writer(path, kind.extension);
    if (extension == QLatin1String("jpg"))
        writer.setQuality(85);
    if (extension == QLatin1String("tif"))
        writer.setCompression(1); // LZW, as scanners write it
    const QSize size = extension == QLatin1String("jpg") ? A4At300 : A4At150;
    return writer.write(ScanPicture(size, seed));
}

// The corpus: page files named page0001.jpg ... in the folder; existing ones are reused.
QStringList MakeCorpus(const QString& folder, int pages, QStringList& types)
{
    QStringList paths;
    for (int i = 0; i < pages; ++i) {
        const PageKind& kind = Mix[i % std::size(Mix)];
        const QString path = QDir(folder).absoluteFilePath(
            QStringLiteral("page%1.%2").arg(i + 1, 4, 10, QLatin1Char('0')).arg(QLatin1String(kind.extension)));
        if (!QFile::exists(path) && !WritePage(path, kind, i)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return {};
        }
        paths << path;
        types << QString::fromLatin1(kind.typeName);
    }
    return paths;
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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("pages"), QStringLiteral("Number of page files."), QStringLiteral("N"), "200"});
    parser.addOption({QStringLiteral("pages-per-item"), QStringLiteral("Pages of each item."), QStringLiteral("K"), "4"});
    parser.addOption({QStringLiteral("corpus"), QStringLiteral("Folder of page files to reuse."), QStringLiteral("DIR")});
    parser.process(application);
    const int pages = std::max(1, parser.value(QStringLiteral("pages")).toInt());
    const int pagesPerItem = std::max(1, parser.value(QStringLiteral("pages-per-item")).toInt());

    QTemporaryDir work;
    QString corpus = parser.value(QStringLiteral("corpus"));
    if (corpus.isEmpty()) {
        corpus = work.filePath(QStringLiteral("pages"));
        QDir().mkpath(corpus);
    }
    const QString databases = work.filePath(QStringLiteral("db"));
    QDir().mkpath(databases);

    QElapsedTimer timer;
    timer.start();
    QStringList types;
    const QStringList paths = MakeCorpus(QDir(corpus).absolutePath(), pages, types);
    if (paths.isEmpty())
        return 1;
    qint64 pageBytes = 0;
    for (const QString& path : paths)
        pageBytes += QFileInfo(path).size();
    std::printf("corpus: %d pages, %.1f MB, ready in %.1f s (peak RSS so far %ld MiB)\n", pages,
                double(pageBytes) / 1e6, double(timer.elapsed()) / 1000.0, PeakRssKiB() / 1024);

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

    const bool peakReset = ResetHighWaterMark();
    timer.restart();
    const bool committed = SubAddToDB(session);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const long runPeak = PeakRssKiB();
    session.db.reset();

    const qint64 databaseBytes = QFileInfo(QDir(databases).filePath(QStringLiteral("Bench.vellumixdb"))).size();
    std::printf("run: %s, %d items, %d pages in %.2f s\n", committed ? "committed" : "FAILED",
                session.ListData.ListCount(), pages, seconds);
    for (const QString& message : ui.services.messages)
        std::printf("  message: %s\n", qPrintable(message));
    std::printf("throughput: %.1f pages/s, %.1f MB/s of page bytes\n", pages / seconds,
                double(pageBytes) / 1e6 / seconds);
    std::printf("database: %.1f MB\n", double(databaseBytes) / 1e6);
    std::printf("peak RSS: %ld MiB %s\n", runPeak / 1024,
                peakReset ? "during the run" : "for the whole process (corpus generation included)");
    return committed ? 0 : 1;
}
