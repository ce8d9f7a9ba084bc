#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "FileTypeSets.h"
#include "Numbers.h"
#include "ScriptedUIServices.h"
#include "TreeReader.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

const QDateTime Modified(QDate(2016, 3, 5), QTime(10, 30));

class TreeReaderTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { ScanType::_Initialize(); }

    QString Path(const QString& relative) const { return mTemp.path() + u'/' + relative; }
    QString Root() const { return Path(QStringLiteral("root")); }

    void Folder(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(Path(relative))); }

    // An empty file with a fixed modification date, its folders made as needed.
    void File(const QString& relative) const
    {
        QDir().mkpath(QFileInfo(Path(relative)).path());
        QFile file(Path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.setFileTime(Modified, QFileDevice::FileModificationTime));
    }

    void Link(const QString& relative, const QString& target) const
    {
        ASSERT_TRUE(QFile::link(target, Path(relative))) << relative.toStdString();
    }

    // Reads the tree below root, answering the folder chooser with it.
    void Read(const FolderItem& answer)
    {
        ui.services.chooserAnswers.push_back(answer);
        SubCreateFromTree(session);
    }

    QTemporaryDir mTemp;
    ScopedScriptedUI ui;
    StoredControls controls;
    ImportSession session{controls};
};

struct ExpectedRow
{
    QString book, category, supplier, name, code, type;
    QString path; // below root
};

void ExpectRows(const ImportList& list, const QString& root, const std::vector<ExpectedRow>& expected)
{
    const Date date(2016, 3, 5, 10, 30);
    ASSERT_EQ(list.ListCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < list.ListCount(); ++row) {
        const ExpectedRow& e = expected[static_cast<size_t>(row)];
        SCOPED_TRACE(e.path.toStdString());
        const QString cells[ImportRow::ColumnCount] = {
            e.book, e.category, e.supplier, e.name.left(e.name.size() - 4), date.ShortDate(),
            Format(0, QStringLiteral("-###,###.00")), {}, {}, {}, {},
            root + u'/' + e.path, QStringLiteral("2016-03-05"), e.code, e.name, e.type,
            {}, {}, {}, {}, {}, {}};
        for (int column = 0; column < ImportRow::ColumnCount; ++column)
            EXPECT_EQ(list.Cell(row, column), cells[column]) << "column " << column;
        EXPECT_FALSE(list.CellCheck(row, ImportList::CheckColumn));
    }
}

const QString Pdf = QStringLiteral("application/pdf");
const QString Jpeg = QStringLiteral("image/jpeg");
const QString Png = QStringLiteral("image/png");
const QString Tiff = QStringLiteral("image/tiff");

