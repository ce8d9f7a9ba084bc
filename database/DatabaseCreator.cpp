#include "DatabaseCreator.h"

#include <cerrno>
#include <exception>
#include <initializer_list>

#include "DateTime.h"
#include "Exceptions.h"
#include "ImportSession.h"
#include "ItemWriter.h"
#include "SQLiteDatabase.h"
#include "Text.h"
#include "UIServices.h"

namespace {

const QString Extension = QStringLiteral(".vellumixdb");

// Pages of 64 KiB store large blobs faster; set on the new file before its first table.
const QString PageSize = QStringLiteral("PRAGMA page_size=65536");

// The schema as the host application expects it, each statement character for character.
const QString CreateItem = QStringLiteral(
    "CREATE TABLE Item (ID INTEGER PRIMARY KEY AUTOINCREMENT, Typ Text(2), SaveDate Date, Name VarChar, "
    "Info VarChar, Category VarChar, Tags VarChar, ItemDate Date, Amount Double, Currency Text(3), "
    "Warranty Boolean, WarrantyTime Integer, WRDate Date, ContractTyp Integer, ContractDate Date, "
    "ToDel Boolean, Detail VarChar, Search VarChar)");
const QString CreateScan = QStringLiteral(
    "CREATE TABLE Scan (ItemID Integer, Page Integer, Preview Blob, Image Blob, Typ VarChar, FileName VarChar)");
const QString CreateDocIndex = QStringLiteral("CREATE TABLE DocIndex (ItemID Integer, OCR VarChar)");
const QString CreateConfig = QStringLiteral("CREATE TABLE Config (Name VarChar, Value VarChar)");
const QString CreateBook = QStringLiteral(
    "CREATE TABLE Book (ID Integer,Name VarChar,Typ VarChar,Option Integer, Total Boolean, Color VarChar)");

struct DefaultBook
{
    int id;
    QString code;
    int option;
    int color;
};

const DefaultBook DefaultBooks[] = {
    {1, BookCode::Invoices, 1, 0},
    {2, BookCode::Receipts, 2, 16},
    {3, BookCode::Warranty, 0, 32},
    {4, BookCode::Documents, 1, 56},
    {5, BookCode::Options, 0, 147},
};

// Longest file name the file systems we run on accept, in bytes.
constexpr int MaxFileNameBytes = 255;

// SQLite keeps its journal beside the database under the database's name + "-journal", so a
// database's own name must leave room for it.
const QString JournalSuffix = QStringLiteral("-journal");

// Names that SQLite takes for the side files of another database: it deletes or replays such a
// file as soon as that database is opened.
const QString SideFileSuffixes[] = {JournalSuffix, QStringLiteral("-wal"), QStringLiteral("-shm")};

// The code shown after "The Database path does not exist ! Error: ", errno style: 0 when there is
// no folder reference at all, ENOENT when the folder is missing, ENOTDIR when the path names
// something that is not a folder.
int MissingFolderCode(const FolderItem& folder)
{
    if (folder.IsNull())
        return 0;
    return folder.Exists() ? ENOTDIR : ENOENT;
}

// Runs the statements one after the other and stops at the first that fails.
bool ExecuteAll(SQLiteDatabase& db, std::initializer_list<QString> statements)
{
    for (const QString& statement : statements) {
        db.SQLExecute(statement);
        if (db.Error())
            return false;
    }
    return true;
}

bool WriteConfig(SQLiteDatabase& db, const Date& creationTime)
{
    DatabaseRecord record;
    record.SetColumn(QStringLiteral("Name"), QStringLiteral("DBVersion"));
    record.SetColumn(QStringLiteral("Value"), QStringLiteral("4.0"));
    db.InsertRecord(QStringLiteral("Config"), record);
    if (db.Error())
        return false;
    record.SetColumn(QStringLiteral("Name"), QStringLiteral("DBLastChange"));
    record.SetColumn(QStringLiteral("Value"), QString::number(creationTime.TotalSeconds()));
    db.InsertRecord(QStringLiteral("Config"), record);
    if (db.Error())
        return false;
    db.Commit();
    return !db.Error();
}

bool WriteBooks(SQLiteDatabase& db, const BookTable& books)
{
    DatabaseRecord record;
    for (const DefaultBook& book : DefaultBooks) {
        record.SetIntegerColumn(QStringLiteral("ID"), book.id);
        record.SetColumn(QStringLiteral("Name"), books.Value(book.code));
        record.SetColumn(QStringLiteral("Typ"), book.code);
        record.SetIntegerColumn(QStringLiteral("Option"), book.option);
        record.SetBooleanColumn(QStringLiteral("Total"), true);
        record.SetIntegerColumn(QStringLiteral("Color"), book.color);
        db.InsertRecord(QStringLiteral("Book"), record);
        if (db.Error())
            return false;
    }
    db.Commit();
    return !db.Error();
}

// The steps of SubDBCreateNew up to its final message; every failure is shown here.
void CreateDatabase(ImportSession& session, const QString& name, const Date& creationTime)
{
    const FolderItem& folder = session.DBPath;
    if (folder.IsNull() || !folder.Directory()) {
        MsgBox(QStringLiteral("The Database path does not exist ! Error: ")
               + QString::number(MissingFolderCode(folder)));
        return;
    }

    const QString problem = DatabaseNameProblem(name);
    if (!problem.isEmpty()) {
        MsgBox(QStringLiteral("Create a new Database error: ") + problem);
        return;
    }
    const FolderItem file = folder.Child(DatabaseFileName(name));
    // A dangling link counts as taken: creating through it would write somewhere else.
    if (file.Exists() || file.IsSymbolicLink()) {
        MsgBox(QStringLiteral("Create a new Database error: this DB (") + name + QStringLiteral(") already exist!")
               + EndOfLine + QStringLiteral("Please try with a different name."));
        return;
    }

    SQLiteDatabase& db = *session.db;
    db.SetDatabaseFile(file);
    if (!db.CreateDatabaseFile()) {
        MsgBox(QStringLiteral("Create a new Database error: ") + db.ErrorMessage());
        return;
    }
    if (!ExecuteAll(db, {PageSize, CreateItem, CreateScan, CreateDocIndex, CreateConfig})
        || !WriteConfig(db, creationTime)) {
        MsgBox(QStringLiteral("Create Database error: ") + db.ErrorMessage());
        return;
    }

    // A failed book table has been reported; the items are still written, but the outcome is
    // that error, not a success.
    const bool booksWritten = SubDBCreateBook(session);
    const bool itemsWritten = SubAddToDB(session);
    if (booksWritten && itemsWritten)
        MsgBox(QStringLiteral("The new Database <") + name + QStringLiteral("> was created successfully.") + EndOfLine
               + QStringLiteral("You can now use this DB in Quorin Vellumix."));
}

} // namespace

