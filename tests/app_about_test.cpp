#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

#include "AppObject.h"
#include "MainWindow.h"
#include "MenuBar.h"
#include "QtUIServices.h"
#include "ScriptedUIServices.h"
#include "WinAbout.h"

namespace {

// Closes the open About window and lets it go, so that the next request builds a new one.
void CloseAbout()
{
    QPointer<WinAboutWindow> open = WinAbout();
    open->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    ASSERT_TRUE(open.isNull());
}

void Click(QLabel* label, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, label->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(label, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, label->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(label, &release);
}

void Enter(QLabel* label)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), label->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(label, &enter);
}

void Leave(QLabel* label)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(label, &leave);
}

bool LooksHovered(QLabel* label)
{
    const QColor color = label->palette().color(QPalette::WindowText);
    const bool blue = color == QColor(0, 0, 255);
    EXPECT_TRUE(blue || color == QColor(102, 102, 102)) << qPrintable(color.name());
    EXPECT_EQ(label->font().underline(), blue);
    return blue;
}

// Puts the main window's content area, below its menu bar, where the test wants it.
void PlaceMainContent(const QRect& content)
{
    MainWindow* main = Main();
    const int menu = main->ContentArea()->y();
    main->setGeometry(content.adjusted(0, -menu, 0, 0));
    QCoreApplication::processEvents();
    ASSERT_EQ(QRect(main->ContentArea()->mapToGlobal(QPoint(0, 0)), main->ContentArea()->size()), content);
}

// A fresh About window over a main window whose content area lies where the test wants it.
WinAboutWindow* FreshAbout(const QRect& mainContent = QRect(100, 200, 1024, 680))
{
    CloseAbout();
    PlaceMainContent(mainContent);
    WinAboutWindow* about = WinAbout();
    QCoreApplication::processEvents();
    return about;
}

}  // namespace

TEST(WinAbout, PlacementCentresOnTheMainWindowAndTruncatesTowardZero)
{
    struct Case
    {
        QRect main;
        QPoint expected;
    } cases[] = {
        {{100, 200, 1024, 680}, {302, 285}},
        {{100, 200, 1023, 680}, {301, 285}},  // 301.5
        {{10, 200, 501, 680}, {-49, 285}},    // -49.5, not -50
        {{100, 50, 1024, 301}, {302, -54}},   // -54.5, not limited to the screen
    };
    for (const Case& c : cases)
        EXPECT_EQ(WinAboutWindow::PlaceOver(c.main), c.expected) << c.main.x() << "," << c.main.width();
}

TEST(WinAbout, OpensOverTheMainWindowWithItsFixedSize)
{
    WinAboutWindow* about = FreshAbout();
    EXPECT_EQ(about->geometry(), QRect(302, 285, 620, 310));
    EXPECT_EQ(about->minimumSize(), about->maximumSize());
}

TEST(WinAbout, NeitherItNorAMessageBoxShowsATitle)
{
    // Qt shows the application's name in place of an empty title; a blank one shows nothing.
    const auto showsNone = [](const QString& title) { return !title.isEmpty() && title.trimmed().isEmpty(); };
    EXPECT_TRUE(showsNone(FreshAbout()->windowTitle())) << "About window";

    QtUIServices services;
    QString boxTitle = QStringLiteral("no box");
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxTitle = box->windowTitle();
            box->accept();
        }
    });
    services.MsgBox(QStringLiteral("Error creating preview!"));
    EXPECT_TRUE(showsNone(boxTitle)) << "message box: \"" << qPrintable(boxTitle) << '"';
}

TEST(WinAbout, AboutBringsAMinimisedWindowBackRaisedAndActive)
{
    WinAboutWindow* about = FreshAbout();
    Main()->activateWindow();
    about->showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(about->isMinimized());

    MenuItemNamed("About")->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(WinAbout(), about);
    EXPECT_EQ(about->windowState(), Qt::WindowNoState);
    EXPECT_TRUE(about->isActiveWindow());
}

TEST(WinAbout, ControlsLieOnThePanelWhereTheWindowPlacesThem)
{
    struct Case
    {
        const char* name;
        QRect inWindow;
    } cases[] = {
        {"Canvas2", {6, 2, 256, 256}},        {"TextSoftware", {302, 35, 300, 46}},
        {"LabelVersion", {302, 85, 300, 16}}, {"LabelAllRight", {302, 232, 300, 15}},
        {"LabelCopyright", {302, 217, 300, 15}}, {"TextWeb", {302, 185, 220, 20}},
    };
    WinAboutWindow* about = FreshAbout();
    QWidget* panel = about->Rectangle1();
    ASSERT_NE(panel, nullptr);
    // The panel sticks out 2 on either side, so that only its bottom edge shows.
    EXPECT_EQ(panel->parentWidget(), about);
    EXPECT_EQ(panel->geometry(), QRect(-2, 0, 624, 260));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* control = about->findChild<QWidget*>(c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget(), panel);
        EXPECT_EQ(QRect(control->mapTo(about, QPoint(0, 0)), control->size()), c.inWindow);
    }
    EXPECT_TRUE(about->TextSoftware()->font().bold());
    EXPECT_FALSE(about->LabelVersion()->font().bold());
}

