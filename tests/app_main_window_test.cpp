#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>

#include "AppObject.h"
#include "Canvas.h"
#include "ErrorRowDelegate.h"
#include "FileTypeSets.h"
#include "ImportListModel.h"
#include "MainWindow.h"
#include "MenuBar.h"
#include "PageFixtures.h"
#include "QtUIServices.h"
#include "RawSqlite.h"
#include "ScriptedUIServices.h"
#include "Text.h"
#include "WinAbout.h"

namespace {

const QString Success(const QString& name)
{
    return QStringLiteral("The new Database <") + name + QStringLiteral("> was created successfully.") + EndOfLine
           + QStringLiteral("You can now use this DB in Quorin Vellumix.");
}

// Presses and releases the left button in the middle of a widget, through the event queue, as a
// user's click arrives.
void PostClick(QWidget* widget)
{
    const QPointF local = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(local);
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, local, global, Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}

// The contrast ratio of two colours, from their relative luminance (1 to 21).
double ContrastRatio(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class MainWindowTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FileTypes1::_Initialize();
        ScanType::_Initialize();
    }

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(files.isValid());
        // The application-data folder and the shipped resources of these tests.
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        QDir().mkpath(files.filePath("Resources"));
        SetResourcesFolder(files.filePath("Resources"));
    }

    void TearDown() override
    {
        window.reset();
        SetResourcesFolder(QString());
        qunsetenv("XDG_DATA_HOME");
        App()->SetMouseCursor(Qt::ArrowCursor);
    }

    MainWindow& Open()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QCoreApplication::processEvents();
        return *window;
    }

    // A CSV file with two rows: a good one with two pages (JPEG, PDF) and one whose supplier is
    // empty (marked in error).
    FolderItem WriteCsv()
    {
        const QString folder = files.filePath("source");
        QDir().mkpath(folder);
        WritePicturePage(folder, "p1.jpg", QSize(300, 400), "JPEG");
        WritePdfPage(folder, "p2.pdf", "Invoice 1");
        WriteBytes(folder, "import.csv",
                   "Invoice,Office,Acme,R-1,2018-05-06,12.5,usd,yes,24,p1.jpg;p2.pdf\n"
                   "Receipt,Travel,,R-2,2018-06-07,3,EUR,no,0,p1.jpg\n");
        return FolderItem(QDir(folder).filePath("import.csv"));
    }

    // Loads the CSV file through the source button, the chooser answering with it.
    void LoadCsv()
    {
        ui.services.chooserAnswers.push_back(WriteCsv());
        window->ButtonStart()->click();
    }

    QTemporaryDir home;
    QTemporaryDir files;
    ScopedScriptedUI ui;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, NewWindowHasItsTitleControlsAndInitialState)
{
    App()->SetVersion(1, 0, 12);
    MainWindow& w = Open();

    EXPECT_EQ(w.windowTitle(), QStringLiteral("Quorin Vellumix Import Utility V 1.0.12"));
    EXPECT_EQ(w.ContentArea()->size(), QSize(1024, 680));
    EXPECT_EQ(w.menuBar(), MenuBar1());

    const struct
    {
        const char* name;
        QWidget* control;
        QRect geometry;
    } controls[] = {
        {"ListData", w.ListData(), {20, 200, 984, 429}},
        {"ButtonCreateDB", w.ButtonCreateDB(), {884, 160, 120, 20}},
        {"FieldDBName", w.FieldDBName(), {600, 160, 260, 22}},
        {"ButtonStart", w.ButtonStart(), {20, 160, 120, 20}},
        {"RadioButtonMode 0", w.RadioButtonMode(0), {20, 76, 460, 20}},
        {"RadioButtonMode 1", w.RadioButtonMode(1), {20, 101, 460, 20}},
        {"ProgressBar1", w.ProgressBar1(), {528, 641, 440, 20}},
        {"Label1", w.Label1(), {20, 14, 852, 50}},
        {"Canvas1", w.Canvas1(), {550, 155, 32, 32}},
        {"LabelFileName", w.LabelFileName(), {20, 641, 488, 20}},
        {"PushButtonHelp", w.PushButtonHelp(), {985, 648, 19, 20}},
        {"LabelCurrency", w.LabelCurrency(), {169, 160, 112, 20}},
        {"PopupCurrency", w.PopupCurrency(), {293, 160, 64, 20}},
        {"LabelCurrency1", w.LabelCurrency1(), {451, 160, 95, 29}},
        {"Canvas2", w.Canvas2(), {872, 14, 128, 128}},
    };
    for (const auto& c : controls) {
        ASSERT_NE(c.control, nullptr) << c.name;
        EXPECT_EQ(c.control->parentWidget(), w.ContentArea()) << c.name;
        EXPECT_EQ(c.control->geometry(), c.geometry) << c.name;
    }

    EXPECT_TRUE(w.RadioButtonMode(0)->isChecked());
    EXPECT_FALSE(w.RadioButtonMode(1)->isChecked());
    EXPECT_EQ(w.RadioButtonMode(0)->text(), QStringLiteral("Read the structure from a 'CSV' file"));
    EXPECT_EQ(w.RadioButtonMode(1)->text(), QStringLiteral("Create the structure from the folder tree"));
    EXPECT_EQ(w.ButtonStart()->text(), QStringLiteral("Select file"));
    EXPECT_EQ(w.ButtonCreateDB()->text(), QStringLiteral("Create DB"));
    EXPECT_FALSE(w.ButtonCreateDB()->isEnabled()) << "a name alone does not enable it";
    EXPECT_EQ(w.FieldDBName()->text(), QStringLiteral("NewImportBD"));
    EXPECT_EQ(w.FieldDBName()->placeholderText(), QStringLiteral("Enter a name for the new DB"));
    const QString longName(40000, u'n');
    w.FieldDBName()->setText(longName);
    EXPECT_EQ(w.FieldDBName()->text(), longName) << "the name field has no length limit";
    w.FieldDBName()->setText(QStringLiteral("NewImportBD"));
    EXPECT_FALSE(w.ProgressBar1()->isVisible());
    EXPECT_EQ(w.ProgressBar1()->value(), 0);
    EXPECT_EQ(w.ProgressBar1()->maximum(), 100);
    EXPECT_EQ(w.LabelFileName()->text(), QString());
    EXPECT_LT(w.LabelFileName()->font().pointSizeF(), w.ButtonStart()->font().pointSizeF());
    EXPECT_LT(w.LabelCurrency1()->font().pointSizeF(), w.ButtonStart()->font().pointSizeF());
    EXPECT_EQ(w.Label1()->text(),
              QStringLiteral("This utility allows you to create a new database for Quorin Vellumix to import a large "
                             "number of documents automatically.\n\nYou can choose between two types of imports:"));
    EXPECT_EQ(w.LabelCurrency()->text(), QStringLiteral("Default currency :"));
    EXPECT_EQ(w.LabelCurrency1()->text(), QStringLiteral("Click to open ->\nthe DB folder"));
    EXPECT_EQ(w.PushButtonHelp()->text(), QString());
    for (QPushButton* button : {w.ButtonCreateDB(), w.ButtonStart(), w.PushButtonHelp()}) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }

    QComboBox* currency = w.PopupCurrency();
    ASSERT_EQ(currency->count(), 170);
    EXPECT_EQ(currency->itemText(0), QStringLiteral("AED"));
    EXPECT_EQ(currency->itemText(169), QStringLiteral("ZWD"));
    EXPECT_EQ(currency->currentIndex(), 43);
    EXPECT_EQ(w.CurrencyText(), QStringLiteral("EUR"));

    QAbstractItemModel* model = w.ListData()->model();
    EXPECT_EQ(model->rowCount(), 0);
    QStringList headings;
    for (int column = 0; column < 10; ++column) {
        headings << model->headerData(column, Qt::Horizontal).toString();
        EXPECT_FALSE(w.ListData()->isColumnHidden(column)) << column;
    }
    EXPECT_EQ(headings, QStringList({"Type", "Category", "Supplier", "Reference", "Date", "Amount", "Currency",
                                     "Is Warranty", "Months", "File1,File2,..."}));
    for (int column = 10; column <= 20; ++column)
        EXPECT_TRUE(w.ListData()->isColumnHidden(column)) << column;

    EXPECT_TRUE(w.Session().DBPath.IsNull()) << "no default database folder in this application-data folder";
    EXPECT_EQ(w.Session().Var_Book.Entries(), BookTable::WithDefaults().Entries());
    EXPECT_EQ(w.ImportMode(), 0);
}

