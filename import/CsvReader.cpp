#include "CsvReader.h"

#include <exception>
#include <memory>

#include <QStringList>

#include "BookCodePrefix.h"
#include "CsvRecord.h"
#include "DateTime.h"
#include "Exceptions.h"
#include "FileTypeSets.h"
#include "FolderItem.h"
#include "Numbers.h"
#include "Text.h"
#include "TextInputStream.h"
#include "UIServices.h"

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

    void Add(const FolderItem& file)
    {
        names += file.Name();
        paths += file.AbsolutePath();
        types += file.Type();
    }
    void AddSeparator()
    {
        names += QLatin1Char(';');
        paths += QLatin1Char(';');
        types += QLatin1Char(';');
    }
};

bool Found(const FolderItem& item) { return item && item.Exists(); }

// The writer loads nothing but a regular file that it may read: anything else the line names (a
// folder, a FIFO, a device, a file of someone else) is not found, so that its row is red before
// anything is written.
bool FoundPage(const FolderItem& item) { return item && item.Status().ReadableFile(); }

// Walks the entry's ":"-separated pieces down from folder. A piece that cannot name an entry
// is passed over; but when the last piece cannot, the walk has named no file of its own and
// gives nothing, so that an empty entry or an absolute path ("/a/b.pdf" is one piece here) never
// stands for the CSV file's folder.
FolderItem WalkRelative(const FolderItem& folder, const QString& entry)
{
    if (!Found(folder))
        return {};
    FolderItem candidate = folder;
    bool lastResolved = false;
    for (const QString& piece : entry.split(QLatin1Char(':'))) {
        try {
            candidate = candidate.Child(piece);
            lastResolved = true;
        } catch (const UnsupportedFormatException&) {
            lastResolved = false;
        }
        if (!Found(candidate))
            return {};
        YieldToEventLoop();
    }
    return lastResolved ? candidate : FolderItem();
}

FolderItem LookUpPath(const QString& entry, int form)
{
    try {
        return GetFolderItem(entry, form);
    } catch (const UnsupportedFormatException&) {
        return {};
    }
}

// The file an entry names: below the CSV file's folder, else as an absolute path, else as a
// POSIX path. No reference when none of them exists.
FolderItem LookUpPageFile(const FolderItem& csvFolder, const QString& entry)
{
    FolderItem candidate = WalkRelative(csvFolder, entry);
    if (!FoundPage(candidate))
        candidate = LookUpPath(entry, 0);
    if (!FoundPage(candidate))
        candidate = LookUpPath(entry, 1);
    // The row's lists are joined by ";": a path holding one would split into two pages and
    // pair every later page with the wrong name.
    if (!FoundPage(candidate) || candidate.AbsolutePath().contains(QLatin1Char(';')))
        return {};
    return candidate;
}

PageFileLists FindPageFiles(const FolderItem& csvFolder, const QString& entries)
{
    PageFileLists lists;
    // Split once: a line may name any number of files.
    const QStringList pieces = entries.split(QLatin1Char(';'));
    const qsizetype count = pieces.size();
    for (qsizetype j = 1; j <= count; ++j) {
        const FolderItem file = LookUpPageFile(csvFolder, Trim(pieces[j - 1]));
        // A file not found adds nothing, not even a separator: a missing last file leaves a
        // trailing ";", which the writer reads as an empty last page.
        if (file) {
            lists.Add(file);
            if (j < count)
                lists.AddSeparator();
        }
        YieldToEventLoop();
    }
    return lists;
}

bool RowInError(const ImportList& list, int row)
{
    return SameText(list.Cell(row, 2), ErrorText) || SameText(list.Cell(row, 3), ErrorText)
        || SameText(list.Cell(row, 4), ErrorText) || list.Cell(row, 10).isEmpty();
}

// Appends the row of one record, unless its kind or book is unknown.
void AddRecordRow(ImportSession& session, const QString& record, const FolderItem& csvFolder)
{
    // An unknown kind (a heading line, say) gives no row.
    const QString code = BookCodeOfPrefix(Field(record, 1));
    if (code.isEmpty() || !session.Var_Book.HasKey(code))
        return;

    PageFileLists files = FindPageFiles(csvFolder, Field(record, 10));
    if (files.names.isEmpty())
        files.names = FilePathError;

    ImportList& list = session.ListData;
    list.AddRow(session.Var_Book.Value(code));
    const int row = list.LastIndex();
    list.SetCell(row, 1, Field(record, 2));
    list.SetCell(row, 2, Field(record, 3));
    list.SetCell(row, 3, Field(record, 4));
    list.SetCell(row, 4, SubDate(Field(record, 5)));
    list.SetCell(row, 5, Format(CDbl(Field(record, 6)), AmountPattern));
    list.SetCell(row, 6, Uppercase(Left(Field(record, 7), 3)));
    if (Trim(list.Cell(row, 6)).isEmpty())
        list.SetCell(row, 6, session.controls.CurrencyText());
    list.SetCellCheck(row, ImportList::CheckColumn, SubWarranty(Field(record, 8)));
    list.SetCell(row, 8, Str(Val(Field(record, 9))));
    list.SetCell(row, 9, files.names);
    list.SetCell(row, 10, files.paths);
    list.SetCell(row, 11, SubDateSQL(Field(record, 5)));
    list.SetCell(row, 12, code);
    list.SetCell(row, 13, files.names);
    list.SetCell(row, 14, files.types);
    if (list.Cell(row, 2).isEmpty())
        list.SetCell(row, 2, ErrorText);
    if (list.Cell(row, 3).isEmpty())
        list.SetCell(row, 3, ErrorText);
    if (RowInError(list, row))
        list.SetCell(row, ImportList::ErrorColumn, ErrorMark);
}

// Reads the file line by line; the first read happens even for an empty file.
void ReadRows(ImportSession& session, const FolderItem& csvFile)
{
    const FolderItem csvFolder = csvFile.Parent();
    std::unique_ptr<TextInputStream> stream = TextInputStream::Open(csvFile);
    do {
        const QString line = stream->ReadLine();
        if (const std::optional<QString> record = SplitCsvLine(line))
            AddRecordRow(session, *record, csvFolder);
        YieldToEventLoop();
    } while (!stream->EndOfFile());
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

QString SubDate(const QString& s)
{
    Date date;
    return ParseDate(s, date) ? date.ShortDate() : ErrorText;
}

QString SubDateSQL(const QString& s)
{
    Date date;
    return ParseDate(s, date) ? date.SQLDate() : QString();
}

bool SubWarranty(const QString& s)
{
    const QString lowered = Lowercase(s);
    return lowered == QLatin1String("yes") || lowered == QLatin1String("1") || lowered == QLatin1String("true");
}