TEST(WinAbout, OneWindowAtATimeAndANewOneAfterClose)
{
    WinAboutWindow* first = FreshAbout();
    first->move(40, 40);
    const QPoint moved = first->pos();
    PlaceMainContent(QRect(300, 300, 1024, 680));
    // Asking again brings back the same window, neither rebuilt nor moved.
    EXPECT_EQ(WinAbout(), first);
    EXPECT_EQ(first->pos(), moved);

    CloseAbout();
    WinAboutWindow* second = WinAbout();
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(second->geometry().topLeft(), QPoint(502, 385));
}

TEST(WinAbout, ShowsTheVersionTheTextsAndTheMakersAddress)
{
    struct Case
    {
        int major, minor, bug;
        const char* text;
    } cases[] = {{3, 1, 4, "Version 3.1.4"}, {2, 0, 0, "Version 2.0.0"}, {1, 12, 30, "Version 1.12.30"}};
    const int major = App()->MajorVersion(), minor = App()->MinorVersion(), bug = App()->BugVersion();
    for (const Case& c : cases) {
        App()->SetVersion(c.major, c.minor, c.bug);
        EXPECT_EQ(FreshAbout()->LabelVersion()->text(), c.text);
    }
    App()->SetVersion(major, minor, bug);

    WinAboutWindow* about = FreshAbout();
    EXPECT_EQ(about->TextSoftware()->text(), "Vellumix Import");
    EXPECT_EQ(about->LabelCopyright()->text(), QString::fromUtf8("© 2026 QuorinSoftware"));
    EXPECT_EQ(about->LabelAllRight()->text(), "All rights reserved.");
    EXPECT_EQ(about->TextWeb()->text(), "www.quorinsoftware.example");
    EXPECT_FALSE(LooksHovered(about->TextWeb()));
}

namespace {
class FrenchAbout : public QTranslator
{
public:
    QString translate(const char* context, const char* key, const char*, int) const override
    {
        if (QByteArray(context) == "WinAbout" && QByteArray(key) == "WinAbout.Cons_AllRights")
            return QString::fromUtf8("Tous droits réservés.");
        return {};
    }
    bool isEmpty() const override { return false; }
};
}  // namespace

TEST(WinAbout, TextsAreLookedUpInTheTranslationsWhenTheWindowIsBuilt)
{
    FrenchAbout french;
    QCoreApplication::installTranslator(&french);
    WinAboutWindow* about = FreshAbout();
    EXPECT_EQ(about->LabelAllRight()->text(), QString::fromUtf8("Tous droits réservés."));
    // No translation: the default text.
    EXPECT_EQ(about->LabelCopyright()->text(), QString::fromUtf8("© 2026 QuorinSoftware"));
    QCoreApplication::removeTranslator(&french);
    EXPECT_EQ(FreshAbout()->LabelAllRight()->text(), "All rights reserved.");
}

TEST(WinAbout, LinkOpensOnlyForAReleaseStrictlyInsideOnTheActiveWindow)
{
    struct Case
    {
        bool active;
        int x, y;  // -1 stands for the label's width or height
        bool opens;
    } cases[] = {
        {true, 1, 1, true},      {true, 100, 10, true},  {true, 0, 1, false},   {true, 1, 0, false},
        {true, -1, 1, false},    {true, 1, -1, false},   {true, 300, 5, false}, {true, 5, -30, false},
        {false, 1, 1, false},    {false, 100, 10, false},
    };
    WinAboutWindow* about = FreshAbout();
    QLabel* web = about->TextWeb();
    for (const Case& c : cases) {
        ScopedScriptedUI ui;
        c.active ? about->Event_Activate() : about->Event_Deactivate();
        Enter(web);
        const QPoint at(c.x == -1 ? web->width() : c.x, c.y == -1 ? web->height() : c.y);
        Click(web, at);
        EXPECT_EQ(ui.services.shownURLs,
                  c.opens ? QStringList{"http://www.quorinsoftware.example"} : QStringList())
            << c.active << " " << at.x() << "," << at.y();
        // Whatever the outcome, the release gives the link its normal look back.
        EXPECT_FALSE(LooksHovered(web));
        Leave(web);
    }
}

TEST(WinAbout, LinkHoverLookAndCursorFollowTheActiveWindow)
{
    WinAboutWindow* about = FreshAbout();
    QLabel* web = about->TextWeb();

    about->Event_Deactivate();
    Enter(web);
    EXPECT_FALSE(LooksHovered(web));
    EXPECT_EQ(App()->MouseCursor(), Qt::ArrowCursor);
    // Becoming active while the pointer rests on the link is not an entry.
    about->Event_Activate();
    EXPECT_FALSE(LooksHovered(web));
    Leave(web);

    Enter(web);
    EXPECT_TRUE(LooksHovered(web));
    EXPECT_EQ(App()->MouseCursor(), Qt::PointingHandCursor);
    // Deactivating keeps the hover look until the pointer leaves.
    about->Event_Deactivate();
    EXPECT_TRUE(LooksHovered(web));
    Leave(web);
    EXPECT_FALSE(LooksHovered(web));
    EXPECT_EQ(App()->MouseCursor(), Qt::ArrowCursor);

    // After a click that opened the address: normal look, finger pointer until the pointer leaves.
    ScopedScriptedUI ui;
    about->Event_Activate();
    Enter(web);
    Click(web, QPoint(2, 2));
    EXPECT_EQ(ui.services.shownURLs.size(), 1);
    EXPECT_FALSE(LooksHovered(web));
    EXPECT_EQ(App()->MouseCursor(), Qt::PointingHandCursor);
    Leave(web);
    EXPECT_EQ(App()->MouseCursor(), Qt::ArrowCursor);
}