TEST_F(MainWindowTest, TabOrderFollowsTheTabIndexesAndSkipsCanvasesAndLabels)
{
    MainWindow& w = Open();
    w.ButtonCreateDB()->setEnabled(true);
    const QList<QWidget*> expected = {w.ListData(),       w.ButtonCreateDB(),   w.FieldDBName(),    w.ButtonStart(),
                                      w.RadioButtonMode(0), w.RadioButtonMode(1), w.PushButtonHelp(), w.PopupCurrency()};
    QList<QWidget*> chain;
    QWidget* widget = w.ListData();
    do {
        if (widget->parentWidget() == w.ContentArea() && (widget->focusPolicy() & Qt::TabFocus))
            chain << widget;
        widget = widget->nextInFocusChain();
    } while (widget != w.ListData());
    EXPECT_EQ(chain, expected);
    for (QWidget* never : std::initializer_list<QWidget*>{w.Canvas1(), w.Canvas2(), w.Label1(), w.LabelFileName(),
                                                          w.LabelCurrency(), w.LabelCurrency1(), w.ProgressBar1()})
        EXPECT_FALSE(never->focusPolicy() & Qt::TabFocus) << never->objectName().toStdString();
}

// Presses Tab (or Shift+Tab) from the focused control until the focus comes back to it; the
// controls it went through, by name (the radio buttons with their index).
QStringList FocusRound(MainWindow& w, QWidget* start, bool backwards)
{
    start->setFocus();
    QStringList names;
    for (int step = 0; step < 20; ++step) {
        QWidget* focused = QApplication::focusWidget();
        if (!focused || (step > 0 && focused == start))
            break;
        QString name = focused->objectName();
        if (focused == w.RadioButtonMode(0) || focused == w.RadioButtonMode(1))
            name += focused == w.RadioButtonMode(0) ? QStringLiteral(" 0") : QStringLiteral(" 1");
        names << name;
        QKeyEvent key(QEvent::KeyPress, backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                      backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QCoreApplication::sendEvent(focused, &key);
    }
    return names;
}

TEST_F(MainWindowTest, TabKeyVisitsBothModeButtonsAndCreateDBOnlyWhileEnabled)
{
    MainWindow& w = Open();
    w.activateWindow();
    QCoreApplication::processEvents();
    const QStringList all = {"ListData",          "ButtonCreateDB",    "FieldDBName",    "ButtonStart",
                             "RadioButtonMode 0", "RadioButtonMode 1", "PushButtonHelp", "PopupCurrency"};
    QStringList withoutCreate = all;
    withoutCreate.removeAll("ButtonCreateDB");
    QStringList backwards = {"ListData"};
    for (int i = all.size() - 1; i > 0; --i)
        backwards << all[i];

    const struct
    {
        const char* what;
        bool createEnabled;
        int selectedMode;
        bool backwards;
        QStringList expected;
    } cases[] = {
        {"new window", false, 0, false, withoutCreate},
        {"Create DB enabled", true, 0, false, all},
        {"folder mode selected", true, 1, false, all},
        {"Shift+Tab", true, 0, true, backwards},
    };
    for (const auto& c : cases) {
        w.RadioButtonMode(c.selectedMode)->setChecked(true);
        // The selected mode button has had the focus, as after a click on it.
        w.RadioButtonMode(c.selectedMode)->setFocus();
        w.ButtonCreateDB()->setEnabled(c.createEnabled);
        EXPECT_EQ(FocusRound(w, w.ListData(), c.backwards).join(", ").toStdString(), c.expected.join(", ").toStdString())
            << c.what;
    }
}

TEST_F(MainWindowTest, ControlsKeepTheirDistanceToTheLockedEdgesWhenTheWindowIsResized)
{
    MainWindow& w = Open();
    w.resize(w.size() + QSize(200, 100));
    QCoreApplication::processEvents();
    ASSERT_EQ(w.ContentArea()->size(), QSize(1224, 780));

    const struct
    {
        const char* name;
        QWidget* control;
        QRect geometry;
    } controls[] = {
        {"ListData (all four edges: grows both ways)", w.ListData(), {20, 200, 1184, 529}},
        {"ButtonCreateDB (top, right)", w.ButtonCreateDB(), {1084, 160, 120, 20}},
        {"FieldDBName (top, right)", w.FieldDBName(), {800, 160, 260, 22}},
        {"ButtonStart (left, top)", w.ButtonStart(), {20, 160, 120, 20}},
        {"RadioButtonMode 0 (left, top)", w.RadioButtonMode(0), {20, 76, 460, 20}},
        {"RadioButtonMode 1 (left, top)", w.RadioButtonMode(1), {20, 101, 460, 20}},
        {"ProgressBar1 (right, bottom)", w.ProgressBar1(), {728, 741, 440, 20}},
        {"Label1 (left, top)", w.Label1(), {20, 14, 852, 50}},
        {"Canvas1 (top, right)", w.Canvas1(), {750, 155, 32, 32}},
        {"LabelFileName (left, right, bottom)", w.LabelFileName(), {20, 741, 688, 20}},
        {"PushButtonHelp (right, bottom)", w.PushButtonHelp(), {1185, 748, 19, 20}},
        {"LabelCurrency (left, top)", w.LabelCurrency(), {169, 160, 112, 20}},
        {"PopupCurrency (left, top)", w.PopupCurrency(), {293, 160, 64, 20}},
        {"LabelCurrency1 (top, right)", w.LabelCurrency1(), {651, 160, 95, 29}},
        {"Canvas2 (top, right)", w.Canvas2(), {1072, 14, 128, 128}},
    };
    for (const auto& c : controls)
        EXPECT_EQ(c.control->geometry(), c.geometry) << c.name;

    w.resize(w.size() - QSize(200, 100));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ListData()->geometry(), QRect(20, 200, 984, 429)) << "back to the design size";
}

