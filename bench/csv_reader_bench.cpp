// Reads a generated CSV file of 100,000 lines whose page files exist and prints the speed and
// the memory the filled list takes (in all and per row).
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

#include "CsvReader.h"
#include "FileTypeSets.h"
#include "MainControls.h"
#include "ScriptedUIServices.h"

namespace {

constexpr int Lines = 100000;
constexpr int DistinctFiles = 300;

// Resident and peak resident memory of the process, in KiB, from /proc.
long long StatusKiB(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool WriteFixture(const QString& root)
{
    const char* kinds[] = {"Invoice", "Receipt", "Warranty", "Documents", "Options"};
    for (int i = 0; i < DistinctFiles; ++i) {
        const QString folder = QStringLiteral("%1/Scans/%2").arg(root).arg(i % 10);
        QDir().mkpath(folder);
        for (const char* extension : {"pdf", "jpg"}) {
            QFile page(QStringLiteral("%1/page%2.%3").arg(folder).arg(i).arg(QLatin1String(extension)));
            if (!page.open(QIODevice::WriteOnly))
                return false;
            page.write("page");
        }
    }
    QFile csv(root + QStringLiteral("/import.csv"));
    if (!csv.open(QIODevice::WriteOnly))
        return false;
    QTextStream out(&csv);
    out << "Type,Category,Supplier,Reference,Date,Amount,Currency,Warranty,Months,Files\n";
    for (int line = 0; line < Lines; ++line) {
        const int file = line % DistinctFiles;
        out << kinds[line % 5] << ",Category " << line % 17 << ",\"Supplier, " << line % 101 << "\",REF-"
            << line << ",2016-" << (line % 12) + 1 << "-" << (line % 28) + 1 << "," << line % 5000 << ".25,"
            << (line % 3 ? "usd" : "") << "," << (line % 2 ? "yes" : "no") << "," << line % 36
            << ",Scans:" << file % 10 << ":page" << file << ".pdf; Scans:" << file % 10 << ":page" << file
            << ".jpg\n";
    }
    return out.status() == QTextStream::Ok;
}

} // namespace

int main()
{
    FileTypes1::_Initialize();
    ScanType::_Initialize();
    QTemporaryDir dir;
    if (!dir.isValid() || !WriteFixture(dir.path())) {
        std::fprintf(stderr, "cannot write the fixture\n");
        return 1;
    }

    ScopedScriptedUI ui;
    StoredControls controls;
    ImportSession session(controls);
    ui.services.chooserAnswers.push_back(FolderItem(dir.filePath(QStringLiteral("import.csv"))));

    const long long rssBefore = StatusKiB("VmRSS");
    QElapsedTimer timer;
    timer.start();
    SubCreateFromCSV(session);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const long long rssAfter = StatusKiB("VmRSS");

    std::printf("csv_reader_bench: %d lines, %d rows (%d marked), %.2f s, %.0f lines/s\n", Lines,
                session.ListData.ListCount(), [&] {
                    int marked = 0;
                    for (int row = 0; row < session.ListData.ListCount(); ++row)
                        marked += session.ListData.HasErrorMark(row) ? 1 : 0;
                    return marked;
                }(), seconds, Lines / seconds);
    std::printf("  RSS before %lld KiB, after %lld KiB (list about %lld KiB, %.0f bytes/row), peak %lld KiB, %lld yields\n",
                rssBefore, rssAfter, rssAfter - rssBefore,
                (rssAfter - rssBefore) * 1024.0 / std::max(session.ListData.ListCount(), 1), StatusKiB("VmHWM"),
                ui.services.yields);
    std::printf("  messages: %lld\n", static_cast<long long>(ui.services.messages.size()));
    return session.ListData.ListCount() == Lines ? 0 : 1;
}
