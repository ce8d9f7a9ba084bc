// Reads a folder tree of 100,000 empty page files (5 books x 20 categories x 50 suppliers x
// 20 files) into the import list and prints rows per second and the memory of the filled list,
// beside the time `find <root> -type f | wc -l` takes over the same tree. Given a folder, it reads
// that tree instead (to profile the reading alone, or to read a real tree).

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "FileTypeSets.h"
#include "ScriptedUIServices.h"
#include "TreeReader.h"

namespace {

constexpr int Books = 5, Categories = 20, Suppliers = 50, Files = 20;

// A /proc/self/status field in kB (VmRSS, VmHWM).
long StatusKB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<int>(qstrlen(field)) + 1).trimmed().split(' ').first().toLong();
    return -1;
}

void BuildTree(const QString& root)
{
    const char* books[Books] = {"Invoices", "Receipts", "Warranty", "Documents", "Options"};
    const char* endings[4] = {".pdf", ".jpg", ".png", ".tif"};
    for (const char* book : books)
        for (int c = 1; c <= Categories; ++c)
            for (int s = 1; s <= Suppliers; ++s) {
                const QString folder = QStringLiteral("%1/%2/Category %3/Supplier %4").arg(root).arg(book).arg(c).arg(s);
                QDir().mkpath(folder);
                for (int f = 1; f <= Files; ++f) {
                    QFile file(QStringLiteral("%1/page%2%3").arg(folder).arg(f).arg(endings[f % 4]));
                    if (!file.open(QIODevice::WriteOnly))
                        qFatal("cannot create %s", qPrintable(file.fileName()));
                }
            }
}

double FindSeconds(const QString& root, long& count)
{
    const QByteArray command = "find '" + QFile::encodeName(root) + "' -type f | wc -l";
    QElapsedTimer timer;
    timer.start();
    FILE* pipe = popen(command.constData(), "r");
    count = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%ld", &count) != 1)
            count = -1;
        pclose(pipe);
    }
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ScanType::_Initialize();
    QTemporaryDir temp;
    const bool given = argc > 1;
    const QString root = given ? QFile::decodeName(argv[1]) : temp.path() + QStringLiteral("/root");

    QElapsedTimer timer;
    timer.start();
    if (!given) {
        BuildTree(root);
        std::printf("built %d page files in %.1f s\n", Books * Categories * Suppliers * Files, timer.nsecsElapsed() / 1e9);
    }

    long found = 0;
    FindSeconds(root, found); // the same warm cache for both
    const double findSeconds = FindSeconds(root, found);

    ScopedScriptedUI ui;
    StoredControls controls;
    ImportSession session(controls);
    const long rssBefore = StatusKB("VmRSS:");
    ui.services.chooserAnswers.push_back(FolderItem(root));
    timer.restart();
    SubCreateFromTree(session);
    const double readSeconds = timer.nsecsElapsed() / 1e9;
    const long rssAfter = StatusKB("VmRSS:");
    const int rows = session.ListData.ListCount();

    std::printf("SubCreateFromTree: %d rows in %.3f s = %.0f rows/s (%lld yields, %lld messages)\n", rows, readSeconds,
                rows / readSeconds, ui.services.yields, static_cast<long long>(ui.services.messages.size()));
    std::printf("memory: RSS %ld kB before, %ld kB with the filled list (+%ld kB, %.0f bytes/row), peak RSS %ld kB\n",
                rssBefore, rssAfter, rssAfter - rssBefore, (rssAfter - rssBefore) * 1024.0 / qMax(rows, 1),
                StatusKB("VmHWM:"));
    std::printf("find -type f | wc -l: %ld files in %.3f s\n", found, findSeconds);
    return given || rows == Books * Categories * Suppliers * Files ? 0 : 1;
}
