#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <atomic>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "CsvReader.h"
#include "Exceptions.h"
#include "FileTypeSets.h"
#include "Numbers.h"
#include "PageFixtures.h"
#include "ScriptedUIServices.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

const QString Widths = "*,*,*,*,120,120,80,80,80,*";
const QString NoFile = "*** Error in file path";

// What one import row must hold; columns 15 to 19 are always empty.
struct ExpectedRow
{
    QString book, category, supplier, reference, date, amount, currency;
    bool warranty = false;
    QString months, names, paths, sqlDate, code, types, mark;

    std::array<QString, ImportRow::ColumnCount> Cells() const
    {
        std::array<QString, ImportRow::ColumnCount> cells;
        cells[0] = book, cells[1] = category, cells[2] = supplier, cells[3] = reference;
        cells[4] = date, cells[5] = amount, cells[6] = currency, cells[8] = months;
        cells[9] = names, cells[10] = paths, cells[11] = sqlDate, cells[12] = code;
        cells[13] = names, cells[14] = types, cells[20] = mark;
        return cells;
    }
};

QString ShortOf(int year, int month, int day) { return Date(year, month, day).ShortDate(); }
QString Amount(double value) { return Format(value, "-###,###.00"); }

class CsvReader : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FileTypes1::_Initialize();
        ScanType::_Initialize();
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        controls.currency = "CHF";
    }

    QString Path(const QString& relative) const { return dir.filePath(relative); }

    void WriteFile(const QString& relative, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(Path(relative)).path());
        WriteBytes(Path(relative), bytes);
    }

    // Runs the reader with the given chooser answer.
    void Read(const FolderItem& answer)
    {
        ui.services.chooserAnswers.push_back(answer);
        SubCreateFromCSV(session);
    }

    void ExpectRows(const std::vector<ExpectedRow>& expected) const
    {
        ASSERT_EQ(session.ListData.ListCount(), static_cast<int>(expected.size()));
        for (int row = 0; row < session.ListData.ListCount(); ++row) {
            const auto cells = expected[static_cast<size_t>(row)].Cells();
            for (int column = 0; column < ImportRow::ColumnCount; ++column)
                EXPECT_EQ(session.ListData.Cell(row, column), cells[static_cast<size_t>(column)])
                    << "row " << row << ", column " << column;
            EXPECT_EQ(session.ListData.CellCheck(row, ImportList::CheckColumn),
                      expected[static_cast<size_t>(row)].warranty) << "row " << row;
        }
    }

    QTemporaryDir dir;
    ScopedScriptedUI ui;
    StoredControls controls;
    ImportSession session{controls};
};

} // namespace