TEST_F(MainWindowTest, DefaultDatabaseFolderOnlyWhenEveryLevelExists)
{
    const QString db = QDir(home.path()).filePath("QuorinSoftware/Vellumix/DB");
    const struct
    {
        const char* levels;
        bool set;
    } cases[] = {
        {"", false},
        {"QuorinSoftware", false},
        {"QuorinSoftware/Vellumix", false},
        {"QuorinSoftware/Vellumix/DB", true},
    };
    for (const auto& c : cases) {
        QDir(QDir(home.path()).filePath("QuorinSoftware")).removeRecursively();
        if (*c.levels)
            ASSERT_TRUE(QDir(home.path()).mkpath(c.levels));
        ui.services.Reset();
        MainWindow& w = Open();
        EXPECT_EQ(w.Session().DBPath, c.set ? FolderItem(db) : FolderItem()) << c.levels;

        // The folder icon opens the database folder, and does nothing without one.
        EXPECT_FALSE(w.Canvas1_MouseDown(3, 3));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), w.Canvas1()->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.Canvas1(), &press);
        const std::vector<FolderItem> expected = c.set ? std::vector<FolderItem>{FolderItem(db), FolderItem(db)}
                                                       : std::vector<FolderItem>{};
        EXPECT_EQ(ui.services.launched, expected) << c.levels;
    }
}

