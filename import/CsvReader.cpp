#include "CsvReader.h"

#include <algorithm>
#include <array>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <QStringList>
#include <QThread>

#include "BookCodePrefix.h"
#include "CsvRecord.h"
#include "DateTime.h"
#include "Exceptions.h"
#include "FileTypeSets.h"
#include "FolderItem.h"
#include "OpenFolder.h"
#include "Numbers.h"
#include "ReadingMemo.h"
#include "Text.h"
#include "TextInputStream.h"
#include "UIServices.h"
#include "WorkAhead.h"

namespace {

const QString ErrorText = QStringLiteral("Error");
const QString FilePathError = QStringLiteral("*** Error in file path");
const QString ErrorMark = QStringLiteral("X");
const QString ColumnWidths = QStringLiteral("*,*,*,*,120,120,80,80,80,*");

// Names, paths and type names of the page files found, in parallel, joined by ";".
struct PageFileLists
{
    QString names;
    QString paths;
    QString types;

    void AddSeparator()
    {
        names += QLatin1Char(';');
        paths += QLatin1Char(';');
        types += QLatin1Char(';');
    }
};

// The writer loads nothing but a regular file that it may read: anything else the line names (a
// folder, a FIFO, a device, a file of someone else) is not found, so that its row is red before
// anything is written.
bool FoundPage(const FolderItem& item) { return item && item.Status().ReadableFile(); }

FolderItem LookUpPath(const QString& entry, int form)
{
    try {
        return GetFolderItem(entry, form);
    } catch (const UnsupportedFormatException&) {
        return {};
    }
}

// Where the ":"-pieces before a page name lead, from the CSV file's folder.
struct WalkedFolder
{
    FolderItem folder;
    int steps = 0;      // pieces that left an existing folder: the walk yields once for each
    bool found = false; // every piece led to an existing folder or was passed over
    // The folder held open, so that the system looks up only the page's own name in it; none
    // when it cannot be opened, or when enough folders are held open already.
    std::shared_ptr<const OpenFolder> opened;
};

// How many folders a run holds open at most: a list naming files in thousands of folders must
// not run out of file descriptors.
constexpr int MaxOpenFolders = 64;

// The cells of a date field: its short date (or "Error") and its SQL date (or empty).
DateCells DateCellsOf(const QString& s)
{
    Date date;
    if (!ParseDate(s, date))
        return {ErrorText, QString()};
    return {date.ShortDate(), date.SQLDate()};
}

// What a worker thread makes of one line, ahead of its row.
struct LineReading
{
    qsizetype yields = 0;              // the turns of the event loop the line takes before its row
    QString code;                      // the book code; empty when the line gives no row
    std::array<QString, 9> fields;     // fields 1 to 9 (at 0 to 8) as CsvFields reads them
    PageFileLists files;
    std::exception_ptr error;          // thrown where the line's row would be added

    const QString& Field(int n) const { return fields[static_cast<size_t>(n - 1)]; }
};

// What a worker remembers while it reads one batch of lines, so that it asks what the run shares
// (under its lock) once per folder, and the type registry once per ending.
struct BatchMemo
{
    ReadingMemo<QString, WalkedFolder> folders;
    PageTypeNames types;
};

// Lines handed to a worker at once: enough to make starting the work cheap beside it.
constexpr size_t BatchLines = 32;

// One reading run. The folders that relative entries walk through are resolved once per run, each
// page file is then looked at with one system call, and the cells that many lines repeat are made
// once and shared by their rows.
class CsvRun
{
public:
    CsvRun(ImportSession& session, const FolderItem& csvFile) : mSession(session), mCsvFolder(csvFile.Parent()) {}

    // Worker thread: everything about the lines that does not touch the list or the window.
    std::vector<LineReading> ReadLines(const std::vector<QString>& lines)
    {
        BatchMemo memo;
        std::vector<LineReading> readings(lines.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            try {
                ReadLine(lines[i], memo, readings[i]);
            } catch (...) {
                readings[i].error = std::current_exception();
            }
        }
        return readings;
    }