TEST_F(TreeReaderTest, ReadsEveryPageFileOfTheTreeInFileManagerOrder)
{
    // Level 4: the page files, and what the page filter or the file test refuses.
    for (const char* name : {"file10.pdf", "file2.pdf", "scan.PDF", "p.tif", "q.png", "r.jpg", "scan.jpeg",
                             "notes.txt", ".hidden.pdf", "a;b.pdf", "x.pdf/inner.pdf", "x.pdf/deeper/more.pdf"})
        File(QStringLiteral("root/Invoices/Food/Acme/") + QLatin1String(name));
    File(QStringLiteral("outside/real.png"));
    Link(QStringLiteral("root/Invoices/Food/Acme/link.jpg"), Path(QStringLiteral("outside/real.png")));
    Link(QStringLiteral("root/Invoices/Food/Acme/dangling.png"), Path(QStringLiteral("root/nowhere.png")));
    Link(QStringLiteral("root/Invoices/Food/Acme/dirlink.pdf"), Path(QStringLiteral("root/Invoices/Food/Zeta")));
    File(QStringLiteral("root/Invoices/Food/Zeta/z.pdf"));
    // Files at levels 1 to 3, and links back up the tree at levels 1 to 3.
    File(QStringLiteral("root/top.pdf"));
    File(QStringLiteral("root/Invoices/stray.pdf"));
    File(QStringLiteral("root/Invoices/Food/loose.pdf"));
    Link(QStringLiteral("root/Linked"), Path(QStringLiteral("root/Invoices")));
    Link(QStringLiteral("root/Invoices/Loop"), Root());
    Link(QStringLiteral("root/Invoices/Food/Back"), Path(QStringLiteral("root/Invoices")));
    // Book folders: the first two letters decide the book.
    Folder(QStringLiteral("root/EmptyBook"));
    File(QStringLiteral("root/.hidden/Cat/Sup/h.png"));
    File(QStringLiteral("root/misc/Cat/Sup/m.jpg"));
    File(QStringLiteral("root/options/Cat/Sup/o.jpg"));
    File(QStringLiteral("root/rechnungen/Cat/Sup/r.pdf"));
    File(QStringLiteral("root/semi;colon/Cat/Sup/s.pdf"));
    File(QStringLiteral("root/Warranty/Cat/S 1/w.TIF"));
    File(QStringLiteral("root/x/Cat/Sup/a.png"));

    session.Var_Book.SetValue(QStringLiteral("IN"), QStringLiteral("Bills"));
    session.ListData.AddRow(QStringLiteral("from an earlier run"));
    controls.statusText = QStringLiteral("IN/Food/Acme/old.pdf");

    Read(FolderItem(Root()));

    const QString doc = QStringLiteral("Documents");
    const QString bills = QStringLiteral("Bills");
    const QString food = QStringLiteral("Food");
    const QString acme = QStringLiteral("Acme");
    const QString cat = QStringLiteral("Cat");
    const QString sup = QStringLiteral("Sup");
    const QString acmePath = QStringLiteral("Invoices/Food/Acme/");
    ExpectRows(session.ListData, Root(), {
        {doc, cat, sup, "h.png", "DO", Png, ".hidden/Cat/Sup/h.png"},
        {bills, food, acme, "file2.pdf", "IN", Pdf, acmePath + "file2.pdf"},
        {bills, food, acme, "file10.pdf", "IN", Pdf, acmePath + "file10.pdf"},
        {bills, food, acme, "link.jpg", "IN", Jpeg, acmePath + "link.jpg"},
        {bills, food, acme, "p.tif", "IN", Tiff, acmePath + "p.tif"},
        {bills, food, acme, "q.png", "IN", Png, acmePath + "q.png"},
        {bills, food, acme, "r.jpg", "IN", Jpeg, acmePath + "r.jpg"},
        {bills, food, acme, "scan.PDF", "IN", Pdf, acmePath + "scan.PDF"},
        {bills, food, "Zeta", "z.pdf", "IN", Pdf, "Invoices/Food/Zeta/z.pdf"},
        {doc, cat, sup, "m.jpg", "DO", Jpeg, "misc/Cat/Sup/m.jpg"},
        {"Options", cat, sup, "o.jpg", "US", Jpeg, "options/Cat/Sup/o.jpg"},
        {"Receipts", cat, sup, "r.pdf", "RE", Pdf, "rechnungen/Cat/Sup/r.pdf"},
        {"Warranty", cat, "S 1", "w.TIF", "WA", Tiff, "Warranty/Cat/S 1/w.TIF"},
        {doc, cat, sup, "a.png", "DO", Png, "x/Cat/Sup/a.png"},
    });
    EXPECT_EQ(controls.statusText, QString());
    EXPECT_TRUE(ui.services.messages.isEmpty());
}

