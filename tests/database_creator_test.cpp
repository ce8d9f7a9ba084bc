#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sqlite3.h>

#include "DatabaseCreator.h"
#include "DateTime.h"
#include "ImportSession.h"
#include "PageFixtures.h"
#include "RawSqlite.h"
#include "ScriptedUIServices.h"
#include "Text.h"

namespace {

const char* const Schema[] = {
    "CREATE TABLE Item (ID INTEGER PRIMARY KEY AUTOINCREMENT, Typ Text(2), SaveDate Date, Name VarChar, "
    "Info VarChar, Category VarChar, Tags VarChar, ItemDate Date, Amount Double, Currency Text(3), "
    "Warranty Boolean, WarrantyTime Integer, WRDate Date, ContractTyp Integer, ContractDate Date, "
    "ToDel Boolean, Detail VarChar, Search VarChar)",
    "CREATE TABLE Scan (ItemID Integer, Page Integer, Preview Blob, Image Blob, Typ VarChar, FileName VarChar)",
    "CREATE TABLE DocIndex (ItemID Integer, OCR VarChar)",
    "CREATE TABLE Config (Name VarChar, Value VarChar)",
    "CREATE TABLE Book (ID Integer,Name VarChar,Typ VarChar,Option Integer, Total Boolean, Color VarChar)",
};

QString Success(const QString& name)
{
    return QStringLiteral("The new Database <") + name + QStringLiteral("> was created successfully.") + EndOfLine
           + QStringLiteral("You can now use this DB in Quorin Vellumix.");
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class DatabaseCreatorTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        session.DBPath = FolderItem(folder.path());
        controls.progressVisible = true;
    }

    QString PathOf(const QString& fileName) const { return folder.filePath(fileName); }
    const QStringList& Messages() const { return ui.services.messages; }

    QTemporaryDir folder;
    ScopedScriptedUI ui;
    StoredControls controls;
    ImportSession session{controls};
};

TEST_F(DatabaseCreatorTest, NewFileHoldsTheSchemaSettingsAndBooks)
{
    session.Var_Book.SetValue(QStringLiteral("IN"), QStringLiteral("Rechnungen"));
    session.Var_Book.SetValue(QStringLiteral("US"), QString());
    const long long before = Date().TotalSeconds();
    SubDBCreateNew(session, QStringLiteral("Archive2016"));
    const long long after = Date().TotalSeconds();

    EXPECT_EQ(Messages(), QStringList{Success(QStringLiteral("Archive2016"))});
    EXPECT_FALSE(controls.progressVisible);
    ASSERT_TRUE(session.db && session.db->IsConnected());
    session.db.reset();
    const QString file = PathOf(QStringLiteral("Archive2016.vellumixdb"));

    // sqlite_sequence is the engine's own bookkeeping for AUTOINCREMENT.
    const auto master =
        RawQuery(file, "SELECT type, name, sql FROM sqlite_master WHERE name <> 'sqlite_sequence' ORDER BY rowid");
    ASSERT_EQ(master.size(), std::size(Schema));
    for (size_t i = 0; i < master.size(); ++i) {
        EXPECT_EQ(master[i][0].Text(), QStringLiteral("table"));
        EXPECT_EQ(master[i][2].Text(), QString::fromLatin1(Schema[i]));
    }

    const auto config = RawQuery(file, "SELECT Name, Value, typeof(Value) FROM Config ORDER BY rowid");
    ASSERT_EQ(config.size(), 2u);
    EXPECT_EQ(config[0][0].Text(), QStringLiteral("DBVersion"));
    EXPECT_EQ(config[0][1].Text(), QStringLiteral("4.0"));
    EXPECT_EQ(config[1][0].Text(), QStringLiteral("DBLastChange"));
    const QString seconds = config[1][1].Text();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]+$")).match(seconds).hasMatch()) << seconds.toStdString();
    EXPECT_GE(seconds.toLongLong(), before);
    EXPECT_LE(seconds.toLongLong(), after);
    EXPECT_EQ(config[1][2].Text(), QStringLiteral("text"));

    const QStringList books = RawQueryTexts(file,
                                            "SELECT ID, typeof(ID), Name, Typ, Option, typeof(Option), Total, "
                                            "typeof(Total), Color, typeof(Color) FROM Book ORDER BY rowid");
    const QStringList expected = {
        "1|integer|Rechnungen|IN|1|integer|1|integer|0|text", "2|integer|Receipts|RE|2|integer|1|integer|16|text",
        "3|integer|Warranty|WA|0|integer|1|integer|32|text",  "4|integer|Documents|DO|1|integer|1|integer|56|text",
        "5|integer||US|0|integer|1|integer|147|text",
    };
    EXPECT_EQ(books, expected);
    EXPECT_TRUE(RawQuery(file, "SELECT * FROM Item").empty());
    EXPECT_TRUE(RawQuery(file, "SELECT * FROM DocIndex").empty());
    // Large page files are stored in 64 KiB pages.
    EXPECT_EQ(RawQueryTexts(file, "PRAGMA page_size"), QStringList{"65536"});
}

