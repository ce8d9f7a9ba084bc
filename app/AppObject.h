#pragma once

#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <Qt>

// The application object: the program's version numbers, where it lives, the application-wide
// cursor and menu bar, and the one flag set when the application opens.
class AppObject
{
public:
    AppObject();

    // Handler of the application's Open event: sets OSLion from the system's version.
    void Event_Open();

    int MajorVersion() const { return mMajor; }
    int MinorVersion() const { return mMinor; }
    int BugVersion() const { return mBug; }
    // The version shown to the user comes from the build; tests may put other numbers in.
    void SetVersion(int major, int minor, int bug);

    // The program file, as an absolute path.
    QString ExecutableFile() const;

    // The cursor shown over the whole application. Qt::ArrowCursor is the standard pointer.
    Qt::CursorShape MouseCursor() const { return mCursor; }
    void SetMouseCursor(Qt::CursorShape shape);
    // While the program is busy the busy pointer shows over it, whatever MouseCursor holds.
    bool Busy() const { return mBusy; }
    void SetBusy(bool busy);

    // The application's menu bar. On Linux a menu bar lives in a window, so this is the bar the
    // main window takes over; it is not shown by itself.
    QMenuBar* MenuBar() const;
    void SetMenuBar(QMenuBar* bar);

    // True on macOS 10.7 up to 10.x; never on Linux. Set only by Event_Open.
    bool OSLion = false;

private:
    void ApplyCursor();

    int mMajor, mMinor, mBug;
    Qt::CursorShape mCursor = Qt::ArrowCursor;
    bool mBusy = false;
    bool mOverride = false;
    // The window that takes the bar over owns it; the guard forgets a bar once destroyed.
    QPointer<QMenuBar> mMenuBar;
};

// The one application object, created on first use.
AppObject* App();

// <folder of the executable>/../Resources, where the shipped pictures and documents lie.
QString ResourcesFolder();
// Points the picture loader at another folder (tests); an empty path restores the default.
void SetResourcesFolder(const QString& folder);

// The shipped pictures, each loaded once from the Resources folder and kept for the life of the
// program. nullptr while the file is missing or unreadable; the next call tries again.
const QPixmap* IcDBFolder();
const QPixmap* PicDBImport();