TEST_F(MainWindowTest, LoadingACsvFileThenSwitchingModeEmptiesTheList)
{
    MainWindow& w = Open();
    w.ProgressBar1()->show();
    LoadCsv();

    EXPECT_FALSE(w.ProgressBar1()->isVisible()) << "the source button hides the progress bar";
    EXPECT_EQ(ui.services.chooserFilters, QStringList{"csv file;"});
    QAbstractItemModel* model = w.ListData()->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("Office"));
    EXPECT_EQ(model->data(model->index(0, 6)).toString(), QStringLiteral("USD"));
    EXPECT_EQ(model->data(model->index(0, 9)).toString(), QStringLiteral("p1.jpg;p2.pdf"));
    EXPECT_EQ(model->data(model->index(0, 7), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model->data(model->index(1, 7), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_FALSE(model->data(model->index(0, 7), Qt::DisplayRole).isValid()) << "the check box column shows no text";
    EXPECT_TRUE(w.ButtonCreateDB()->isEnabled());

    // A row in error is red in every column, visible and hidden alike; the others keep the
    // list's own colour.
    for (int column = 0; column < 21; ++column) {
        EXPECT_FALSE(model->data(model->index(0, column), Qt::ForegroundRole).isValid()) << column;
        EXPECT_EQ(model->data(model->index(1, column), Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0))
            << column;
    }
    // Selected, the row in error keeps a readable red on a light bar; the other row takes the
    // selection's colours.
    struct OpenDelegate : ErrorRowDelegate
    {
        using ErrorRowDelegate::initStyleOption;
    } delegate;
    const QPalette list = w.ListData()->palette();
    for (int row = 0; row < 2; ++row) {
        QStyleOptionViewItem option;
        option.palette = list;
        delegate.initStyleOption(&option, model->index(row, 2));
        const QColor text = option.palette.color(QPalette::HighlightedText);
        const QColor bar = option.palette.color(QPalette::Highlight);
        if (row == 0) {
            EXPECT_EQ(text, list.color(QPalette::HighlightedText));
            EXPECT_EQ(bar, list.color(QPalette::Highlight));
            continue;
        }
        EXPECT_EQ(text.hue(), 0) << qPrintable(text.name());
        EXPECT_GT(text.saturation(), 200) << qPrintable(text.name());
        EXPECT_GE(ContrastRatio(text, bar), 4.5) << qPrintable(text.name()) << " on " << qPrintable(bar.name());
    }
    // The CSV reader's widths: fixed columns keep their width.
    EXPECT_EQ(w.ListData()->columnWidth(4), 120);
    EXPECT_EQ(w.ListData()->columnWidth(6), 80);

    const struct
    {
        int mode;
        const char* caption;
        int visible;
    } switches[] = {{1, "Select folder", 5}, {0, "Select file", 10}};
    for (const auto& s : switches) {
        if (s.mode == 0)
            LoadCsv();
        w.RadioButtonMode(s.mode)->click();
        EXPECT_TRUE(w.RadioButtonMode(s.mode)->isChecked());
        EXPECT_FALSE(w.RadioButtonMode(1 - s.mode)->isChecked()) << "one group";
        EXPECT_EQ(w.ImportMode(), s.mode);
        EXPECT_EQ(w.Session().ListData.ListCount(), 0) << s.caption;
        EXPECT_EQ(model->rowCount(), 0) << s.caption;
        EXPECT_EQ(w.ButtonStart()->text(), QString::fromUtf8(s.caption));
        for (int column = 0; column < 21; ++column)
            EXPECT_EQ(w.ListData()->isColumnHidden(column), column >= s.visible) << s.caption << " column " << column;
        EXPECT_FALSE(w.ButtonCreateDB()->isEnabled()) << s.caption;
    }
}

TEST_F(MainWindowTest, CurrencyListOpensAsTwentyScrollingRowsOnTheChosenCurrency)
{
    MainWindow& w = Open();
    QComboBox* currency = w.PopupCurrency();
    const struct
    {
        const char* code;
    } cases[] = {{"EUR"}, {"ZWD"}, {"AED"}};
    for (const auto& c : cases) {
        currency->setCurrentText(QString::fromUtf8(c.code));
        currency->showPopup();
        QCoreApplication::processEvents();
        QAbstractItemView* list = currency->view();
        const int rows = list->viewport()->height() / list->sizeHintForRow(0);
        EXPECT_GE(rows, 18) << c.code;
        EXPECT_LE(rows, 21) << c.code;
        EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(list->currentIndex()))) << c.code;
        currency->hidePopup();
    }
}