TEST_F(DatabaseCreatorTest, FileNameGetsTheExtensionOnlyWhenTheNameLacksIt)
{
    const struct
    {
        const char* name;
        const char* file;
    } cases[] = {
        {"Archive2016", "Archive2016.vellumixdb"},
        {"Archive2016.vellumixdb", "Archive2016.vellumixdb"},
        {"Archive2016.VellumixDB", "Archive2016.VellumixDB"},
        {"x.vellumixdb.bak", "x.vellumixdb.bak"},
        {"Factures \u00E9t\u00E9 2016", "Factures \u00E9t\u00E9 2016.vellumixdb"},
    };
    for (const auto& c : cases) {
        QTemporaryDir own;
        session.DBPath = FolderItem(own.path());
        ui.services.Reset();
        const QString name = QString::fromUtf8(c.name);
        SubDBCreateNew(session, name);
        EXPECT_EQ(Messages(), QStringList{Success(name)}) << c.name;
        EXPECT_EQ(Entries(own.path()), QStringList{QString::fromUtf8(c.file)}) << c.name;
    }
}

TEST_F(DatabaseCreatorTest, SecondCreationWithTheSameNameLeavesTheFileUntouched)
{
    SubDBCreateNew(session, QStringLiteral("Archive2016"));
    session.db.reset();
    const QString file = PathOf(QStringLiteral("Archive2016.vellumixdb"));
    const QByteArray original = FileContents(file);
    ui.services.Reset();
    controls.progressVisible = true;

    for (const char* name : {"Archive2016", "Archive2016.vellumixdb"}) {
        ui.services.Reset();
        SubDBCreateNew(session, QString::fromLatin1(name));
        const QString expected = QStringLiteral("Create a new Database error: this DB (") + QString::fromLatin1(name)
                                 + QStringLiteral(") already exist!") + EndOfLine
                                 + QStringLiteral("Please try with a different name.");
        EXPECT_EQ(Messages(), QStringList{expected}) << name;
        EXPECT_FALSE(controls.progressVisible);
        ASSERT_TRUE(session.db);
        EXPECT_FALSE(session.db->IsConnected());
    }
    EXPECT_EQ(FileContents(file), original);
}

TEST_F(DatabaseCreatorTest, MissingDatabaseFolderIsReportedWithACode)
{
    const QString plainFile = WriteBytes(folder.path(), QStringLiteral("not-a-folder"), "x");
    const struct
    {
        FolderItem path;
        const char* code; // 0: no folder reference; else errno style
    } cases[] = {
        {FolderItem(), "0"},
        {FolderItem(PathOf(QStringLiteral("missing"))), "2"},
        {FolderItem(plainFile), "20"},
    };
    for (const auto& c : cases) {
        ui.services.Reset();
        controls.progressVisible = true;
        session.DBPath = c.path;
        session.db.reset();
        SubDBCreateNew(session, QStringLiteral("Archive2016"));
        EXPECT_EQ(Messages(), QStringList{QStringLiteral("The Database path does not exist ! Error: ") + c.code});
        EXPECT_FALSE(controls.progressVisible);
        ASSERT_TRUE(session.db) << "a new database object replaces the old one";
        EXPECT_FALSE(session.db->IsConnected());
    }
    EXPECT_EQ(Entries(folder.path()), QStringList{QStringLiteral("not-a-folder")});
}

