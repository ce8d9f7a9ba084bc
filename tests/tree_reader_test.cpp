#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

    // Gives an existing entry (a folder, or the target of a link) the fixed modification date.
    void Touch(const QByteArray& relative) const
    {
        const timespec times[2] = {{static_cast<time_t>(Modified.toSecsSinceEpoch()), 0},
                                   {static_cast<time_t>(Modified.toSecsSinceEpoch()), 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(mTemp.path()) + '/' + relative, times, 0), 0)
            << relative.toStdString();
    }

    // An empty file whose path is given as bytes (which need not be UTF-8), its folders made.
    void NativeFile(const QByteArray& relative) const
    {
        const QByteArray path = QFile::encodeName(mTemp.path()) + '/' + relative;
        for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
            mkdir(path.left(slash).constData(), 0755);
        const int fd = open(path.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << relative.toStdString();
        close(fd);
        Touch(relative);
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
    QString path;        // below root
    bool error = false;  // red, not imported
    bool dated = true;   // false: no date could be read
};

void ExpectRows(const ImportList& list, const QString& root, const std::vector<ExpectedRow>& expected)
{
    const Date date(2016, 3, 5, 10, 30);
    ASSERT_EQ(list.ListCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < list.ListCount(); ++row) {
        const ExpectedRow& e = expected[static_cast<size_t>(row)];
        SCOPED_TRACE(e.path.toStdString());
        const QString cells[ImportRow::ColumnCount] = {
            e.book, e.category, e.supplier, e.name.left(e.name.size() - 4),
            e.dated ? date.ShortDate() : QStringLiteral("Error"), Format(0, QStringLiteral("-###,###.00")),
            {}, {}, {}, {}, root + u'/' + e.path, e.dated ? QStringLiteral("2016-03-05") : QString(), e.code,
            e.name, e.type, {}, {}, {}, {}, {}, e.error ? QStringLiteral("X") : QString()};
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
    Touch("root/Invoices/Food/Acme/x.pdf");
    Touch("root/Invoices/Food/Zeta");

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
        // Page names whose entry the writer could not load as one page are listed in error.
        {bills, food, acme, "a;b.pdf", "IN", Pdf, acmePath + "a;b.pdf", true},
        {bills, food, acme, "dangling.png", "IN", Png, acmePath + "dangling.png", true, false},
        {bills, food, acme, "dirlink.pdf", "IN", Pdf, acmePath + "dirlink.pdf", true},
        {bills, food, acme, "file2.pdf", "IN", Pdf, acmePath + "file2.pdf"},
        {bills, food, acme, "file10.pdf", "IN", Pdf, acmePath + "file10.pdf"},
        {bills, food, acme, "link.jpg", "IN", Jpeg, acmePath + "link.jpg"},
        {bills, food, acme, "p.tif", "IN", Tiff, acmePath + "p.tif"},
        {bills, food, acme, "q.png", "IN", Png, acmePath + "q.png"},
        {bills, food, acme, "r.jpg", "IN", Jpeg, acmePath + "r.jpg"},
        {bills, food, acme, "scan.PDF", "IN", Pdf, acmePath + "scan.PDF"},
        {bills, food, acme, "x.pdf", "IN", Pdf, acmePath + "x.pdf", true},
        {bills, food, "Zeta", "z.pdf", "IN", Pdf, "Invoices/Food/Zeta/z.pdf"},
        {doc, cat, sup, "m.jpg", "DO", Jpeg, "misc/Cat/Sup/m.jpg"},
        {"Options", cat, sup, "o.jpg", "US", Jpeg, "options/Cat/Sup/o.jpg"},
        {"Receipts", cat, sup, "r.pdf", "RE", Pdf, "rechnungen/Cat/Sup/r.pdf"},
        {"Warranty", cat, "S 1", "w.TIF", "WA", Tiff, "Warranty/Cat/S 1/w.TIF"},
        {doc, cat, sup, "a.png", "DO", Png, "x/Cat/Sup/a.png"},
    });
    EXPECT_EQ(controls.statusText, QString());
    EXPECT_EQ(ui.services.messages, QStringList{QStringLiteral("The folder \"%1\" is skipped: its name holds \";\", "
                                                               "which page lists cannot hold.")
                                                    .arg(Path(QStringLiteral("root/semi;colon")))});
}

// Names the file layer cannot keep as text (bytes that are not UTF-8, from old archives) are not
// dropped: their rows are listed in error, the bytes shown as U+FFFD.
TEST_F(TreeReaderTest, NamesThatAreNotUtf8AreListedInError)
{
    NativeFile("root/Invoices/Cat/Sup/caf\xE9.pdf");
    NativeFile("root/Invoices/Cat/Sup/ok.pdf");
    NativeFile("root/Invoices/Cat/Sup\xE9/x.pdf");
    NativeFile("root/Misc\xE9/Cat/Sup/m.jpg");

    Read(FolderItem(Root()));

    const QString bad = QString(QChar::ReplacementCharacter);
    ExpectRows(session.ListData, Root(), {
        {"Invoices", "Cat", "Sup", "caf" + bad + ".pdf", "IN", Pdf, "Invoices/Cat/Sup/caf" + bad + ".pdf", true},
        {"Invoices", "Cat", "Sup", "ok.pdf", "IN", Pdf, "Invoices/Cat/Sup/ok.pdf"},
        {"Invoices", "Cat", "Sup" + bad, "x.pdf", "IN", Pdf, "Invoices/Cat/Sup" + bad + "/x.pdf", true},
        {"Documents", "Cat", "Sup", "m.jpg", "DO", Jpeg, "Misc" + bad + "/Cat/Sup/m.jpg", true},
    });
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

// Folders that cannot be read (here: removed while the walk runs) or are skipped are told in one
// message at the end, with their count and the first of them; the walk goes on and keeps its rows.
TEST_F(TreeReaderTest, FoldersLeftOutAreToldInOneMessage)
{
    struct Case
    {
        const char* root;
        QStringList removed;  // below root, once the first row is in
        QString skipped;      // a supplier folder made below root, or none
        int rows;
        QString message;      // %1: root
    };
    const std::vector<Case> cases = {
        {"one", {"Invoices/B"}, {}, 2, "The folder \"%1/Invoices/B\" cannot be listed: No such file or directory"},
        {"several", {"Invoices/B", "Invoices/C"}, "Invoices/A/S;1", 1,
         "3 folders could not be read or were skipped. The first:\n"
         "The folder \"%1/Invoices/A/S;1\" is skipped: its name holds \";\", which page lists cannot hold."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        const QString root = Path(QLatin1String(c.root));
        for (const char* folder : {"A", "B", "C"})
            File(QLatin1String(c.root) + "/Invoices/" + folder + "/Sup/" + folder + ".pdf");
        if (!c.skipped.isEmpty())
            File(QLatin1String(c.root) + u'/' + c.skipped + "/s.pdf");
        ui.services.messages.clear();
        ui.services.onYield = [&] {
            if (session.ListData.ListCount() == 1)
                for (const QString& removed : c.removed)
                    QDir(root + u'/' + removed).removeRecursively();
        };
        Read(FolderItem(root));
        ui.services.onYield = nullptr;

        EXPECT_EQ(session.ListData.ListCount(), c.rows);
        EXPECT_EQ(session.ListData.Cell(0, 13), "A.pdf");
        EXPECT_EQ(ui.services.messages, QStringList{c.message.arg(root)});
    }
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