TEST_F(CsvReader, ReadsEveryCellOfEveryRow)
{
    for (const char* page : {"a.pdf", "b.jpg", "c.PNG", "Scans/2015/inv1.pdf", "elsewhere/abs.tif"})
        WriteFile(page, "page");
    QDir().mkpath(Path("folderpage"));
    const QString absolute = Path("elsewhere/abs.tif");

    // Line ends of every kind; the last line has none.
    const QByteArray csv =
        "Type,Category,Supplier,Reference,Date,Amount,Currency,Warranty,Months,Files\n"
        "Invoice,Office,Acme,R-1,2015-11-20,1234.5,usd,Yes,12,a.pdf;b.jpg\r\n"
        "receipt,Food,\"Shop, Ltd\",R-2,2016-01-02,3,,no,0,Scans:2015:inv1.pdf\r"
        "Warranty card,Tech,Vendor,R-3,2017-03-04,-99.99,Euro,TRUE,24,"
        + absolute.toUtf8() + "\n"
        "Documents,Misc,Sup,Ref,2018-05-06,0,eur,1,6.5,Scans:missing:inv1.pdf\n"
        "Options,Cat,Sup,Ref,2018-05-06,1,EUR,0,x,missing.pdf;a.pdf\n"
        "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,,,a.pdf;missing.pdf\n"
        "Contract,Cat,Sup,Ref,2018-05-06,1,EUR,,,a.pdf\n"
        "\n"
        "invoice,too,short\n"
        "invoice,Cat,,,not a date,1,EUR,no,0,a.pdf\n"
        "in,Cat,Sup,Ref,2018-05-06,1,us dollar,yes ,0,a.pdf\n"
        "wa,Cat,error,Ref,2018-05-06,1,EUR,0,0,a.pdf\n"
        "Doc,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,folderpage\n"
        "Document type,Category,Supplier,Reference,Date,Amount,Currency,Warranty,Months,Files\n"
        "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0, c.PNG ;  b.jpg \n"
        "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf;;Scans:;b.jpg\n"
        "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,";
    WriteFile("import.csv", csv);
    Read(FolderItem(Path("import.csv")));

    const QString a = Path("a.pdf"), b = Path("b.jpg"), c = Path("c.PNG"), inv = Path("Scans/2015/inv1.pdf");
    const QString d18 = ShortOf(2018, 5, 6);
    const QString one = Amount(1), zero = Amount(0);
    ExpectRows({
        {"Invoices", "Office", "Acme", "R-1", ShortOf(2015, 11, 20), Amount(1234.5), "USD", true, "12",
         "a.pdf;b.jpg", a + ";" + b, "2015-11-20", "IN", "application/pdf;image/jpeg", ""},
        {"Receipts", "Food", "Shop, Ltd", "R-2", ShortOf(2016, 1, 2), Amount(3), "CHF", false, "0",
         "inv1.pdf", inv, "2016-01-02", "RE", "application/pdf", ""},
        {"Warranty", "Tech", "Vendor", "R-3", ShortOf(2017, 3, 4), Amount(-99.99), "EUR", true, "24",
         "abs.tif", absolute, "2017-03-04", "WA", "image/tiff", ""},
        {"Documents", "Misc", "Sup", "Ref", d18, zero, "EUR", true, "6.5",
         NoFile, "", "2018-05-06", "DO", "", "X"},
        {"Options", "Cat", "Sup", "Ref", d18, one, "EUR", false, "0",
         "a.pdf", a, "2018-05-06", "US", "application/pdf", ""},
        {"Invoices", "Cat", "Sup", "Ref", d18, one, "EUR", false, "0",
         "a.pdf;", a + ";", "2018-05-06", "IN", "application/pdf;", ""},
        {"Invoices", "Cat", "Error", "Error", "Error", one, "EUR", false, "0",
         "a.pdf", a, "", "IN", "application/pdf", "X"},
        // The currency keeps its inner blank; the warranty field is trimmed before the test.
        {"Invoices", "Cat", "Sup", "Ref", d18, one, "US ", true, "0",
         "a.pdf", a, "2018-05-06", "IN", "application/pdf", ""},
        {"Warranty", "Cat", "error", "Ref", d18, one, "EUR", false, "0",
         "a.pdf", a, "2018-05-06", "WA", "application/pdf", "X"},
        // A folder is no page file: not found.
        {"Documents", "Cat", "Sup", "Ref", d18, one, "EUR", false, "0",
         NoFile, "", "2018-05-06", "DO", "", "X"},
        {"Documents", "Category", "Supplier", "Reference", "Error", zero, "CUR", false, "0",
         NoFile, "", "", "DO", "", "X"},
        {"Invoices", "Cat", "Sup", "Ref", d18, one, "EUR", false, "0",
         "c.PNG;b.jpg", c + ";" + b, "2018-05-06", "IN", "image/png;image/jpeg", ""},
        // Empty entries and a walk that ends on an empty piece name no file.
        {"Invoices", "Cat", "Sup", "Ref", d18, one, "EUR", false, "0",
         "a.pdf;b.jpg", a + ";" + b, "2018-05-06", "IN", "application/pdf;image/jpeg", ""},
        {"Invoices", "Cat", "Sup", "Ref", d18, one, "EUR", false, "0",
         NoFile, "", "2018-05-06", "IN", "", "X"},
    });
    EXPECT_EQ(session.ListData.ColumnWidths(), Widths);
    EXPECT_TRUE(ui.services.messages.isEmpty());
    EXPECT_EQ(ui.services.chooserFilters, QStringList{"csv file;"});
}