// Names that no file in the database folder can have, or that would reach outside it.
TEST_F(DatabaseCreatorTest, UnusableNamesCreateNothing)
{
    QDir(folder.path()).mkdir(QStringLiteral("sub"));
    const QString names[] = {
        QStringLiteral("../escape"),
        QStringLiteral("sub/inner"),
        QStringLiteral("/tmp/absolute"),
        QStringLiteral("."),
        QStringLiteral(".."),
        QStringLiteral("nul") + QChar(0) + QStringLiteral("inside"),
        QString(300, QLatin1Char('n')),
        QString(237, QLatin1Char('n')), // no room left for the journal's name
        QStringLiteral("Archive.vellumixdb-journal"), // names SQLite gives the side files of a database
        QStringLiteral("Archive.VellumixDB-WAL"),
        QStringLiteral("x.vellumixdb-Shm"),
    };
    for (const QString& name : names) {
        ui.services.Reset();
        controls.progressVisible = true;
        SubDBCreateNew(session, name);
        ASSERT_EQ(Messages().size(), 1);
        EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("Create a new Database error: ")));
        EXPECT_GT(Messages()[0].size(), QStringLiteral("Create a new Database error: ").size() + 10);
        EXPECT_FALSE(controls.progressVisible);
    }
    EXPECT_EQ(Entries(folder.path()), QStringList{QStringLiteral("sub")});
    EXPECT_TRUE(QDir(folder.filePath("sub")).isEmpty());
    EXPECT_FALSE(QFile::exists(QDir(folder.path()).absoluteFilePath("../escape.vellumixdb")));
}

TEST_F(DatabaseCreatorTest, DanglingLinkCountsAsAnExistingFile)
{
    // Creating through the link would write a file somewhere else.
    ASSERT_TRUE(QFile::link(PathOf(QStringLiteral("nowhere/target")), PathOf(QStringLiteral("Linked.vellumixdb"))));
    SubDBCreateNew(session, QStringLiteral("Linked"));
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("Create a new Database error: this DB (Linked) already exist!")
                                      + EndOfLine + QStringLiteral("Please try with a different name.")});
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("nowhere"))));
}

// No new file descriptor can be opened while it lives (RLIMIT_NOFILE at the lowest free one).
class NoMoreFiles
{
public:
    NoMoreFiles()
    {
        getrlimit(RLIMIT_NOFILE, &mOld);
        const int lowestFree = ::open("/dev/null", O_RDONLY);
        ::close(lowestFree);
        rlimit limit = mOld;
        limit.rlim_cur = rlim_t(lowestFree);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    ~NoMoreFiles() { setrlimit(RLIMIT_NOFILE, &mOld); }

private:
    rlimit mOld{};
};

TEST_F(DatabaseCreatorTest, FileThatCannotBeCreatedIsReported)
{
    {
        NoMoreFiles noFiles;
        SubDBCreateNew(session, QStringLiteral("Blocked"));
    }
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("Create a new Database error: "))) << Messages()[0].toStdString();
    EXPECT_FALSE(Messages()[0].contains(QStringLiteral("already exist")));
    EXPECT_FALSE(controls.progressVisible);
    EXPECT_TRUE(Entries(folder.path()).isEmpty());
}

// Writes beyond a tiny size fail while it lives (RLIMIT_FSIZE); SIGXFSZ is ignored meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &mOld);
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = mOld;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mOldHandler);
    }

private:
    rlimit mOld{};
    void (*mOldHandler)(int) = nullptr;
};

TEST_F(DatabaseCreatorTest, SchemaThatCannotBeWrittenIsReportedNotCelebrated)
{
    {
        FileSizeLimit limit(0);
        SubDBCreateNew(session, QStringLiteral("Full"));
    }
    ASSERT_EQ(Messages().size(), 1) << Messages().join(" / ").toStdString();
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("Create Database error: "))) << Messages()[0].toStdString();
    EXPECT_GT(Messages()[0].size(), QStringLiteral("Create Database error: ").size());
    EXPECT_FALSE(controls.progressVisible);
}

TEST_F(DatabaseCreatorTest, BookTableFailuresAreReportedAndReturned)
{
    // Connect fails: the object names a file that does not exist.
    session.db = std::make_unique<SQLiteDatabase>();
    session.db->SetDatabaseFile(FolderItem(PathOf(QStringLiteral("absent.vellumixdb"))));
    EXPECT_FALSE(SubDBCreateBook(session));
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("Update Database error:")));
    EXPECT_GT(Messages()[0].size(), QStringLiteral("Update Database error:").size());
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("absent.vellumixdb"))));

    // The Book statement fails: the table is there already.
    SubDBCreateNew(session, QStringLiteral("Twice"));
    ui.services.Reset();
    EXPECT_FALSE(SubDBCreateBook(session));
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0], QStringLiteral("Update Database error:table Book already exists"));
    session.db.reset();
    EXPECT_EQ(RawQuery(PathOf(QStringLiteral("Twice.vellumixdb")), "SELECT ID FROM Book").size(), 5u);
}