TEST_F(MainWindowTest, CreateDBNeedsANameAndRows)
{
    MainWindow& w = Open();
    const struct
    {
        const char* name;
        bool rows;
        bool allInError;
        bool enabled;
    } cases[] = {
        {"NewImportBD", false, false, false}, {"NewImportBD", true, false, true}, {"   ", true, false, false},
        {"", true, false, false},             {" \t x ", true, false, true},     {"Errors", true, true, true},
    };
    for (const auto& c : cases) {
        w.Session().ListData.DeleteAllRows();
        if (c.rows) {
            w.Session().ListData.AddRow("Invoices");
            if (c.allInError)
                w.Session().ListData.SetCell(0, 20, "X");
        }
        w.FieldDBName()->setText(QStringLiteral("changed"));
        w.FieldDBName()->setText(QString::fromUtf8(c.name));
        EXPECT_EQ(w.ButtonCreateDB()->isEnabled(), c.enabled) << '"' << c.name << '"';
    }

    // A cancelled chooser leaves the list empty, and the rule runs after it.
    w.FieldDBName()->setText("Name");
    ASSERT_TRUE(w.ButtonCreateDB()->isEnabled());
    w.ButtonStart()->click();
    EXPECT_EQ(w.Session().ListData.ListCount(), 0);
    EXPECT_FALSE(w.ButtonCreateDB()->isEnabled());
}