    // Adds the rows of lines read ahead, in order, turning the event loop as often as reading
    // them here would.
    void AddRows(const std::vector<LineReading>& readings)
    {
        for (const LineReading& line : readings) {
            if (line.error)
                std::rethrow_exception(line.error);
            for (qsizetype i = 0; i < line.yields; ++i)
                YieldToEventLoop();
            if (!line.code.isEmpty())
                AddRecordRow(line);
            YieldToEventLoop();
        }
    }

private:
    void ReadLine(const QString& line, BatchMemo& memo, LineReading& reading)
    {
        const std::optional<QString> record = SplitCsvLine(line, reading.yields);
        if (!record)
            return;
        const CsvFields field(*record);
        // An unknown kind (a heading line, say) gives no row.
        const QString code = BookCodeOfPrefix(field(1));
        if (code.isEmpty() || !mSession.Var_Book.HasKey(code))
            return;
        for (int n = 1; n <= 9; ++n)
            reading.fields[static_cast<size_t>(n - 1)] = field(n);
        reading.files = FindPageFiles(field(10), memo, reading.yields);
        reading.code = code;
    }

    void AddRecordRow(const LineReading& line)
    {
        const QString& code = line.code;
        const PageFileLists& files = line.files;
        const QString& dateField = line.Field(5);
        const DateCells dates = mDates.Get(dateField, [&dateField] { return DateCellsOf(dateField); });

        ImportList& list = mSession.ListData;
        list.AddRow(mSession.Var_Book.Value(code));
        const int row = list.LastIndex();
        list.SetCell(row, 1, Shared(line.Field(2)));
        list.SetCell(row, 2, Shared(line.Field(3)));
        list.SetCell(row, 3, line.Field(4));
        list.SetCell(row, 4, dates.shortDate);
        const QString& amount = line.Field(6);
        list.SetCell(row, 5, mAmounts.Get(amount, [&amount] { return Format(CDbl(amount), AmountPattern); }));
        const QString& currency = line.Field(7);
        list.SetCell(row, 6, mCurrencies.Get(currency, [&currency] { return Uppercase(Left(currency, 3)); }));
        if (Trim(list.Cell(row, 6)).isEmpty())
            list.SetCell(row, 6, mSession.controls.CurrencyText());
        list.SetCellCheck(row, ImportList::CheckColumn, SubWarranty(line.Field(8)));
        const QString& months = line.Field(9);
        list.SetCell(row, 8, mMonths.Get(months, [&months] { return Str(Val(months)); }));
        const QString& names = files.names.isEmpty() ? FilePathError : files.names;
        list.SetCell(row, 9, names);
        list.SetCell(row, 10, files.paths);
        list.SetCell(row, 11, dates.sqlDate);
        list.SetCell(row, 12, code);
        list.SetCell(row, 13, names);
        list.SetCell(row, 14, Shared(files.types));
        if (list.Cell(row, 2).isEmpty())
            list.SetCell(row, 2, ErrorText);
        if (list.Cell(row, 3).isEmpty())
            list.SetCell(row, 3, ErrorText);
        if (RowInError(list, row))
            list.SetCell(row, ImportList::ErrorColumn, ErrorMark);
    }

    static bool RowInError(const ImportList& list, int row)
    {
        return SameText(list.Cell(row, 2), ErrorText) || SameText(list.Cell(row, 3), ErrorText)
            || SameText(list.Cell(row, 4), ErrorText) || list.Cell(row, 10).isEmpty();
    }

    QString Shared(const QString& text) { return mTexts.Get(text, [&text] { return text; }); }

    // Worker thread; yields: the turns of the event loop the lookups take.
    PageFileLists FindPageFiles(const QString& entries, BatchMemo& memo, qsizetype& yields)
    {
        PageFileLists lists;
        // Split once: a line may name any number of files.
        const QStringList pieces = entries.split(QLatin1Char(';'));
        const qsizetype count = pieces.size();
        for (qsizetype j = 1; j <= count; ++j) {
            const FolderItem file = LookUpPageFile(Trim(pieces[j - 1]), memo, yields);
            // A file not found adds nothing, not even a separator: a missing last file leaves a
            // trailing ";", which the writer reads as an empty last page.
            if (file) {
                const QString name = file.Name();
                lists.names += name;
                lists.paths += file.AbsolutePath();
                lists.types += memo.types.Of(name);
                if (j < count)
                    lists.AddSeparator();
            }
            ++yields;
        }
        // The list keeps them for every row: no room to grow.
        lists.names.squeeze();
        lists.paths.squeeze();
        return lists;
    }

