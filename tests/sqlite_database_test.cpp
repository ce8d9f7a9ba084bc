#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include "PageFixtures.h"
#include "RawSqlite.h"
#include "SQLiteDatabase.h"

namespace {

// What another application reading the file sees: each row as its values joined by "|".
QStringList Query(const QString& path, const QString& sql) { return RawQueryTexts(path, sql); }

class SQLiteDatabaseTest : public testing::Test
{
protected:
    QString PathOf(const QString& name) const { return dir.filePath(name); }

    // A new database file with one committed table T of untyped columns (no type affinity, so
    // the stored type is the bound type).
    std::unique_ptr<SQLiteDatabase> NewDatabase(const QString& name = QStringLiteral("test.db"))
    {
        auto db = std::make_unique<SQLiteDatabase>();
        db->SetDatabaseFile(FolderItem(PathOf(name)));
        EXPECT_TRUE(db->CreateDatabaseFile()) << db->ErrorMessage().toStdString();
        db->SQLExecute(QStringLiteral("CREATE TABLE T (a, b, c)"));
        EXPECT_FALSE(db->Error()) << db->ErrorMessage().toStdString();
        db->Commit();
        return db;
    }

    QTemporaryDir dir;
};

TEST_F(SQLiteDatabaseTest, CreateRefusesWithoutTouchingAnything)
{
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append(char(i));
    WriteBytes(PathOf("existing.db"), allBytes);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.db"));

    struct Case { const char* name; FolderItem file; const char* messagePart; };
    const Case cases[] = {
        {"no file reference", FolderItem(), "No database file"},
        {"missing folder", FolderItem(PathOf("missing/new.db")), "does not exist"},
        {"existing file", FolderItem(PathOf("existing.db")), "already exists"},
        {"existing folder", FolderItem(PathOf("folder.db")), "already exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SQLiteDatabase db;
        db.SetDatabaseFile(c.file);
        EXPECT_FALSE(db.CreateDatabaseFile());
        EXPECT_TRUE(db.Error());
        EXPECT_TRUE(db.ErrorMessage().contains(QLatin1String(c.messagePart))) << db.ErrorMessage().toStdString();
        EXPECT_FALSE(db.IsConnected());
    }
    EXPECT_EQ(FileContents(PathOf("existing.db")), allBytes);
    EXPECT_FALSE(QFile::exists(PathOf("missing")));
}

TEST_F(SQLiteDatabaseTest, CreateOverAnExistingDatabaseKeepsItsRows)
{
    {
        auto db = NewDatabase("kept.db");
        DatabaseRecord record;
        record.SetColumn("a", "kept");
        db->InsertRecord("T", record);
        db->Commit();
    }
    const QByteArray before = FileContents(PathOf("kept.db"));
    SQLiteDatabase again;
    again.SetDatabaseFile(FolderItem(PathOf("kept.db")));
    EXPECT_FALSE(again.CreateDatabaseFile());
    EXPECT_FALSE(again.IsConnected());
    EXPECT_EQ(FileContents(PathOf("kept.db")), before);
    EXPECT_EQ(Query(PathOf("kept.db"), "SELECT a FROM T"), QStringList{"kept"});
}

TEST_F(SQLiteDatabaseTest, OnlyCommittedChangesSurviveClosing)
{
    struct Case {
        const char* name;
        std::function<void(SQLiteDatabase&)> close;
    };
    const Case cases[] = {
        {"destructor", [](SQLiteDatabase&) {}},
        {"Close", [](SQLiteDatabase& db) { db.Close(); }},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QStringLiteral("t%1.db").arg(n++);
        {
            auto db = NewDatabase(name);
            DatabaseRecord record;
            record.SetColumn("a", "committed");
            db->InsertRecord("T", record);
            db->Commit();
            EXPECT_FALSE(db->Error());
            record.SetColumn("a", "dropped");
            db->InsertRecord("T", record);
            db->SQLExecute("CREATE TABLE Dropped (x)");
            EXPECT_FALSE(db->Error());
            c.close(*db);
        }
        EXPECT_EQ(Query(PathOf(name), "SELECT a FROM T"), QStringList{"committed"});
        EXPECT_TRUE(Query(PathOf(name), "SELECT name FROM sqlite_master WHERE name = 'Dropped'").isEmpty());
    }
}

TEST_F(SQLiteDatabaseTest, ConnectedDatabaseAlsoRollsBackUncommittedInserts)
{
    NewDatabase("c.db").reset();
    SQLiteDatabase db;
    db.SetDatabaseFile(FolderItem(PathOf("c.db")));
    ASSERT_TRUE(db.Connect());
    EXPECT_TRUE(db.Connect()); // already connected to it
    DatabaseRecord record;
    record.SetIntegerColumn("a", 1);
    db.InsertRecord("T", record);
    db.Commit();
    record.SetIntegerColumn("a", 2);
    db.InsertRecord("T", record);
    db.Close();
    EXPECT_EQ(Query(PathOf("c.db"), "SELECT a FROM T"), QStringList{"1"});
}

TEST_F(SQLiteDatabaseTest, ConnectRefusesMissingFilesAndNonDatabases)
{
    WriteBytes(PathOf("text.db"), "this is not a database, just some text\n");
    const QByteArray before = FileContents(PathOf("text.db"));
    for (const QString& name : {QStringLiteral("none.db"), QStringLiteral("text.db")}) {
        SCOPED_TRACE(name.toStdString());
        SQLiteDatabase db;
        db.SetDatabaseFile(FolderItem(PathOf(name)));
        EXPECT_FALSE(db.Connect());
        EXPECT_TRUE(db.Error());
        EXPECT_FALSE(db.ErrorMessage().isEmpty());
        EXPECT_FALSE(db.IsConnected());
    }
    EXPECT_FALSE(QFile::exists(PathOf("none.db")));
    EXPECT_EQ(FileContents(PathOf("text.db")), before);
}

TEST_F(SQLiteDatabaseTest, EachSetterBindsItsOwnType)
{
    struct Case {
        const char* name;
        std::function<void(DatabaseRecord&)> set;
        const char* type;
        const char* quoted;
    };
    const Case cases[] = {
        {"text", [](DatabaseRecord& r) { r.SetColumn("a", "Müller's"); }, "text", "'Müller''s'"},
        {"empty text", [](DatabaseRecord& r) { r.SetColumn("a", ""); }, "text", "''"},
        {"integer", [](DatabaseRecord& r) { r.SetIntegerColumn("a", 5000000000LL); }, "integer", "5000000000"},
        {"true", [](DatabaseRecord& r) { r.SetBooleanColumn("a", true); }, "integer", "1"},
        {"false", [](DatabaseRecord& r) { r.SetBooleanColumn("a", false); }, "integer", "0"},
        {"double", [](DatabaseRecord& r) { r.SetDoubleColumn("a", 7.5); }, "real", "7.5"},
        {"no date", [](DatabaseRecord& r) { r.SetDateColumn("a", std::nullopt); }, "null", "NULL"},
        {"date", [](DatabaseRecord& r) { r.SetDateColumn("a", Date(2015, 11, 20, 8, 5, 3)); }, "text",
         "'2015-11-20 08:05:03'"},
        {"blob", [](DatabaseRecord& r) { r.SetBlobColumn("a", QByteArray("\x00\xff\x41", 3)); }, "blob", "X'00FF41'"},
        {"empty blob", [](DatabaseRecord& r) { r.SetBlobColumn("a", QByteArray()); }, "blob", "X''"},
    };
    auto db = NewDatabase();
    for (const Case& c : cases) {
        DatabaseRecord record;
        record.SetColumn("b", QString::fromLatin1(c.name));
        c.set(record);
        db->InsertRecord("T", record);
        EXPECT_FALSE(db->Error()) << c.name << ": " << db->ErrorMessage().toStdString();
    }
    db->Commit();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList rows = Query(PathOf("test.db"),
                                       QStringLiteral("SELECT typeof(a), quote(a) FROM T WHERE b = '%1'").arg(c.name));
        EXPECT_EQ(rows, QStringList{QString::fromUtf8(c.type) + u'|' + QString::fromUtf8(c.quoted)});
    }
}

TEST(DatabaseRecordTest, ColumnGivesTheTextFormOfAnyValue)
{
    struct Case {
        const char* name;
        std::function<void(DatabaseRecord&)> set;
        const char* text;
    };
    const Case cases[] = {
        {"text", [](DatabaseRecord& r) { r.SetColumn("Amount", "abc"); }, "abc"},
        {"integer", [](DatabaseRecord& r) { r.SetIntegerColumn("Amount", -42); }, "-42"},
        {"true", [](DatabaseRecord& r) { r.SetBooleanColumn("Amount", true); }, "1"},
        {"false", [](DatabaseRecord& r) { r.SetBooleanColumn("Amount", false); }, "0"},
        {"whole double", [](DatabaseRecord& r) { r.SetDoubleColumn("Amount", 120.0); }, "120"},
        {"double", [](DatabaseRecord& r) { r.SetDoubleColumn("Amount", 7.5); }, "7.5"},
        {"inexact double", [](DatabaseRecord& r) { r.SetDoubleColumn("Amount", 0.1); }, "0.1"},
        {"no date", [](DatabaseRecord& r) { r.SetDateColumn("Amount", std::nullopt); }, ""},
        {"date", [](DatabaseRecord& r) { r.SetDateColumn("Amount", Date(2015, 11, 20)); }, "2015-11-20 00:00:00"},
        {"blob", [](DatabaseRecord& r) { r.SetBlobColumn("Amount", "bytes"); }, "bytes"},
        {"replaced", [](DatabaseRecord& r) { r.SetColumn("Amount", "old"); r.SetDoubleColumn("amount", 3.25); }, "3.25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DatabaseRecord record;
        c.set(record);
        EXPECT_EQ(record.Column("Amount"), QString::fromUtf8(c.text));
        EXPECT_EQ(record.Columns().size(), 1u);
        EXPECT_EQ(record.Column("Other"), QString());
    }
}

TEST_F(SQLiteDatabaseTest, ValuesBeyondTheLengthLimitFailCleanly)
{
    auto db = NewDatabase();
    db->SetLengthLimit(1000);
    EXPECT_EQ(db->LengthLimit(), 1000);
    struct Case { const char* name; std::function<void(DatabaseRecord&)> set; };
    const Case cases[] = {
        {"blob", [](DatabaseRecord& r) { r.SetBlobColumn("a", QByteArray(1001, 'x')); }},
        {"text", [](DatabaseRecord& r) { r.SetColumn("a", QString(1001, u'x')); }},
        // Each value fits, the row does not.
        {"row", [](DatabaseRecord& r) { r.SetBlobColumn("a", QByteArray(600, 'x')); r.SetColumn("b", QString(401, u'x')); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DatabaseRecord record;
        c.set(record);
        db->InsertRecord("T", record);
        EXPECT_TRUE(db->Error());
        EXPECT_TRUE(db->ErrorMessage().contains("too big")) << db->ErrorMessage().toStdString();
        EXPECT_TRUE(db->ErrorMessage().contains("1000")) << db->ErrorMessage().toStdString();
    }
    DatabaseRecord small;
    small.SetBlobColumn("a", QByteArray(900, 'x'));
    db->InsertRecord("T", small);
    EXPECT_FALSE(db->Error()) << db->ErrorMessage().toStdString();
    db->Commit();
    EXPECT_EQ(Query(PathOf("test.db"), "SELECT length(a) FROM T"), QStringList{"900"});
}

TEST_F(SQLiteDatabaseTest, ReusedInsertsKeepColumnSetsApart)
{
    auto db = NewDatabase();
    db->SQLExecute(R"(CREATE TABLE "odd ""name""" ("we""ird", "plain"))");
    ASSERT_FALSE(db->Error()) << db->ErrorMessage().toStdString();
    auto insert = [&](const QString& table, const std::vector<std::pair<QString, QString>>& values) {
        DatabaseRecord record;
        for (const auto& [column, value] : values)
            record.SetColumn(column, value);
        db->InsertRecord(table, record);
        EXPECT_FALSE(db->Error()) << db->ErrorMessage().toStdString();
        return db->LastRowID();
    };
    EXPECT_EQ(insert("T", {{"a", "1"}, {"b", "2"}}), 1);
    EXPECT_EQ(insert("T", {{"b", "3"}}), 2);
    EXPECT_EQ(insert("T", {{"a", "4"}, {"b", "5"}}), 3);
    EXPECT_EQ(insert("T", {{"b", "6"}, {"a", "7"}}), 4);
    EXPECT_EQ(insert("T", {{"c", "8"}}), 5);
    EXPECT_EQ(insert("T", {{"b", "9"}}), 6);
    insert(R"(odd "name")", {{R"(we"ird)", "q"}, {"plain", "p"}});
    db->Commit();
    EXPECT_EQ(Query(PathOf("test.db"), "SELECT quote(a), quote(b), quote(c) FROM T ORDER BY rowid"),
              QStringList({"'1'|'2'|NULL", "NULL|'3'|NULL", "'4'|'5'|NULL", "'7'|'6'|NULL", "NULL|NULL|'8'",
                           "NULL|'9'|NULL"}));
    EXPECT_EQ(Query(PathOf("test.db"), R"(SELECT "we""ird", plain FROM "odd ""name""")"), QStringList{"q|p"});
}

TEST_F(SQLiteDatabaseTest, ErrorReflectsTheLastOperation)
{
    auto db = NewDatabase();
    db->SQLExecute("CREATE TABLE T (x)");
    EXPECT_TRUE(db->Error());
    EXPECT_TRUE(db->ErrorMessage().contains("already exists")) << db->ErrorMessage().toStdString();
    DatabaseRecord record;
    record.SetColumn("a", "ok");
    db->InsertRecord("T", record);
    EXPECT_FALSE(db->Error());
    EXPECT_TRUE(db->ErrorMessage().isEmpty());
    db->InsertRecord("Missing", record);
    EXPECT_TRUE(db->Error());
    EXPECT_TRUE(db->ErrorMessage().contains("no such table")) << db->ErrorMessage().toStdString();
    db->Commit();
    EXPECT_FALSE(db->Error());
    // The failed statement did not undo the good insert of the same transaction.
    EXPECT_EQ(Query(PathOf("test.db"), "SELECT a FROM T"), QStringList{"ok"});

    SQLiteDatabase unconnected;
    unconnected.InsertRecord("T", record);
    EXPECT_TRUE(unconnected.Error());
    EXPECT_FALSE(unconnected.ErrorMessage().isEmpty());
}

} // namespace
