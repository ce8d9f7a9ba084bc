#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "CsvReader.h"
#include "DatabaseCreator.h"
#include "FileTypeSets.h"
#include "ImportSession.h"
#include "PageFixtures.h"
#include "RawSqlite.h"
#include "ScriptedUIServices.h"
#include "TreeReader.h"

// A source on disk read by a reader, then written by the database creation, then read back with
// SQLite as the host application would: the whole road without a window.
namespace {

class EndToEnd : public testing::Test
{
protected:
    void SetUp() override
    {
        FileTypes1::_Initialize();
        ScanType::_Initialize();
        ASSERT_TRUE(QDir(dir.path()).mkpath("DB"));
        session.DBPath = FolderItem(dir.path() + "/DB");
    }

    // Creates the database name from the session's list; the messages shown on the way.
    QStringList Create(const QString& name)
    {
        ui.services.messages.clear();
        SubDBCreateNew(session, name);
        return ui.services.messages;
    }

    QString DatabasePath(const QString& name) const { return dir.path() + "/DB/" + name + ".vellumixdb"; }

    QTemporaryDir dir;
    ScopedScriptedUI ui;
    StoredControls controls;
    ImportSession session{controls};
};

QString Success(const QString& name)
{
    return "The new Database <" + name + "> was created successfully.\nYou can now use this DB in Quorin Vellumix.";
}

TEST_F(EndToEnd, CsvFileBecomesItemsWithTheirPages)
{
    const QString source = dir.path() + "/source";
    ASSERT_TRUE(QDir().mkpath(source + "/Scans"));
    const QString jpeg = WritePicturePage(source + "/Scans", "r17.jpg", {1240, 1754}, "JPEG");
    const QString pdf = WritePdfPage(source, "r17.pdf", "Invoice R-17");
    const QString png = WritePicturePage(source, "bakery.png", {600, 300}, "PNG");
    WriteBytes(source, "list.csv",
               "Type,Category,Supplier,Reference,Date,Amount,Currency,Warranty,Months,Files\n"
               "Invoice,Auto,Garage M\xC3\xBCller,R-17,2015-11-20,120.00,eur,yes,3,r17.pdf;Scans:r17.jpg\n"
               "Receipt,\"Food, drinks\",Bakery,B-1,2016-01-31,7.5,,no,1,bakery.png;gone.png\n"
               "Warranty,TV,,W-9,2016-02-01,499,USD,1,24," + png.toUtf8() + "\n");
    ui.services.chooserAnswers.push_back(FolderItem(source + "/list.csv"));
    controls.currency = "CHF";

    SubCreateFromCSV(session);
    ASSERT_EQ(session.ListData.ListCount(), 3);
    EXPECT_EQ(Create("Archive"), QStringList({Success("Archive")}));

    const auto items = RawQuery(DatabasePath("Archive"),
                                "SELECT ID, Typ, Name, Category, ItemDate, Amount, Currency, Warranty, "
                                "WarrantyTime, WRDate, Search FROM Item ORDER BY ID");
    ASSERT_EQ(items.size(), 2u);    // the warranty row has no supplier: red, not imported
    const QStringList first = {"1", "IN", QString::fromUtf8("Garage Müller"), "Auto", "2015-11-20", "120.0",
                               "EUR", "1", "3", "2016-02-20",
                               QString::fromUtf8("auto|garage muller|r-17|2015-11-20|120|eur|")};
    const QStringList second = {"2", "RE", "Bakery", "Food, drinks", "2016-01-31", "7.5", "CHF", "0", "1",
                                "2016-02-29", "food, drinks|bakery|b-1|2016-01-31|7.5|chf|"};
    for (int column = 0; column < first.size(); ++column) {
        EXPECT_EQ(items[0][size_t(column)].Text(), first[column]) << column;
        EXPECT_EQ(items[1][size_t(column)].Text(), second[column]) << column;
    }

    const auto scans = RawQuery(DatabasePath("Archive"), "SELECT ItemID, Page, Typ, FileName, Image, "
                                                         "substr(Preview, 1, 2) FROM Scan ORDER BY ItemID, Page");
    struct Page { const char* item; const char* page; const char* types; const char* name; QString path; };
    const Page pages[] = {
        {"1", "1", "application/pdf;image/jpeg", "r17.pdf", pdf},
        {"1", "2", "application/pdf;image/jpeg", "r17.jpg", jpeg},
        {"2", "1", "image/png;", "bakery.png", png},    // the missing last file writes no page
    };
    ASSERT_EQ(scans.size(), std::size(pages));
    for (size_t i = 0; i < scans.size(); ++i) {
        SCOPED_TRACE(pages[i].name);
        EXPECT_EQ(scans[i][0].Text(), pages[i].item);
        EXPECT_EQ(scans[i][1].Text(), pages[i].page);
        EXPECT_EQ(scans[i][2].Text(), pages[i].types);
        EXPECT_EQ(scans[i][3].Text(), pages[i].name);
        EXPECT_TRUE(scans[i][4].bytes == FileContents(pages[i].path));
        EXPECT_EQ(scans[i][5].bytes, QByteArray("\xFF\xD8"));
    }
}

TEST_F(EndToEnd, FolderTreeBecomesOneItemPerPageFile)
{
    const QString root = dir.path() + "/tree";
    ASSERT_TRUE(QDir().mkpath(root + "/Invoices/Car/Garage"));
    ASSERT_TRUE(QDir().mkpath(root + "/Misc/Home/City"));
    const QString scan = WritePicturePage(root + "/Invoices/Car/Garage", "scan10.jpg", {2480, 3508}, "JPEG");
    const QString letter = WritePdfPage(root + "/Invoices/Car/Garage", "Letter2.PDF", "Letter");
    const QString tax = WritePicturePage(root + "/Misc/Home/City", "tax.png", {300, 300}, "PNG");
    WriteBytes(root + "/Invoices/Car", "stray.pdf", "at the wrong level");
    ui.services.chooserAnswers.push_back(FolderItem(root));
    controls.importMode = 1;
    controls.currency = "GBP";

    SubCreateFromTree(session);
    ASSERT_EQ(session.ListData.ListCount(), 3);
    EXPECT_EQ(Create("Tree.vellumixdb"), QStringList({Success("Tree.vellumixdb")}));

    const QString database = dir.path() + "/DB/Tree.vellumixdb";
    const auto items = RawQuery(database, "SELECT Typ, Name, Info, Category, Amount, Currency, Warranty, "
                                          "WarrantyTime, typeof(WRDate) FROM Item ORDER BY ID");
    const QStringList expected[] = {
        {"IN", "Garage", "Letter2", "Car", "0.0", "GBP", "0", "0", "null"},
        {"IN", "Garage", "scan10", "Car", "0.0", "GBP", "0", "0", "null"},
        {"DO", "City", "tax", "Home", "0.0", "GBP", "0", "0", "null"},
    };
    ASSERT_EQ(items.size(), std::size(expected));
    for (size_t i = 0; i < items.size(); ++i)
        for (int column = 0; column < expected[i].size(); ++column)
            EXPECT_EQ(items[i][size_t(column)].Text(), expected[i][column]) << i << "/" << column;

    const auto scans = RawQuery(database, "SELECT ItemID, Page, Typ, FileName, Image FROM Scan ORDER BY ItemID");
    const QString files[] = {letter, scan, tax};
    const char* types[] = {"application/pdf", "image/jpeg", "image/png"};
    ASSERT_EQ(scans.size(), 3u);
    for (size_t i = 0; i < scans.size(); ++i) {
        EXPECT_EQ(scans[i][0].Text().toULongLong(), i + 1);
        EXPECT_EQ(scans[i][1].Text(), "1");
        EXPECT_EQ(scans[i][2].Text(), types[i]);
        EXPECT_EQ(scans[i][3].Text(), QFileInfo(files[i]).fileName());
        EXPECT_TRUE(scans[i][4].bytes == FileContents(files[i]));
    }
}

} // namespace