TEST_F(MainWindowTest, CreateDBWritesTheDatabaseAndReportsSuccess)
{
    MainWindow& w = Open();
    QTemporaryDir target;
    w.Session().DBPath = FolderItem(target.path());
    LoadCsv();
    w.PopupCurrency()->setCurrentText("CHF");
    w.FieldDBName()->setText("  Archive 2018  ");
    ASSERT_TRUE(w.ButtonCreateDB()->isEnabled());

    w.ButtonCreateDB()->click();

    const QString file = QDir(target.path()).filePath("Archive 2018.vellumixdb");
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(ui.services.messages, QStringList{Success("Archive 2018")});
    const auto items = RawQuery(file, "SELECT Typ, Category, Name, Info, Currency FROM Item");
    ASSERT_EQ(items.size(), 1u) << "the row in error is not imported";
    EXPECT_EQ(items[0][1].Text(), QStringLiteral("Office"));
    EXPECT_EQ(items[0][4].Text(), QStringLiteral("USD")) << "CSV mode takes the row's currency";
    const auto pages = RawQuery(file, "SELECT FileName FROM Scan ORDER BY Page");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1][0].Text(), QStringLiteral("p2.pdf"));
    EXPECT_FALSE(w.ProgressBar1()->isVisible());

    // The list, the name and the button stay; the same name again creates nothing new.
    EXPECT_EQ(w.Session().ListData.ListCount(), 2);
    EXPECT_EQ(w.FieldDBName()->text(), QStringLiteral("  Archive 2018  "));
    EXPECT_TRUE(w.ButtonCreateDB()->isEnabled());
    ui.services.messages.clear();
    w.ButtonCreateDB()->click();
    EXPECT_EQ(QDir(target.path()).entryList(QDir::Files), QStringList{"Archive 2018.vellumixdb"});
    ASSERT_EQ(ui.services.messages.size(), 1);
    EXPECT_TRUE(ui.services.messages[0].contains("already exist")) << ui.services.messages[0].toStdString();
}

TEST_F(MainWindowTest, SelectingARowShowsItsCodeCategorySupplierAndFiles)
{
    MainWindow& w = Open();
    LoadCsv();
    const struct
    {
        int row;
        const char* status;
    } cases[] = {{0, "IN/Office/Acme/p1.jpg;p2.pdf"}, {1, "RE/Travel/Error/p1.jpg"}, {-1, ""}};
    for (const auto& c : cases) {
        if (c.row < 0)
            w.ListData()->clearSelection();
        else
            w.ListData()->selectRow(c.row);
        EXPECT_EQ(w.ListIndex(), c.row);
        EXPECT_EQ(w.LabelFileName()->text(), QString::fromUtf8(c.status)) << c.row;
    }
    w.ListData()->selectRow(0);
    w.RadioButtonMode(1)->click();
    EXPECT_EQ(w.LabelFileName()->text(), QString()) << "emptying the list clears the status line";
}