    // The file an entry names: below the CSV file's folder, else as an absolute path, else as a
    // POSIX path. No reference when none of them is a page the writer can load.
    FolderItem LookUpPageFile(const QString& entry, BatchMemo& memo, qsizetype& yields)
    {
        FolderItem page = WalkRelative(entry, memo, yields);
        if (!page) {
            const FolderItem absolute = LookUpPath(entry, 0);
            const FolderItem posix = LookUpPath(entry, 1);
            // Where both forms are one path, it is looked at once.
            if (FoundPage(absolute))
                page = absolute;
            else if (!(posix == absolute) && FoundPage(posix))
                page = posix;
        }
        // The row's lists are joined by ";": a path holding one would split into two pages and
        // pair every later page with the wrong name.
        if (!page || page.AbsolutePath().contains(QLatin1Char(';')))
            return {};
        return page;
    }

    // Walks the entry's ":"-separated pieces down from the CSV file's folder, yielding after each
    // piece that leaves an existing entry. A piece that cannot name an entry is passed over; but
    // when the last piece cannot, the walk has named no file of its own and gives nothing, so that
    // an empty entry or an absolute path ("/a/b.pdf" is one piece here) never stands for the CSV
    // file's folder.
    FolderItem WalkRelative(const QString& entry, BatchMemo& memo, qsizetype& yields)
    {
        const qsizetype lastColon = entry.lastIndexOf(QLatin1Char(':'));
        const QString pieces = entry.left(lastColon + 1);
        const WalkedFolder walked = memo.folders.Get(pieces, [this, &pieces] { return FolderOf(pieces); });
        yields += walked.steps;
        if (!walked.found)
            return {};
        FolderItem candidate;
        try {
            candidate = walked.folder.Child(entry.mid(lastColon + 1));
        } catch (const UnsupportedFormatException&) {
            ++yields; // passed over: the walk stands on the folder, which exists
            return {};
        }
        const FileStatus status = walked.opened ? walked.opened->StatusOf(candidate.Name()) : candidate.Status();
        if (!status.exists)
            return {};
        ++yields;
        return status.ReadableFile() ? candidate : FolderItem();
    }

    // The folder that pieces ("Scans:2015:", each piece followed by its ":") lead to, resolved
    // once per run: each folder is looked at once, however many lines name files in it. The
    // workers share what is resolved.
    WalkedFolder FolderOf(const QString& pieces)
    {
        const std::lock_guard lock(mFoldersLock);
        return Walk(pieces);
    }

    WalkedFolder Walk(const QString& pieces)
    {
        const auto known = mFolders.constFind(pieces);
        if (known != mFolders.constEnd())
            return *known;
        WalkedFolder walked;
        if (pieces.isEmpty()) {
            walked = {mCsvFolder, 0, mCsvFolder && mCsvFolder.Status().exists};
        } else {
            const qsizetype colon = pieces.size() >= 2 ? pieces.lastIndexOf(QLatin1Char(':'), pieces.size() - 2) : -1;
            walked = Walk(pieces.left(colon + 1));
            if (walked.found)
                walked = Step(walked, pieces.mid(colon + 1, pieces.size() - colon - 2));
        }
        if (walked.found && !walked.opened)
            walked.opened = Open(walked.folder);
        mFolders.insert(pieces, walked);
        return walked;
    }

    std::shared_ptr<const OpenFolder> Open(const FolderItem& folder)
    {
        if (mOpenFolders >= MaxOpenFolders)
            return {};
        try {
            auto opened = std::make_shared<const OpenFolder>(OpenFolder::Open(folder));
            ++mOpenFolders;
            return opened;
        } catch (const RuntimeException&) { // looked up by its path instead
            return {};
        }
    }

    static WalkedFolder Step(const WalkedFolder& from, const QString& piece)
    {
        try {
            const FolderItem child = from.folder.Child(piece);
            const bool exists = child.Status().exists;
            return {child, from.steps + (exists ? 1 : 0), exists};
        } catch (const UnsupportedFormatException&) {
            return {from.folder, from.steps + 1, true, from.opened};
        }
    }