// While it lives, every new SQLite connection refuses one action on one table ("not authorized"),
// so a single step of the creation fails while the others run as usual.
class RefusedAction
{
public:
    RefusedAction(int action, const char* table)
    {
        sAction = action;
        sTable = table;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&Install));
    }
    ~RefusedAction() { sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&Install)); }

private:
    static int Install(sqlite3* db, char**, const void*)
    {
        sqlite3_set_authorizer(db, &Authorize, nullptr);
        return SQLITE_OK;
    }
    static int Authorize(void*, int action, const char* first, const char*, const char*, const char*)
    {
        return action == sAction && first && qstricmp(first, sTable) == 0 ? SQLITE_DENY : SQLITE_OK;
    }
    static inline int sAction = 0;
    static inline const char* sTable = nullptr;
};

// Rows of a table, or -1 when the file has no such table.
int RowCount(const QString& file, const QString& table)
{
    const QString exists = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '%1'");
    if (RawQuery(file, exists.arg(table))[0][0].Text() == QLatin1String("0"))
        return -1;
    return RawQuery(file, QStringLiteral("SELECT count(*) FROM ") + table)[0][0].Text().toInt();
}

// A failed step is reported once and no success follows it; a failure in the books does not stop
// the items from being written and committed.
// Takes and drops a write lock on the file through a connection of its own.
bool OtherProgramCanWrite(const QString& path)
{
    sqlite3* other = nullptr;
    const bool opened = sqlite3_open_v2(path.toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    const bool locked = opened && sqlite3_exec(other, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(other);
    return locked;
}

TEST_F(DatabaseCreatorTest, FailedStepsAreReportedAndTheRestGoesOn)
{
    const QString page = WritePicturePage(folder.path(), QStringLiteral("page.png"), QSize(40, 60), "PNG");
    session.ListData.AddRow(QStringLiteral("Invoices"));
    const int row = session.ListData.LastIndex();
    session.ListData.SetCell(row, 10, page);
    session.ListData.SetCell(row, 11, QStringLiteral("2015-11-20"));
    session.ListData.SetCell(row, 12, QStringLiteral("IN"));
    session.ListData.SetCell(row, 13, QStringLiteral("page.png"));

    const struct
    {
        const char* name;
        int action;
        const char* table;
        QString message;
        int config, books, items, scans; // rows left in the file; -1: no such table
    } cases[] = {
        {"Book", SQLITE_CREATE_TABLE, "Book", "Update Database error:not authorized", 2, -1, 1, 1},
        {"Books", SQLITE_INSERT, "Book", "Update Database error:not authorized", 2, 0, 1, 1},
        {"Settings", SQLITE_INSERT, "Config", "Create Database error: not authorized", -1, -1, -1, -1},
        {"Items", SQLITE_INSERT, "Item", "Error: not authorized", 2, 5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.services.Reset();
        controls.progressVisible = true;
        {
            RefusedAction refused(c.action, c.table);
            SubDBCreateNew(session, QString::fromLatin1(c.name));
        }
        // While the window keeps the database, another program can still write to the file.
        EXPECT_TRUE(OtherProgramCanWrite(PathOf(QString::fromLatin1(c.name) + QStringLiteral(".vellumixdb"))));
        session.db.reset();
        EXPECT_EQ(Messages(), QStringList{c.message});
        EXPECT_FALSE(controls.progressVisible);
        const QString file = PathOf(QString::fromLatin1(c.name) + QStringLiteral(".vellumixdb"));
        EXPECT_EQ(RowCount(file, QStringLiteral("Config")), c.config);
        EXPECT_EQ(RowCount(file, QStringLiteral("Book")), c.books);
        EXPECT_EQ(RowCount(file, QStringLiteral("Item")), c.items);
        EXPECT_EQ(RowCount(file, QStringLiteral("Scan")), c.scans);
    }
}

TEST_F(DatabaseCreatorTest, NameFoldingHelpers)
{
    EXPECT_EQ(DatabaseFileName(QStringLiteral("a")), QStringLiteral("a.vellumixdb"));
    EXPECT_EQ(DatabaseFileName(QStringLiteral("a.VELLUMIXDB.old")), QStringLiteral("a.VELLUMIXDB.old"));
    EXPECT_TRUE(DatabaseNameProblem(QStringLiteral("...x")).isEmpty());
    EXPECT_TRUE(DatabaseNameProblem(QString(236, QLatin1Char('n'))).isEmpty());
    EXPECT_FALSE(DatabaseNameProblem(QString(237, QLatin1Char('n'))).isEmpty());
    EXPECT_TRUE(DatabaseNameProblem(QStringLiteral("x-journal")).isEmpty());
}

} // namespace