QString DatabaseFileName(const QString& name)
{
    return InStr(name, Extension) > 0 ? name : name + Extension;
}

QString DatabaseNameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("the name is empty.");
    if (name.contains(QChar(0)))
        return QStringLiteral("the name holds a NUL character, which no file name may hold.");
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("the name \"") + name
               + QStringLiteral("\" holds a \"/\"; a database is always created in the database folder.");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("the name \"") + name + QStringLiteral("\" names a folder, not a database file.");
    const QString fileName = DatabaseFileName(name);
    for (const QString& suffix : SideFileSuffixes)
        if (fileName.endsWith(suffix, Qt::CaseInsensitive))
            return QStringLiteral("the name \"") + name + QStringLiteral("\" ends with \"") + suffix
                   + QStringLiteral("\", which names a side file of another database.");
    const int maxBytes = MaxFileNameBytes - JournalSuffix.size();
    if (fileName.toUtf8().size() > maxBytes)
        return QStringLiteral("the name is too long for a file name (at most %1 bytes with the extension \"%2\").")
            .arg(maxBytes)
            .arg(Extension);
    return {};
}

bool SubDBCreateBook(ImportSession& session)
{
    if (!session.db) {
        MsgBox(QStringLiteral("Update Database error:") + QStringLiteral("no database is open."));
        return false;
    }
    SQLiteDatabase& db = *session.db;
    if (!db.Connect() || !ExecuteAll(db, {CreateBook}) || !WriteBooks(db, session.Var_Book)) {
        MsgBox(QStringLiteral("Update Database error:") + db.ErrorMessage());
        return false;
    }
    return true;
}

void SubDBCreateNew(ImportSession& session, const QString& name)
{
    const Date creationTime;
    session.db = std::make_unique<SQLiteDatabase>();
    try {
        CreateDatabase(session, name, creationTime);
    } catch (const RuntimeException& error) {
        MsgBox(QStringLiteral("Create Database error: ") + error.Message());
    } catch (const std::exception& error) {
        MsgBox(QStringLiteral("Create Database error: ") + QString::fromLocal8Bit(error.what()));
    }
    // What a failed creation left uncommitted is dropped now rather than when the program ends,
    // so the file is not held locked against the host application meanwhile.
    if (session.db)
        session.db->Rollback();
    session.controls.SetProgressVisible(false);
}