    ImportSession& mSession;
    const FolderItem mCsvFolder;
    std::mutex mFoldersLock; // guards mFolders and mOpenFolders
    QHash<QString, WalkedFolder> mFolders;
    int mOpenFolders = 0;
    ReadingMemo<QString, DateCells> mDates;
    ReadingMemo<QString, QString> mAmounts;
    ReadingMemo<QString, QString> mCurrencies;
    ReadingMemo<QString, QString> mMonths;
    ReadingMemo<QString, QString> mTexts;
};

// Batches of lines read ahead at most per worker thread: enough to keep every worker busy.
constexpr size_t BatchesAheadPerThread = 2;

// Reads the file line by line; the first read happens even for an empty file. The lines are read
// ahead in batches on worker threads and their rows added here in order.
void ReadRows(ImportSession& session, const FolderItem& csvFile)
{
    CsvRun run(session, csvFile);
    WorkAhead<std::vector<LineReading>> readings;
    const size_t ahead = BatchesAheadPerThread * static_cast<size_t>(std::max(1, QThread::idealThreadCount()));
    std::vector<QString> batch;
    std::unique_ptr<TextInputStream> stream = TextInputStream::Open(csvFile);
    std::exception_ptr readError;
    bool atEnd = false;
    do {
        try {
            batch.push_back(stream->ReadLine());
            atEnd = stream->EndOfFile();
        } catch (...) { // the lines read before the error still give their rows first
            readError = std::current_exception();
        }
        const bool last = atEnd || readError;
        if (batch.size() == BatchLines || (last && !batch.empty()))
            readings.Start([&run, lines = std::exchange(batch, {})] { return run.ReadLines(lines); });
        while (readings.Running() > (last ? 0 : ahead))
            run.AddRows(readings.Take());
    } while (!atEnd && !readError);
    if (readError)
        std::rethrow_exception(readError);
    stream->Close();
}

// One message: what failed, then why. The platform's reasons mostly name the file already
// ("The file "..." cannot be opened: ..."), so the file is named in the first line only when the
// reason does not name it.
QString ReadErrorText(const FolderItem& csvFile, const QString& reason)
{
    if (!csvFile || reason.contains(csvFile.AbsolutePath()))
        return QStringLiteral("The CSV file could not be read.") + EndOfLine + reason;
    return QStringLiteral("The CSV file \"%1\" could not be read.").arg(csvFile.AbsolutePath()) + EndOfLine + reason;
}

// Shown through the installed services only: the report itself must not throw.
void ShowReadError(const FolderItem& csvFile, const QString& reason)
{
    if (UIServices* ui = InstalledUIServices()) {
        try {
            ui->MsgBox(ReadErrorText(csvFile, reason));
        } catch (...) { // nothing left to report it with
        }
    }
}

} // namespace

void SubCreateFromCSV(ImportSession& session)
{
    FolderItem csvFile;
    // A file that cannot be read must not end the program's event handling: one message, and
    // the rows read so far stay.
    try {
        session.controls.SetStatusText(QString());
        session.ListData.DeleteAllRows();
        csvFile = UI().GetOpenFolderItem(FileTypes1::All());
        const FileStatus status = csvFile.Status();
        if (status.exists) {
            // A FIFO or a device would block the read or never end it.
            if (!status.directory && !status.regular)
                throw IOException(QStringLiteral("The file \"%1\" cannot be opened: it is not a regular file")
                                      .arg(csvFile.AbsolutePath()));
            ReadRows(session, csvFile);
        }
    } catch (const RuntimeException& error) {
        ShowReadError(csvFile, error.Message());
    } catch (const std::exception& error) {
        ShowReadError(csvFile, QString::fromLocal8Bit(error.what()));
    } catch (...) { // whatever it was, it must not reach the event loop
        ShowReadError(csvFile, QStringLiteral("An unexpected error occurred."));
    }
    session.ListData.SetColumnWidths(ColumnWidths);
}

QString SubDate(const QString& s) { return DateCellsOf(s).shortDate; }

QString SubDateSQL(const QString& s) { return DateCellsOf(s).sqlDate; }

bool SubWarranty(const QString& s)
{
    const QString lowered = Lowercase(s);
    return lowered == QLatin1String("yes") || lowered == QLatin1String("1") || lowered == QLatin1String("true");
}
