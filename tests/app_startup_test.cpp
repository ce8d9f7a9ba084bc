#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMenuBar>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <map>
#include <stdexcept>

#include "AppObject.h"
#include "Exceptions.h"
#include "FileType.h"
#include "Gestalt.h"
#include "MainWindow.h"
#include "MenuBar.h"
#include "ScriptedUIServices.h"
#include "Startup.h"
#include "WinAbout.h"

// The picture caches keep what they load for the life of the program, so the test that finds a
// picture missing runs first, before any window has asked for one.
TEST(PictureCache, MissingPictureGivesNothingAndIsTriedAgainThenKept)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    SetResourcesFolder(folder.path());

    EXPECT_EQ(IcDBFolder(), nullptr);
    EXPECT_EQ(IcDBFolder(), nullptr);

    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    ASSERT_TRUE(icon.save(QDir(folder.path()).filePath("IcDBFolder.png")));

    const QPixmap* first = IcDBFolder();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size(), QSize(32, 32));
    // Once loaded, the picture is not read again: the same object, even with the file gone.
    ASSERT_TRUE(QFile::remove(QDir(folder.path()).filePath("IcDBFolder.png")));
    EXPECT_EQ(IcDBFolder(), first);

    SetResourcesFolder(QString());
}

TEST(PictureCache, ProgramPictureIsBuiltBesideTheProgram)
{
    // Resources/ lies beside bin/, where the build puts the drawn pictures.
    const QPixmap* picture = PicDBImport();
    ASSERT_NE(picture, nullptr) << qPrintable(ResourcesFolder());
    EXPECT_EQ(picture->size(), QSize(256, 256));
    EXPECT_EQ(PicDBImport(), picture);
    EXPECT_TRUE(QFile::exists(QDir(ResourcesFolder()).filePath("QuickHelp.pdf")));
}

namespace {

// Records the steps as they run and what stands when each one begins.
class RecordingStartup : public Startup
{
public:
    struct Step
    {
        QString name;
        QString csvType, pdfType;
        bool menuBarSet;
    };
    std::vector<Step> steps;
    QString failIn;
    bool failWithPlatformError = true;

protected:
    void _InitFileTypes() override { Enter("InitFileTypes", [this] { Startup::_InitFileTypes(); }); }
    void _NewAppInstance() override { Enter("NewAppInstance", [this] { Startup::_NewAppInstance(); }); }
    void _MakeDefaultView() override { Enter("MakeDefaultView", [this] { Startup::_MakeDefaultView(); }); }

private:
    template <typename Step_>
    void Enter(const QString& name, Step_ run)
    {
        steps.push_back({name, FileType::NameForExtension(".csv"), FileType::NameForExtension(".pdf"),
                         App()->MenuBar() != nullptr});
        if (name == failIn) {
            if (failWithPlatformError)
                throw IOException("The file \"x.plist\" could not be read.");
            throw std::runtime_error("out of order");
        }
        run();
    }
};

}  // namespace

TEST(Startup, FailingStepIsReportedAndStopsTheStartUp)
{
    struct Case
    {
        const char* failIn;
        bool platformError;
        const char* message;
        size_t stepsRun;
    } cases[] = {
        {"InitFileTypes", true, "The file \"x.plist\" could not be read.", 1},
        {"NewAppInstance", false, "out of order", 2},
    };
    for (const Case& c : cases) {
        ScopedScriptedUI ui;
        RecordingStartup startup;
        startup.failIn = c.failIn;
        startup.failWithPlatformError = c.platformError;
        EXPECT_FALSE(startup.Run()) << c.failIn;
        EXPECT_EQ(startup.steps.size(), c.stepsRun) << c.failIn;
        EXPECT_EQ(ui.services.messages, QStringList{c.message}) << c.failIn;
    }
}