TEST_F(CsvReader, FileWhosePathHoldsASemicolonIsNotTaken)
{
    WriteFile("semi;colon/a.pdf", "page");
    WriteFile("plain/b.pdf", "page");
    WriteFile("semi;colon/import.csv",
              "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf\n"
              "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf;" + Path("plain/b.pdf").toUtf8() + "\n");
    Read(FolderItem(Path("semi;colon/import.csv")));

    ASSERT_EQ(session.ListData.ListCount(), 2);
    EXPECT_EQ(session.ListData.Cell(0, 9), NoFile);
    EXPECT_EQ(session.ListData.Cell(0, 10), "");
    EXPECT_TRUE(session.ListData.HasErrorMark(0));
    EXPECT_EQ(session.ListData.Cell(1, 13), "b.pdf");
    EXPECT_EQ(session.ListData.Cell(1, 10), Path("plain/b.pdf"));
    EXPECT_FALSE(session.ListData.HasErrorMark(1));
}

// The writer can read nothing but a regular file that this process may read: any other entry
// the line names is not found, so the row is red before anything is written.
TEST_F(CsvReader, PageThatIsNoReadableFileIsNotFound)
{
    WriteFile("a.pdf", "page");
    QDir().mkpath(Path("folder.pdf"));
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("fifo.pdf")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(Path("folder.pdf"), Path("folderlink.pdf")));
    ASSERT_TRUE(QFile::link(Path("gone.pdf"), Path("dangling.pdf")));
    QStringList entries = {"folder.pdf", "fifo.pdf", "/dev/null", "folderlink.pdf", "dangling.pdf"};
    if (geteuid() != 0) { // root reads any file whatever its mode
        WriteFile("locked.pdf", "page");
        QFile::setPermissions(Path("locked.pdf"), QFileDevice::Permissions());
        entries << "locked.pdf";
    }
    QByteArray csv;
    for (const QString& entry : entries)
        csv += "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0," + entry.toUtf8() + "\n";
    csv += "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,fifo.pdf;a.pdf\n";
    WriteFile("import.csv", csv);
    Read(FolderItem(Path("import.csv")));

    ASSERT_EQ(session.ListData.ListCount(), entries.size() + 1);
    for (int row = 0; row < entries.size(); ++row) {
        SCOPED_TRACE(entries[row].toStdString());
        EXPECT_EQ(session.ListData.Cell(row, 9), NoFile);
        EXPECT_EQ(session.ListData.Cell(row, 10), QString());
        EXPECT_TRUE(session.ListData.HasErrorMark(row));
    }
    const int last = static_cast<int>(entries.size());
    EXPECT_EQ(session.ListData.Cell(last, 13), "a.pdf");
    EXPECT_EQ(session.ListData.Cell(last, 10), Path("a.pdf"));
    EXPECT_FALSE(session.ListData.HasErrorMark(last));
}

TEST_F(CsvReader, OnlyBooksOfVarBookGiveRowsUnderTheirNames)
{
    WriteFile("a.pdf", "page");
    WriteFile("import.csv",
              "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf\n"
              "Receipt,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf\n");
    session.Var_Book = BookTable();
    session.Var_Book.SetValue("IN", "");
    Read(FolderItem(Path("import.csv")));

    ASSERT_EQ(session.ListData.ListCount(), 1);
    EXPECT_EQ(session.ListData.Cell(0, 0), "");
    EXPECT_EQ(session.ListData.Cell(0, 12), "IN");
    EXPECT_FALSE(session.ListData.HasErrorMark(0));
}

