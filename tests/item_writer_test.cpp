#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <thread>

#include "DatabaseCreator.h"
#include "DateTime.h"
#include "ImportSession.h"
#include "ItemWriter.h"
#include "Numbers.h"
#include "PageFixtures.h"
#include "PageLoaders.h"
#include "Picture.h"
#include "PreviewPipeline.h"
#include "RawSqlite.h"
#include "ScriptedUIServices.h"
#include "Text.h"
#include "Watchdog.h"
#include "WorkAhead.h"

namespace {

// Controls that remember every value they were given, and can act when the progress bar is
// shown (the writer's first step), for example to lower the database's length limit.
class RecordingControls : public StoredControls
{
public:
    void SetProgressVisible(bool visible) override
    {
        StoredControls::SetProgressVisible(visible);
        visibility.push_back(visible);
        if (visible && onShown)
            onShown();
    }
    void SetProgressValue(int value) override
    {
        StoredControls::SetProgressValue(value);
        values.push_back(value);
    }
    void SetStatusText(const QString& text) override
    {
        StoredControls::SetStatusText(text);
        statusTexts << text;
    }

    std::vector<bool> visibility;
    std::vector<int> values;
    QStringList statusTexts;
    std::function<void()> onShown;
};

// One import row as the readers fill it.
struct RowData
{
    QString code, category, supplier, reference, sqlDate;
    double amount = 0;
    QString currency;
    bool warranty = false;
    QString months;
    QStringList paths;     // column 10, joined by ";"
    QStringList fileNames; // column 13
    QString types;         // column 14
    QString errorMark;     // column 20
};

QString Success(const QString& name)
{
    return QStringLiteral("The new Database <") + name + QStringLiteral("> was created successfully.") + EndOfLine
           + QStringLiteral("You can now use this DB in Quorin Vellumix.");
}

// "type:value" of every column of a query's rows, blobs by their size.
QStringList Described(const std::vector<RawRow>& rows)
{
    QStringList described;
    for (const RawRow& row : rows) {
        QStringList cells;
        for (const RawValue& value : row)
            cells << value.type + QLatin1Char(':')
                         + (value.type == QLatin1String("blob") ? QString::number(value.bytes.size()) : value.Text());
        described << cells.join(QLatin1String(" | "));
    }
    return described;
}

class ItemWriterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(databases.isValid() && pages.isValid());
        session.DBPath = FolderItem(databases.path());
    }

    void Add(const RowData& data)
    {
        ImportList& list = session.ListData;
        list.AddRow(data.code);
        const int row = list.LastIndex();
        list.SetCell(row, 1, data.category);
        list.SetCell(row, 2, data.supplier);
        list.SetCell(row, 3, data.reference);
        list.SetCell(row, 5, Format(data.amount, QStringLiteral("-###,###.00")));
        list.SetCell(row, 6, data.currency);
        list.SetCellCheck(row, 7, data.warranty);
        list.SetCell(row, 8, data.months);
        list.SetCell(row, 10, data.paths.join(u';'));
        list.SetCell(row, 11, data.sqlDate);
        list.SetCell(row, 12, data.code);
        list.SetCell(row, 13, data.fileNames.join(u';'));
        list.SetCell(row, 14, data.types);
        list.SetCell(row, 20, data.errorMark);
    }

    // Creates the database through the creator (which runs the writer) and closes it, so what is
    // read back is what another application would find in the file.
    void Create()
    {
        SubDBCreateNew(session, QStringLiteral("Import"));
        session.db.reset();
    }

    std::vector<RawRow> Query(const char* sql) const
    {
        return RawQuery(QDir(databases.path()).filePath(QStringLiteral("Import.vellumixdb")), QString::fromLatin1(sql));
    }

    QString Pdf(const QString& name) { return WritePdfPage(pages.path(), name, name); }
    QString Picture(const QString& name, QSize size, const char* format)
    {
        return WritePicturePage(pages.path(), name, size, format);
    }
    const QStringList& Messages() const { return ui.services.messages; }

    // Every run makes its previews on worker threads: a deadlock among them fails at once.
    Watchdog watchdog;
    QTemporaryDir databases;
    QTemporaryDir pages;
    ScopedScriptedUI ui;
    RecordingControls controls;
    ImportSession session{controls};
};