TEST(Startup, FileTypesComeBeforeTheMenuBarAndTheMenuBarBeforeTheWindow)
{
    ScopedScriptedUI ui;
    RecordingStartup startup;
    ASSERT_TRUE(startup.Run());

    ASSERT_EQ(startup.steps.size(), 3u);
    EXPECT_EQ(startup.steps[0].name, "InitFileTypes");
    EXPECT_EQ(startup.steps[1].name, "NewAppInstance");
    EXPECT_EQ(startup.steps[2].name, "MakeDefaultView");
    // Both sets are registered before the application object and its menu bar exist.
    EXPECT_EQ(startup.steps[1].csvType, "csv file");
    EXPECT_EQ(startup.steps[1].pdfType, "application/pdf");
    EXPECT_FALSE(startup.steps[1].menuBarSet);
    // The application's menu bar is set before the window exists, and the window takes it over.
    EXPECT_TRUE(startup.steps[2].menuBarSet);
    MainWindow* window = Main();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->menuBar(), MenuBar1());
    EXPECT_EQ(App()->MenuBar(), MenuBar1());
}

TEST(AppObject, OSLionFollowsTheSystemVersion)
{
    struct Case
    {
        std::map<QString, qint64> answers;
        bool lion;
        QStringList asked;
    } cases[] = {
        {{{"sys1", 10}, {"sys2", 6}}, false, {"sys1", "sys2"}},
        {{{"sys1", 10}, {"sys2", 7}}, true, {"sys1", "sys2"}},
        {{{"sys1", 10}, {"sys2", 15}}, true, {"sys1", "sys2"}},
        {{{"sys1", 11}, {"sys2", 0}}, false, {"sys1", "sys2"}},
        {{{"sys1", 11}, {"sys2", 7}}, false, {"sys1", "sys2"}},
        {{{"sys1", 9}, {"sys2", 9}}, false, {"sys1", "sys2"}},
        {{{"sys1", 10}}, false, {"sys1", "sys2"}},
        // A system that cannot tell its major version is not asked the minor one.
        {{{"sys2", 7}}, false, {"sys1"}},
        {{}, false, {"sys1"}},
    };
    for (const Case& c : cases) {
        QStringList asked;
        ScopedGestalt gestalt([&](const QString& selector, qint64& result) {
            asked << selector;
            auto answer = c.answers.find(selector);
            if (answer == c.answers.end())
                return false;
            result = answer->second;
            return true;
        });
        AppObject app;
        app.Event_Open();
        EXPECT_EQ(app.OSLion, c.lion) << qPrintable(QStringList(asked).join(','));
        EXPECT_EQ(asked, c.asked);
    }
}

TEST(AppObject, LinuxAnswersNoSelector)
{
    qint64 value = 42;
    EXPECT_FALSE(Gestalt("sys1", value));
    AppObject app;
    app.Event_Open();
    EXPECT_FALSE(app.OSLion);
}

// Quitting closes the windows, so these tests come last.
TEST(Quit, ControlQQuitsWithCodeZeroFromEitherWindow)
{
    struct Case
    {
        const char* activeWindow;
    } cases[] = {{"Main"}, {"WinAbout"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.activeWindow);
        QPointer<MainWindow> main = Main();
        QPointer<WinAboutWindow> about = WinAbout();
        QWidget* active = QString(c.activeWindow) == "Main" ? static_cast<QWidget*>(main) : about.data();
        QCoreApplication::processEvents();
        active->activateWindow();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::activeWindow(), active);

        bool quitChosen = false;
        QObject::connect(MenuItemNamed("FileQuit"), &QAction::triggered, [&] { quitChosen = true; });
        QTimer::singleShot(0, [&] {
            QTest::keyClick(active, Qt::Key_Q, Qt::ControlModifier);
            // Without a quit the loop would run on: end it with a code the test refuses.
            if (!quitChosen)
                QCoreApplication::exit(99);
        });
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_TRUE(quitChosen);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(main.isNull());
        EXPECT_TRUE(about.isNull());
        // Leave no window behind for the next case.
        if (about)
            delete about.data();
        if (main)
            delete main.data();
    }
}