TEST_F(CsvReader, EndsWithAnEmptyListAndTheWidthsWhenNothingIsRead)
{
    WriteFile("empty.csv", "");
    struct Case { const char* what; FolderItem answer; };
    const std::vector<Case> cases = {
        {"cancelled chooser", FolderItem()},
        {"file that does not exist", FolderItem(Path("gone.csv"))},
        {"empty file", FolderItem(Path("empty.csv"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        session.ListData.AddRow("left over");
        session.ListData.SetColumnWidths("");
        controls.statusText = "old";
        Read(c.answer);
        EXPECT_EQ(session.ListData.ListCount(), 0);
        EXPECT_EQ(session.ListData.ColumnWidths(), Widths);
        EXPECT_EQ(controls.statusText, "");
        EXPECT_TRUE(ui.services.messages.isEmpty());
    }
}

// The window stays live: the loop yields after every line (an empty file is read once), after
// every piece of a usable line, after every piece of a page file walk and after every entry.
TEST_F(CsvReader, YieldsOncePerLinePiecePathStepAndEntry)
{
    WriteFile("a.pdf", "page");
    WriteFile("Scans/b.pdf", "page");
    struct Case { const char* what; QByteArray csv; long long yields; };
    const std::vector<Case> cases = {
        {"empty file", "", 1},
        {"short line", "invoice,too,short\n", 1},
        {"unknown kind", "Contract,b,c,d,e,f,g,h,i,j\n", 10 + 1},
        {"file next to the list", "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf\n", 10 + 1 + 1 + 1},
        {"file one folder down and a missing one",
         "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,Scans:b.pdf;gone.pdf\n", 10 + 2 + 1 + 1 + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile("import.csv", c.csv);
        ui.services.yields = 0;
        Read(FolderItem(Path("import.csv")));
        EXPECT_EQ(ui.services.yields, c.yields);
    }
}

// Opens the FIFO for writing, without blocking, until stopped: a reader blocked in opening it
// then goes on (and reads an empty file) instead of hanging the test.
class FifoUnblocker
{
public:
    explicit FifoUnblocker(const QString& path)
        : mThread([this, name = QFile::encodeName(path)] {
              while (!mStop) {
                  const int fd = open(name.constData(), O_WRONLY | O_NONBLOCK);
                  if (fd >= 0)
                      close(fd);
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          })
    {
    }
    ~FifoUnblocker()
    {
        mStop = true;
        mThread.join();
    }

private:
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

TEST_F(CsvReader, UnreadableFileGivesOneMessageNamingItOnceWithTheReason)
{
    QDir().mkpath(Path("folder.csv"));
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("fifo.csv")).constData(), 0644), 0);
    const FifoUnblocker unblocker(Path("fifo.csv"));
    struct Case { QString path, reason; };
    std::vector<Case> unreadable = {{Path("folder.csv"), "it is a folder"},
                                    {"/dev/null", "it is not a regular file"},
                                    {Path("fifo.csv"), "it is not a regular file"}};
    if (geteuid() != 0) { // root reads any file whatever its mode
        WriteFile("locked.csv", "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf\n");
        QFile::setPermissions(Path("locked.csv"), QFileDevice::Permissions());
        unreadable.push_back({Path("locked.csv"), "ermission"});
    }
    for (const Case& c : unreadable) {
        SCOPED_TRACE(c.path.toStdString());
        ui.services.messages.clear();
        session.ListData.SetColumnWidths("");
        Read(FolderItem(c.path));
        EXPECT_EQ(session.ListData.ListCount(), 0);
        EXPECT_EQ(session.ListData.ColumnWidths(), Widths);
        ASSERT_EQ(ui.services.messages.size(), 1);
        EXPECT_EQ(ui.services.messages[0].count(c.path), 1) << ui.services.messages[0].toStdString();
        EXPECT_TRUE(ui.services.messages[0].contains(c.reason)) << ui.services.messages[0].toStdString();
    }
}

TEST_F(CsvReader, ErrorWhileReadingKeepsTheRowsReadSoFar)
{
    WriteFile("a.pdf", "page");
    QByteArray csv;
    for (int i = 0; i < 5; ++i)
        csv += "Invoice,Cat,Sup,Ref,2018-05-06,1,EUR,0,0,a.pdf\n";
    WriteFile("import.csv", csv);
    // The platform fails once two rows are in the list, as a disk error would; whatever it
    // throws, one message names the file once and the run ends normally.
    struct Case { const char* what; std::function<void()> fail; QString reason; };
    const std::vector<Case> cases = {
        {"platform error", [] { throw IOException("The disk went away."); }, "The disk went away."},
        {"standard error", [] { throw std::length_error("too long"); }, "too long"},
        {"anything else", [] { throw 42; }, "An unexpected error occurred."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.services.messages.clear();
        session.ListData.SetColumnWidths("");
        ui.services.chooserAnswers.push_back(FolderItem(Path("import.csv")));
        ui.services.onYield = [this, &c] {
            if (session.ListData.ListCount() == 2)
                c.fail();
        };
        EXPECT_NO_THROW(SubCreateFromCSV(session));
        ui.services.onYield = nullptr;

        EXPECT_EQ(session.ListData.ListCount(), 2);
        EXPECT_EQ(session.ListData.ColumnWidths(), Widths);
        ASSERT_EQ(ui.services.messages.size(), 1);
        EXPECT_EQ(ui.services.messages[0].count(Path("import.csv")), 1);
        EXPECT_TRUE(ui.services.messages[0].contains(c.reason));
    }
}