TEST_F(TreeReaderTest, NoUsableFolderChosenLeavesAnEmptyList)
{
    File(QStringLiteral("root/Invoices/Food/Acme/a.pdf"));
    File(QStringLiteral("semi;colon/Invoices/Food/Acme/a.pdf"));
    struct Case
    {
        const char* name;
        FolderItem answer;
        QString message; // empty: the reader says nothing
    };
    const QString semicolonRoot = Path(QStringLiteral("semi;colon"));
    const std::vector<Case> cases = {
        {"cancelled", FolderItem(), {}},
        {"a file", FolderItem(Path(QStringLiteral("root/Invoices/Food/Acme/a.pdf"))), {}},
        {"a missing folder", FolderItem(Path(QStringLiteral("missing"))), {}},
        {"a folder whose path holds a semicolon", FolderItem(semicolonRoot),
         QStringLiteral("The path of the folder \"%1\" holds \";\", which page lists cannot hold, "
                        "so no file below it can be imported.").arg(semicolonRoot)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.services.messages.clear();
        session.ListData.AddRow(QStringLiteral("from an earlier run"));
        controls.statusText = QStringLiteral("old");
        Read(c.answer);
        EXPECT_EQ(session.ListData.ListCount(), 0);
        EXPECT_EQ(controls.statusText, QString());
        EXPECT_EQ(ui.services.messages, c.message.isEmpty() ? QStringList() : QStringList{c.message});
    }
}

TEST_F(TreeReaderTest, BookWithoutAKeyGivesNoRow)
{
    File(QStringLiteral("root/Invoices/Cat/Sup/a.pdf"));
    File(QStringLiteral("root/Misc/Cat/Sup/b.pdf"));
    session.Var_Book = BookTable();
    session.Var_Book.SetValue(QStringLiteral("DO"), QStringLiteral("Papers"));

    Read(FolderItem(Root()));

    ExpectRows(session.ListData, Root(), {{"Papers", "Cat", "Sup", "b.pdf", "DO", Pdf, "Misc/Cat/Sup/b.pdf"}});
}

// Holds every free file descriptor, so that the next folder cannot be opened (this works for
// root too, whom folder permissions do not stop).
class DescriptorExhaustion
{
public:
    void Start()
    {
        getrlimit(RLIMIT_NOFILE, &mSaved);
        rlimit low = mSaved;
        low.rlim_cur = std::min<rlim_t>(mSaved.rlim_cur, 512);
        setrlimit(RLIMIT_NOFILE, &low);
        for (int fd = dup(0); fd >= 0; fd = dup(0))
            mHeld.push_back(fd);
    }
    void Stop()
    {
        for (int fd : mHeld)
            close(fd);
        mHeld.clear();
        setrlimit(RLIMIT_NOFILE, &mSaved);
    }
    bool Active() const { return !mHeld.empty(); }

private:
    rlimit mSaved{};
    std::vector<int> mHeld;
};

TEST_F(TreeReaderTest, FolderThatCannotBeListedIsReportedAndTheWalkGoesOn)
{
    File(QStringLiteral("root/Invoices/A/Sup/a.pdf"));
    File(QStringLiteral("root/Invoices/B/Sup/b.pdf"));
    File(QStringLiteral("root/Invoices/C/Sup/c.pdf"));
    // Once the row of folder A is in, no folder can be opened until the walk has reported one.
    DescriptorExhaustion exhaustion;
    bool done = false;
    ui.services.onYield = [&] {
        if (!done && !exhaustion.Active() && session.ListData.ListCount() == 1)
            exhaustion.Start();
        else if (exhaustion.Active() && !ui.services.messages.isEmpty()) {
            exhaustion.Stop();
            done = true;
        }
    };

    Read(FolderItem(Root()));
    exhaustion.Stop();

    ASSERT_EQ(ui.services.messages.size(), 1);
    EXPECT_TRUE(ui.services.messages[0].contains(Path(QStringLiteral("root/Invoices/B")))) << ui.services.messages[0].toStdString();
    ExpectRows(session.ListData, Root(), {
        {"Invoices", "A", "Sup", "a.pdf", "IN", Pdf, "Invoices/A/Sup/a.pdf"},
        {"Invoices", "C", "Sup", "c.pdf", "IN", Pdf, "Invoices/C/Sup/c.pdf"},
    });
}

TEST_F(TreeReaderTest, RootThatCannotBeListedIsReported)
{
    File(QStringLiteral("root/Invoices/A/Sup/a.pdf"));
    DescriptorExhaustion exhaustion;
    exhaustion.Start();
    Read(FolderItem(Root()));
    exhaustion.Stop();

    ASSERT_EQ(ui.services.messages.size(), 1);
    EXPECT_TRUE(ui.services.messages[0].contains(Root())) << ui.services.messages[0].toStdString();
    EXPECT_EQ(session.ListData.ListCount(), 0);
}

} // namespace