TEST(WinAbout, ClosingWhileHoveringGivesTheStandardPointerBack)
{
    WinAboutWindow* about = FreshAbout();
    about->Event_Activate();
    Enter(about->TextWeb());
    ASSERT_EQ(App()->MouseCursor(), Qt::PointingHandCursor);
    CloseAbout();
    EXPECT_EQ(App()->MouseCursor(), Qt::ArrowCursor);
}

TEST(MenuBar, HoldsTheFileAndEditEntriesInOrder)
{
    struct Entry
    {
        const char* name;
        const char* text;  // empty for a separator
        const char* shortcut;
    };
    const Entry file[] = {{"About", "About Vellumix Import...", ""}, {"FileQuit", "&Quit", "Ctrl+Q"}};
    const Entry edit[] = {
        {"EditUndo", "&Undo", "Ctrl+Z"},     {"UntitledMenu1", "", ""},          {"EditCut", "Cu&t", "Ctrl+X"},
        {"EditCopy", "&Copy", "Ctrl+C"},     {"EditPaste", "&Paste", "Ctrl+V"}, {"EditClear", "&Delete", ""},
        {"UntitledMenu0", "", ""},           {"EditSelectAll", "Select &All", "Ctrl+A"},
    };
    QMenuBar* bar = MenuBar1();
    ASSERT_EQ(MenuBar1(), bar);
    const QList<QAction*> menus = bar->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->objectName(), "FileMenu");
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->objectName(), "EditMenu");
    EXPECT_EQ(menus[1]->text(), "&Edit");
    EXPECT_EQ(MenuItemNamed("FileMenu"), menus[0]);

    auto check = [](QMenu* menu, const Entry* entries, size_t count) {
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(size_t(actions.size()), count);
        for (size_t i = 0; i < count; ++i) {
            const Entry& e = entries[i];
            SCOPED_TRACE(e.name);
            EXPECT_EQ(actions[i]->objectName(), e.name);
            EXPECT_EQ(actions[i]->isSeparator(), QString(e.text).isEmpty());
            if (!actions[i]->isSeparator())
                EXPECT_EQ(actions[i]->text(), e.text);
            EXPECT_EQ(actions[i]->shortcut(), QKeySequence(QString(e.shortcut)));
            EXPECT_TRUE(actions[i]->isEnabled());
            EXPECT_TRUE(actions[i]->isVisible());
            EXPECT_EQ(MenuItemNamed(e.name), actions[i]);
        }
    };
    check(menus[0]->menu(), file, std::size(file));
    check(menus[1]->menu(), edit, std::size(edit));
    EXPECT_EQ(MenuItemNamed("NoSuchItem"), nullptr);
}

TEST(MenuBar, EditEntriesActOnTheFocusedTextField)
{
    QWidget window;
    auto* field = new QLineEdit(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), field);

    field->setText("NewImportBD");
    MenuItemNamed("EditSelectAll")->trigger();
    EXPECT_EQ(field->selectedText(), "NewImportBD");
    MenuItemNamed("EditClear")->trigger();
    EXPECT_EQ(field->text(), "");
    MenuItemNamed("EditUndo")->trigger();
    EXPECT_EQ(field->text(), "NewImportBD");
    // Delete takes only a selection away.
    field->deselect();
    field->setCursorPosition(0);
    MenuItemNamed("EditClear")->trigger();
    EXPECT_EQ(field->text(), "NewImportBD");
}

TEST(MenuBar, AboutEntryOpensTheAboutWindow)
{
    CloseAbout();
    Main();
    QPointer<WinAboutWindow> before = WinAbout();
    before->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MenuItemNamed("About")->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(WinAbout()->isVisible());
}

TEST(WinAbout, ALongTranslationIsSetSmallerRatherThanClipped)
{
    class LongAbout : public QTranslator
    {
    public:
        QString translate(const char* context, const char* key, const char*, int) const override
        {
            if (QByteArray(context) == "WinAbout" && QByteArray(key) == "WinAbout.Cons_AllRights")
                return QStringLiteral("Alle Rechte vorbehalten, auch die der Übersetzung und Vervielfältigung.");
            return {};
        }
        bool isEmpty() const override { return false; }
    } german;
    QCoreApplication::installTranslator(&german);
    QLabel* label = FreshAbout()->LabelAllRight();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    QCoreApplication::removeTranslator(&german);
}