TEST_F(MainWindowTest, WhileTheDatabaseIsWrittenTheWindowTakesNoInput)
{
    MainWindow& w = Open();
    QTemporaryDir target;
    w.Session().DBPath = FolderItem(target.path());
    LoadCsv();
    w.FieldDBName()->setText("Busy");

    // Clicks on "Create DB" and on the other mode while the writer yields.
    int yields = 0;
    ui.services.onYield = [&] {
        if (++yields != 1)
            return;
        PostClick(w.ButtonCreateDB());
        PostClick(w.RadioButtonMode(1));
        QCoreApplication::processEvents();
    };
    w.ButtonCreateDB()->click();
    ui.services.onYield = nullptr;
    QCoreApplication::processEvents();

    ASSERT_GT(yields, 0);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(ui.services.messages, QStringList{Success("Busy")}) << "no second creation";
    EXPECT_TRUE(w.RadioButtonMode(0)->isChecked()) << "no mode switch";
    EXPECT_EQ(w.Session().ListData.ListCount(), 2) << "the list was not emptied";
    EXPECT_FALSE(w.Busy());

    // The same click when the window is not busy is handled: the test above can fail.
    PostClick(w.ButtonCreateDB());
    QCoreApplication::processEvents();
    ASSERT_EQ(ui.services.messages.size(), 2);
    EXPECT_TRUE(ui.services.messages[1].contains("already exist"));
}