TEST_F(ItemWriterTest, CsvRowsBecomeItemsWithTheirPages)
{
    const QString invoice = Pdf(QStringLiteral("Rechnung.pdf"));
    const QString scan = Picture(QStringLiteral("Beleg.jpg"), QSize(2480, 3508), "JPEG");
    const QString png = Picture(QStringLiteral("a.png"), QSize(1000, 500), "PNG");
    const QString tiff = Picture(QStringLiteral("b.tif"), QSize(100, 100), "TIFF");
    const QString wide = Picture(QStringLiteral("c.jpg"), QSize(3000, 2000), "JPEG");

    Add({"IN", "Auto", "Garage M\u00FCller", "R-17", "2015-11-20", 120.0, "EUR", true, "3", {invoice, scan},
         {"Rechnung.pdf", "Beleg.jpg"}, "application/pdf;image/jpeg", ""});
    Add({"IN", "Marked", "Nobody", "R-0", "2015-11-21", 1.0, "EUR", false, "0", {png}, {"a.png"}, "image/png", "X"});
    Add({"WA", "Haus\r\nGarten", "Bau|Markt", "", "2015-03-31", 1234.5, "CH\nF", false, "12", {png, tiff, wide},
         {"a.png", "b.tif", "c.jpg"}, "image/png;image/tiff;image/jpeg", ""});
    Add({"RE", "Essen", "L'Or\u00E9al", "Quittung", "2015-01-31", -7.25, "USD", true, "1.5", {tiff}, {"b.tif"},
         "image/tiff", ""});
    Add({"DO", "Vertrag", "Bank", "K-1", "2016-02-29", 0.0, "EUR", false, "0", {}, {}, "", ""});
    Add({"WA", "Alt", "Archiv", "A-1", "0001-03-01", 0.0, "EUR", true, "-3", {}, {}, "", ""}); // ends before year 1

    const QString before = Date().SQLDateTime();
    Create();
    const QString after = Date().SQLDateTime();
    EXPECT_EQ(Messages(), QStringList{Success(QStringLiteral("Import"))});

    const auto items = Query("SELECT ID, Typ, Category, Name, Info, ItemDate, Amount, Currency, Warranty, "
                             "WarrantyTime, WRDate, ContractTyp, ContractDate, ToDel, Detail, Search, Tags "
                             "FROM Item ORDER BY ID");
    const QStringList expected = {
        "integer:1 | text:IN | text:Auto | text:Garage M\u00FCller | text:R-17 | text:2015-11-20 | real:120.0 | "
        "text:EUR | integer:1 | integer:3 | text:2016-02-20 | integer:0 | null: | integer:0 | text: | "
        "text:auto|garage muller|r-17|2015-11-20|120|eur| | null:",
        "integer:2 | text:WA | text:Haus  Garten | text:Bau|Markt | text: | text:2015-03-31 | real:1234.5 | "
        "text:CH F | integer:0 | integer:12 | text:2016-03-31 | integer:0 | null: | integer:0 | text: | "
        "text:haus  garten|bau|markt||2015-03-31|1234.5|ch f| | null:",
        "integer:3 | text:RE | text:Essen | text:L'Or\u00E9al | text:Quittung | text:2015-01-31 | real:-7.25 | "
        "text:USD | integer:1 | integer:1 | text:2015-02-28 | integer:0 | null: | integer:0 | text: | "
        "text:essen|loreal|quittung|2015-01-31|-7.25|usd| | null:",
        "integer:4 | text:DO | text:Vertrag | text:Bank | text:K-1 | text:2016-02-29 | real:0.0 | "
        "text:EUR | integer:0 | integer:0 | text:2016-02-29 | integer:0 | null: | integer:0 | text: | "
        "text:vertrag|bank|k-1|2016-02-29|0|eur| | null:",
        "integer:5 | text:WA | text:Alt | text:Archiv | text:A-1 | text:0001-03-01 | real:0.0 | "
        "text:EUR | integer:1 | integer:-3 | null: | integer:0 | null: | integer:0 | text: | "
        "text:alt|archiv|a-1|0001-03-01|0|eur| | null:",
    };
    EXPECT_EQ(Described(items), expected);

    // One import start for the whole run.
    const auto saveDates = Query("SELECT DISTINCT SaveDate, typeof(SaveDate) FROM Item");
    ASSERT_EQ(saveDates.size(), 1u);
    EXPECT_EQ(saveDates[0][1].Text(), QStringLiteral("text"));
    EXPECT_GE(saveDates[0][0].Text(), before);
    EXPECT_LE(saveDates[0][0].Text(), after);

    const auto scans = Query("SELECT ItemID, typeof(ItemID), Page, typeof(Page), Typ, FileName, typeof(Preview), "
                             "typeof(Image), Image, Preview FROM Scan ORDER BY rowid");
    const struct
    {
        int itemID, page;
        QString types, fileName, path;
        QSize preview;
    } expectedScans[] = {
        {1, 1, "application/pdf;image/jpeg", "Rechnung.pdf", invoice, QSize()},
        {1, 2, "application/pdf;image/jpeg", "Beleg.jpg", scan, QSize(367, 520)},
        {2, 1, "image/png;image/tiff;image/jpeg", "a.png", png, QSize(380, 190)},
        {2, 2, "image/png;image/tiff;image/jpeg", "b.tif", tiff, QSize(100, 100)},
        {2, 3, "image/png;image/tiff;image/jpeg", "c.jpg", wide, QSize(380, 253)},
        {3, 1, "image/tiff", "b.tif", tiff, QSize(100, 100)},
    };
    ASSERT_EQ(scans.size(), std::size(expectedScans));
    for (size_t i = 0; i < scans.size(); ++i) {
        const auto& row = scans[i];
        const auto& want = expectedScans[i];
        SCOPED_TRACE(want.fileName.toStdString());
        EXPECT_EQ(row[0].Text().toInt(), want.itemID);
        EXPECT_EQ(row[1].Text(), QStringLiteral("integer"));
        EXPECT_EQ(row[2].Text().toInt(), want.page);
        EXPECT_EQ(row[3].Text(), QStringLiteral("integer"));
        EXPECT_EQ(row[4].Text(), want.types);
        EXPECT_EQ(row[5].Text(), want.fileName);
        EXPECT_EQ(row[6].Text(), QStringLiteral("blob"));
        EXPECT_EQ(row[7].Text(), QStringLiteral("blob"));
        EXPECT_TRUE(row[8].bytes == FileContents(want.path)) << "image bytes differ";
        const QImage preview = QImage::fromData(row[9].bytes, "JPEG");
        ASSERT_FALSE(preview.isNull());
        if (want.preview.isValid())
            EXPECT_EQ(preview.size(), want.preview);
        else
            EXPECT_TRUE(preview.width() <= 380 && preview.height() <= 520);
    }

    // Progress for every row, marked ones included; the status line names each written row and
    // ends empty; a yield per page and per row at least, and more while it waits for a worker.
    EXPECT_EQ(controls.values, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(controls.progressMaximum, 6);
    EXPECT_EQ(controls.visibility, (std::vector<bool>{true, false}));
    EXPECT_EQ(controls.statusTexts,
              (QStringList{"IN/Auto/Garage M\u00FCller/Rechnung.pdf;Beleg.jpg", "WA/Haus\r\nGarten/Bau|Markt/a.png;b.tif;c.jpg",
                           "RE/Essen/L'Or\u00E9al/b.tif", "DO/Vertrag/Bank/", "WA/Alt/Archiv/", ""}));
    EXPECT_GE(ui.services.yields, 6 + 6);
}

TEST_F(ItemWriterTest, FolderTreeRowsTakeThePopupCurrencyAndNoWarranty)
{
    controls.importMode = 1;
    controls.currency = QStringLiteral("CHF");
    const QString page = Picture(QStringLiteral("p.png"), QSize(760, 1040), "PNG");
    Add({"RE", "Lebensmittel", "Markt", "p.png", "2016-05-04", 0.0, "USD", true, "24", {page}, {"p.png"},
         "image/png", ""});
    Create();

    EXPECT_EQ(Messages(), QStringList{Success(QStringLiteral("Import"))});
    EXPECT_EQ(Described(Query("SELECT Currency, Warranty, WarrantyTime, WRDate, Search FROM Item")),
              QStringList{"text:CHF | integer:0 | integer:0 | null: | text:lebensmittel|markt|p.png|2016-05-04|0|chf|"});
    const auto scans = Query("SELECT Page, FileName, Image, Preview FROM Scan");
    ASSERT_EQ(scans.size(), 1u);
    EXPECT_TRUE(scans[0][2].bytes == FileContents(page));
    EXPECT_EQ(QImage::fromData(scans[0][3].bytes, "JPEG").size(), QSize(380, 520));
}

TEST_F(ItemWriterTest, MarkedRowsOnlyAdvanceTheProgress)
{
    Add({"IN", "A", "B", "C", "2015-01-01", 1.0, "EUR", false, "0", {}, {"*** Error in file path"}, "", "X"});
    Add({"IN", "A", "Error", "C", "2015-01-01", 1.0, "EUR", false, "0", {}, {}, "", "X"});
    Create();
    EXPECT_EQ(Messages(), QStringList{Success(QStringLiteral("Import"))});
    EXPECT_TRUE(Query("SELECT * FROM Item").empty());
    EXPECT_EQ(controls.values, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(controls.statusTexts, QStringList{""});
    EXPECT_EQ(ui.services.yields, 2);
}

// A trailing or doubled ";" in the page list writes no page; pages stay numbered 1, 2, ... and
// each keeps the file name of its own piece.
TEST_F(ItemWriterTest, EmptyPiecesOfThePageListWriteNoPage)
{
    const QString first = Picture(QStringLiteral("first.png"), QSize(50, 80), "PNG");
    const QString second = Pdf(QStringLiteral("second.pdf"));
    Add({"IN", "A", "B", "C", "2015-01-01", 1.0, "EUR", false, "0", {first, "", second, ""},
         {"first.png", "", "second.pdf", ""}, "image/png;application/pdf", ""});
    Create();

    EXPECT_EQ(Messages(), QStringList{Success(QStringLiteral("Import"))});
    const auto scans = Query("SELECT Page, FileName, Image FROM Scan ORDER BY rowid");
    ASSERT_EQ(scans.size(), 2u);
    EXPECT_EQ(scans[0][0].Text() + scans[0][1].Text(), QStringLiteral("1first.png"));
    EXPECT_EQ(scans[1][0].Text() + scans[1][1].Text(), QStringLiteral("2second.pdf"));
    EXPECT_TRUE(scans[0][2].bytes == FileContents(first));
    EXPECT_TRUE(scans[1][2].bytes == FileContents(second));
}

TEST_F(ItemWriterTest, UndecodablePageIsStoredWithAnEmptyPreview)
{
    const QString notAPicture = WriteBytes(pages.path(), QStringLiteral("broken.jpg"), "not a picture at all");
    const QString empty = WriteBytes(pages.path(), QStringLiteral("empty.png"), QByteArray());
    Add({"IN", "A", "B", "C", "2015-01-01", 1.0, "EUR", false, "0", {notAPicture, empty},
         {"broken.jpg", "empty.png"}, "image/jpeg;image/png", ""});
    Create();

    EXPECT_EQ(Messages(), (QStringList{"Error creating preview!", "Error creating preview!", Success("Import")}));
    EXPECT_EQ(Described(Query("SELECT Page, typeof(Preview), length(Preview), Image FROM Scan ORDER BY rowid")),
              (QStringList{"integer:1 | text:blob | integer:0 | blob:20", "integer:2 | text:blob | integer:0 | blob:0"}));
}

// On a machine with a small memory ceiling large scans still get their previews: they are read in
// rows, so a page whose decoded pixels alone would pass the ceiling takes a few rows' memory.
TEST_F(ItemWriterTest, LargeScansGetPreviewsUnderASmallCeiling)
{
    struct CeilingSet
    {
        CeilingSet() { SetPictureMemoryCeiling(48LL << 20); }
        ~CeilingSet() { SetPictureMemoryCeiling(0); }
    } ceiling;
    // Flat pages with one dark block compress to little; decoded whole, a grey one would take
    // 23 MiB, a colour one 92 MiB, twice the ceiling.
    const auto write = [&](const char* name, QImage::Format format, const char* writerFormat) {
        QImage page(4000, 6000, format);
        page.fill(Qt::white);
        QPainter(&page).fillRect(0, 0, 1000, 1000, Qt::black);
        const QString path = QDir(pages.path()).filePath(QString::fromLatin1(name));
        QImageWriter writer(path, writerFormat);
        writer.setCompression(1);
        EXPECT_TRUE(writer.write(page)) << name;
        return path;
    };
    const QStringList paths{write("grey.tif", QImage::Format_Grayscale8, "tiff"),
                            write("grey.png", QImage::Format_Grayscale8, "png"),
                            write("colour.tif", QImage::Format_RGB888, "tiff")};
    Add({"IN", "A", "B", "C", "2015-01-01", 1.0, "EUR", false, "0", paths, {"grey.tif", "grey.png", "colour.tif"},
         "image/tiff;image/png;image/tiff", ""});
    Create();

    EXPECT_EQ(Messages(), (QStringList{Success("Import")}));
    const std::vector<RawRow> scans = Query("SELECT Preview, Image FROM Scan ORDER BY Page");
    ASSERT_EQ(scans.size(), 3u);
    for (int page = 0; page < 3; ++page) {
        const QImage preview = QImage::fromData(scans[page][0].bytes, "JPEG");
        EXPECT_EQ(preview.size(), QSize(346, 520)) << page;
        EXPECT_LT(qGray(preview.pixel(10, 10)), 128) << page;
        EXPECT_GT(qGray(preview.pixel(300, 400)), 240) << page;
    }
    for (int page = 0; page < 3; ++page)
        EXPECT_TRUE(scans[page][1].bytes == FileContents(paths[page])) << page;
}

// Previews are made ahead on worker threads; the file must be the same, row for row and byte for
// byte, as one whose previews were made one page at a time when each page was written.
TEST_F(ItemWriterTest, PagesMadeAheadStoreWhatOnePageAtATimeStores)
{
    const QString greyPng = QDir(pages.path()).filePath(QStringLiteral("grey.png"));
    const QString greyTiff = QDir(pages.path()).filePath(QStringLiteral("grey.tif"));
    for (const QString& path : {greyPng, greyTiff}) {
        QImage grey = QImage(QSize(1600, 2200), QImage::Format_Grayscale8);
        grey.fill(230);
        for (int y = 0; y < grey.height(); y += 40)
            std::fill_n(grey.scanLine(y), grey.width(), uchar(y % 200));
        ASSERT_TRUE(grey.save(path));
    }
    const QStringList kinds = {
        Picture(QStringLiteral("scan.jpg"), QSize(1240, 1754), "JPEG"),
        greyPng,
        Pdf(QStringLiteral("letter.pdf")),
        greyTiff,
        Picture(QStringLiteral("colour.png"), QSize(900, 1300), "PNG"),
        WriteBytes(pages.path(), QStringLiteral("broken.jpg"), "not a picture"),
        Picture(QStringLiteral("small.bmp"), QSize(64, 48), "BMP"),
    };
    QStringList paths;
    for (int page = 0; page < 60; ++page)
        paths << kinds[page * 5 % kinds.size()];
    for (qsizetype first = 0; first < paths.size(); first += 3)
        Add({"IN", "A", "B", QString::number(first), "2015-01-01", 1.0, "EUR", false, "0", paths.mid(first, 3),
             paths.mid(first, 3), "image/any", ""});
    Create();
    ASSERT_EQ(Messages().back(), Success("Import"));

    const std::vector<RawRow> stored = Query("SELECT ItemID, Page, Preview, Image FROM Scan ORDER BY rowid");
    ASSERT_EQ(stored.size(), size_t(paths.size()));
    for (qsizetype page = 0; page < paths.size(); ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(stored[size_t(page)][0].Text(), QString::number(page / 3 + 1));
        EXPECT_EQ(stored[size_t(page)][1].Text(), QString::number(page % 3 + 1));
        EXPECT_EQ(stored[size_t(page)][2].bytes, MakePreview(paths[page]).value_or(QByteArray()));
        EXPECT_EQ(stored[size_t(page)][3].bytes, FileContents(paths[page]));
    }
}

// Every wait of the main thread lets the event loop turn, so the window keeps painting: each
// wait is given about 300 ms of work, and no stretch of it goes without a turn for long.
TEST_F(ItemWriterTest, TheWindowPaintsThroughEveryWait)
{
    const auto work = std::chrono::milliseconds(300);
    const auto sleep = [work] { std::this_thread::sleep_for(work); };

    // The fastest of a few previews of a page: on a loaded machine pages only take longer, so
    // the work sized from it never falls short.
    const auto previewTime = [](const QString& path, int tries) {
        qint64 fastest = std::numeric_limits<qint64>::max();
        for (int i = 0; i < tries; ++i) {
            QElapsedTimer timer;
            timer.start();
            MakePreview(path);
            fastest = std::min(fastest, timer.elapsed());
        }
        return std::max<qint64>(fastest, 1);
    };

    // As many pages as take about that long, made one at a time under a budget of one byte.
    const QString page = Picture(QStringLiteral("page.png"), QSize(1000, 1400), "PNG");
    const std::optional<QByteArray> preview = MakePreview(page);
    const qint64 pageTime = previewTime(page, 3);
    std::vector<QString> paths;
    for (qint64 i = work.count() / pageTime; i >= 0; --i) {
        paths.push_back(QDir(pages.path()).filePath(QStringLiteral("page%1.png").arg(i)));
        ASSERT_TRUE(QFile::copy(page, paths.back()));
    }
    // A page that takes twice that long to decode, for a run that stops while it is decoded; its
    // own time is measured, as a page's fixed costs do not grow with its size.
    QSize largeSize(1000, 1400);
    QString largePage;
    for (qint64 took = pageTime; took < 2 * work.count(); took = previewTime(largePage, 1)) {
        largeSize *= std::sqrt(2.5 * work.count() / took);
        largePage = Picture(QStringLiteral("large.png"), largeSize, "PNG");
    }
    // Enough pages to hold every worker thread there is while they wait for room.
    const std::vector<QString> waiting(size_t(QThread::idealThreadCount()) + 1, page);

    std::atomic<bool> slow = false;
    const CommitHook hook([&] {
        if (slow)
            sleep();
    });
    controls.onShown = [&] { slow = true; }; // the writer's commit, not the creator's
    Add({"IN", "A", "B", "C", "2015-01-01", 1.0, "EUR", false, "0", {}, {}, "", ""});

    QElapsedTimer clock;
    struct Case { const char* wait; std::function<void()> run; };
    const Case cases[] = {
        {"the final commit", [&] { Create(); }},
        {"work run off the main thread", [&] { RunWhileYielding(sleep); }},
        {"reading ahead, while the previews of a run wait for room", [&] {
             const PreviewPipeline held(waiting, 1);
             WorkAhead<int> reading;
             reading.Start([&] { sleep(); return 0; });
             reading.Take();
         }},
        {"previews made ahead", [&] {
             PreviewPipeline previews(paths, 1);
             for (const QString& path : paths)
                 EXPECT_EQ(previews.Next(path), preview);
         }},
        {"a run that stops while a page is decoded", [&] {
             const PreviewPipeline stopped({largePage});
             RunWhileYielding([work] { std::this_thread::sleep_for(work / 6); });
         }},
        {"pages out of turn", [&] {
             PreviewPipeline previews(paths, 1);
             for (auto path = paths.rbegin(); path != paths.rend(); ++path)
                 EXPECT_EQ(previews.Next(*path), preview);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wait);
        qint64 lastTurn = 0;
        qint64 longestGap = 0;
        const auto turn = [&] {
            longestGap = std::max(longestGap, clock.elapsed() - lastTurn);
            lastTurn = clock.elapsed();
        };
        ui.services.onYield = turn;
        clock.restart();
        c.run();
        turn();
        ui.services.onYield = nullptr;
        EXPECT_GT(clock.elapsed(), work.count() / 2) << "too little work to measure";
        EXPECT_LT(longestGap, 100);
    }
    EXPECT_EQ(Messages(), QStringList{Success(QStringLiteral("Import"))});
    EXPECT_EQ(Query("SELECT ID FROM Item").size(), 1u);
}

// Any failure of the run is shown once, as the last error text, instead of the success message;
// nothing of the run is committed, while the settings rows and the books stay.
TEST_F(ItemWriterTest, FailedRunsCommitNothing)
{
    const QString good = Picture(QStringLiteral("good.png"), QSize(8, 8), "PNG");
    const QString big = Picture(QStringLiteral("big.jpg"), QSize(600, 800), "JPEG");
    const QString pdf = Pdf(QStringLiteral("text.pdf"));
    const QString gone = Picture(QStringLiteral("gone.png"), QSize(8, 8), "PNG");
    QDir(pages.path()).mkdir(QStringLiteral("folder.png"));
    const QString folderPage = QDir(pages.path()).filePath(QStringLiteral("folder.png"));

    // A limit that lets the PDF file and the small picture in but not the PDF's preview, so a
    // first page fails while the second page of the same row succeeds.
    const long long pdfPreview = MakePreview(pdf).value_or(QByteArray()).size();
    const long long smallLimit = std::max<long long>({FileContents(pdf).size(), FileContents(good).size(),
                                                      MakePreview(good).value_or(QByteArray()).size(), 300}) + 100;
    ASSERT_GT(pdfPreview, smallLimit) << "the PDF preview must be larger than its file";

    const QString tooLong(qsizetype(smallLimit) + 10, QLatin1Char('c'));
    const RowData plain{"IN", "A", "B", "C", "2015-01-01", 1.0, "EUR", false, "0", {good}, {"good.png"}, "image/png", ""};
    auto withPages = [&](QStringList paths) {
        RowData row = plain;
        row.fileNames = paths;
        row.paths = paths;
        return row;
    };
    auto withCategory = [&](const QString& category) {
        RowData row = withPages({});
        row.category = category;
        return row;
    };

    const struct
    {
        const char* name;
        std::vector<RowData> rows;
        long long lengthLimit; // 0: the engine's default
        QString messagePart;
        int previewMessages; // pages whose preview could not be made, each reported when met
        const char* trigger = nullptr; // made before the run, to make an insert fail after a good prepare
    } cases[] = {
        {"page file deleted before the run", {plain, withPages({good, gone}), plain}, 0, gone, 1},
        {"page path names a folder", {withPages({folderPage, good})}, 0, folderPage, 1},
        {"page file larger than the length limit", {withPages({big})}, smallLimit, big, 0},
        {"page insert fails before a later page succeeds", {withPages({pdf, good})}, smallLimit, "Preview", 0},
        {"item insert fails, later rows succeed", {withCategory(tooLong), plain, plain}, smallLimit,
         "Category", 0},
        {"last error wins", {withPages({gone}), withCategory(tooLong)}, smallLimit, "Category", 1},
        {"page insert refused by the engine", {withPages({good, pdf}), plain}, 0, "refused by a trigger", 0,
         "CREATE TEMP TRIGGER Refuse BEFORE INSERT ON Scan WHEN NEW.Page = 2 "
         "BEGIN SELECT RAISE(ABORT, 'refused by a trigger'); END"},
        {"item insert refused by the engine", {plain, withCategory("refuse"), plain}, 0, "refused by a trigger", 0,
         "CREATE TEMP TRIGGER Refuse BEFORE INSERT ON Item WHEN NEW.Category = 'refuse' "
         "BEGIN SELECT RAISE(ABORT, 'refused by a trigger'); END"},
    };
    QFile::remove(gone);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir own;
        session.DBPath = FolderItem(own.path());
        session.ListData.DeleteAllRows();
        for (const RowData& row : c.rows)
            Add(row);
        ui.services.Reset();
        controls = RecordingControls();
        controls.onShown = [&] {
            if (c.lengthLimit)
                session.db->SetLengthLimit(c.lengthLimit);
            if (c.trigger)
                session.db->SQLExecute(QString::fromLatin1(c.trigger));
        };

        SubDBCreateNew(session, QStringLiteral("Import"));
        session.db.reset();

        ASSERT_EQ(Messages().size(), c.previewMessages + 1) << Messages().join(" / ").toStdString();
        EXPECT_EQ(Messages().mid(0, c.previewMessages),
                  QStringList(qsizetype(c.previewMessages), QStringLiteral("Error creating preview!")));
        EXPECT_TRUE(Messages().back().startsWith(QStringLiteral("Error: "))) << Messages().back().toStdString();
        EXPECT_TRUE(Messages().back().contains(c.messagePart)) << Messages().back().toStdString();
        EXPECT_EQ(controls.statusText, QString());
        EXPECT_FALSE(controls.progressVisible);

        const QString file = QDir(own.path()).filePath(QStringLiteral("Import.vellumixdb"));
        EXPECT_EQ(RawQuery(file, "SELECT Name FROM Config").size(), 2u);
        EXPECT_EQ(RawQuery(file, "SELECT ID FROM Book").size(), 5u);
        EXPECT_TRUE(RawQuery(file, "SELECT ID FROM Item").empty());
        EXPECT_TRUE(RawQuery(file, "SELECT ItemID FROM Scan").empty());
    }
}

TEST(SubCleanFieldTest, LineBreaksBecomeSpaces)
{
    const struct
    {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\r\nb", "a  b"}, {"a\rb\nc", "a b c"}, {"\n\n", "  "}, {"a\tb", "a\tb"}, {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubCleanField(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

} // namespace