TEST_F(MainWindowTest, ACloseDuringARunIsCarriedOutOnceTheRunAndItsMessageAreOver)
{
    const struct
    {
        const char* how;
        std::function<bool(MainWindow&)> close;
    } cases[] = {
        {"close box", [](MainWindow& w) { return w.close(); }},
        {"Ctrl+Q", [](MainWindow& w) {
             QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
             return !w.isVisible();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        MainWindow& w = Open();
        w.activateWindow();
        QTemporaryDir target;
        w.Session().DBPath = FolderItem(target.path());
        LoadCsv();
        w.FieldDBName()->setText("Closing");
        ui.services.messages.clear();

        int yields = 0;
        bool closed = true;
        bool busyPointer = false;
        ui.services.onYield = [&] {
            if (++yields != 1)
                return;
            busyPointer = QGuiApplication::overrideCursor()
                          && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
            closed = c.close(w);
        };
        w.ButtonCreateDB()->click();
        ui.services.onYield = nullptr;

        ASSERT_GT(yields, 0);
        EXPECT_TRUE(busyPointer) << "the busy pointer shows while the run lasts";
        EXPECT_FALSE(closed) << "not in the middle of the run";
        EXPECT_EQ(ui.services.messages, QStringList{Success("Closing")}) << "the run ends with its message";
        EXPECT_EQ(RawQuery(QDir(target.path()).filePath("Closing.vellumixdb"), "SELECT Page FROM Scan").size(), 2u);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        QCoreApplication::processEvents();
        EXPECT_FALSE(w.isVisible()) << "then the window closes";
    }
}

TEST_F(MainWindowTest, AnErrorInAHandlerIsShownAndTheWindowGoesOn)
{
    MainWindow& w = Open();
    // A resources path no file reference can be made of.
    SetResourcesFolder(QStringLiteral("/tmp/bad") + QChar(0) + QStringLiteral("name"));
    w.PushButtonHelp()->click();
    ASSERT_EQ(ui.services.messages.size(), 1);
    EXPECT_FALSE(ui.services.messages[0].isEmpty());

    LoadCsv();
    EXPECT_EQ(w.Session().ListData.ListCount(), 2) << "the window goes on";
}

TEST_F(MainWindowTest, HelpButtonOpensTheQuickHelpWhenItIsThere)
{
    MainWindow& w = Open();
    w.PushButtonHelp()->click();
    EXPECT_TRUE(ui.services.launched.empty()) << "no help document, nothing happens";
    EXPECT_TRUE(ui.services.messages.isEmpty());

    const QString help = WriteBytes(files.filePath("Resources"), "QuickHelp.pdf", "%PDF-1.4\n");
    w.PushButtonHelp()->click();
    EXPECT_EQ(ui.services.launched, std::vector<FolderItem>{FolderItem(help)});
}

TEST_F(MainWindowTest, PicturesAndPointerOfTheCanvases)
{
    QImage picture(64, 32, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    ASSERT_TRUE(picture.save(files.filePath("Resources/PicDBImport.png")));
    ASSERT_TRUE(picture.save(files.filePath("Resources/IcDBFolder.png")));
    MainWindow& w = Open();

    EXPECT_EQ(w.Canvas1()->Backdrop(), IcDBFolder());
    // Drawn into 128 x 128 whatever its proportions.
    const QImage painted = w.Canvas2()->grab().toImage();
    EXPECT_EQ(painted.pixelColor(120, 120), QColor(0, 0, 255));
    EXPECT_EQ(painted.pixelColor(4, 4), QColor(0, 0, 255));

    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), w.Canvas1()->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(w.Canvas1(), &enter);
    EXPECT_EQ(App()->MouseCursor(), Qt::PointingHandCursor);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w.Canvas1(), &leave);
    EXPECT_EQ(App()->MouseCursor(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, AboutMenuItemOpensOneAboutWindow)
{
    MainWindow& w = Open();
    QAction* about = MenuItemNamed("About");
    ASSERT_NE(about, nullptr);
    about->trigger();
    WinAboutWindow* first = WinAbout();
    EXPECT_TRUE(first->isVisible());
    about->trigger();
    EXPECT_EQ(WinAbout(), first);
    EXPECT_TRUE(w._About_Action());
    first->close();
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheEventLoopWithExitCodeZero)
{
    MainWindow& w = Open();
    // Qt's own quit on the last window closed would hide a window that does not end the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Should the close not end the loop, the next event does, with another code. The guard takes
    // that event with it when the test is over.
    QObject guard;
    QMetaObject::invokeMethod(
        &w,
        [&] {
            w.close();
            QMetaObject::invokeMethod(&guard, [] { QCoreApplication::exit(99); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    const int code = QApplication::exec();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, TheMainGetterGivesOneWindow)
{
    MainWindow* main = Main();
    EXPECT_EQ(Main(), main);
    EXPECT_TRUE(main->isVisible());
    delete main;
}

TEST(ImportListModelTest, RowsAddedByAReaderAreAnnouncedInOneBatch)
{
    ImportList list;
    ImportListModel model(list);
    int inserted = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        ++inserted;
        EXPECT_EQ(first, 0);
        EXPECT_EQ(last, 999);
    });
    for (int row = 0; row < 1000; ++row) {
        list.AddRow("Invoices");
        list.SetCell(row, 1, QString::number(row));
    }
    EXPECT_EQ(model.rowCount(), 0) << "not announced yet";
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(), 1000);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(model.data(model.index(999, 1)).toString(), QStringLiteral("999"));

    // A mark set on an announced row repaints the row red.
    list.SetCell(5, 20, "X");
    EXPECT_EQ(model.data(model.index(5, 3), Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    // The user ticks a warranty box; other columns hold no check box.
    EXPECT_TRUE(model.setData(model.index(3, 7), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(list.CellCheck(3, 7));
    EXPECT_FALSE(model.setData(model.index(3, 6), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(model.flags(model.index(0, 7)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 6)) & Qt::ItemIsUserCheckable);

    list.DeleteAllRows();
    EXPECT_EQ(model.rowCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(inserted, 1);
}

TEST(QtUIServicesTest, DialogFilterNamesTheExtensionsOfEachRegisteredType)
{
    FileTypes1::_Initialize();
    ScanType::_Initialize();
    EXPECT_EQ(QtUIServices::DialogFilter("csv file;"), QStringLiteral("csv file (*.csv)"));
    EXPECT_EQ(QtUIServices::DialogFilter("no such type;"), QStringLiteral("no such type (*)"));
    EXPECT_EQ(QtUIServices::DialogFilter(""), QString());
}


} // namespace
