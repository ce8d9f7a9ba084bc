#include "AppObject.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <memory>

#include "Gestalt.h"

AppObject::AppObject() : mMajor(VELLUMIX_MAJOR), mMinor(VELLUMIX_MINOR), mBug(VELLUMIX_BUG) {}

void AppObject::Event_Open()
{
    qint64 major = 0;
    qint64 minor = 0;
    // A system that cannot tell its major version is not asked for the minor one.
    if (!Gestalt(QStringLiteral("sys1"), major))
        return;
    if (!Gestalt(QStringLiteral("sys2"), minor))
        return;
    if (major == 10 && minor > 6)
        OSLion = true;
}

void AppObject::SetVersion(int major, int minor, int bug)
{
    mMajor = major;
    mMinor = minor;
    mBug = bug;
}

QString AppObject::ExecutableFile() const { return QCoreApplication::applicationFilePath(); }

void AppObject::SetMouseCursor(Qt::CursorShape shape)
{
    mCursor = shape;
    ApplyCursor();
}

void AppObject::SetBusy(bool busy)
{
    mBusy = busy;
    ApplyCursor();
}

void AppObject::ApplyCursor()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    const Qt::CursorShape shape = mBusy ? Qt::WaitCursor : mCursor;
    // One override of our own at most: the standard pointer takes it away and gives the windows
    // their own cursors back; other overrides are left alone.
    if (shape == Qt::ArrowCursor) {
        if (mOverride)
            QGuiApplication::restoreOverrideCursor();
        mOverride = false;
    } else if (mOverride) {
        QGuiApplication::changeOverrideCursor(QCursor(shape));
    } else {
        QGuiApplication::setOverrideCursor(QCursor(shape));
        mOverride = true;
    }
}

QMenuBar* AppObject::MenuBar() const { return mMenuBar.data(); }

void AppObject::SetMenuBar(QMenuBar* bar) { mMenuBar = bar; }

AppObject* App()
{
    static std::unique_ptr<AppObject> app;
    if (!app)
        app = std::make_unique<AppObject>();
    return app.get();
}

namespace {
QString& ResourcesOverride()
{
    static QString folder;
    return folder;
}

// One cache slot per shipped picture: empty until a load succeeds, then kept.
class PictureCache
{
public:
    explicit PictureCache(QString name) : mName(std::move(name)) {}

    const QPixmap* Get()
    {
        if (!mPicture) {
            QPixmap picture;
            if (picture.load(QDir(ResourcesFolder()).filePath(mName)))
                mPicture = std::make_unique<QPixmap>(picture);
        }
        return mPicture.get();
    }

private:
    QString mName;
    std::unique_ptr<QPixmap> mPicture;
};
}

QString ResourcesFolder()
{
    if (!ResourcesOverride().isEmpty())
        return ResourcesOverride();
    QDir folder(QFileInfo(App()->ExecutableFile()).absolutePath());
    return QDir::cleanPath(folder.filePath(QStringLiteral("../Resources")));
}

void SetResourcesFolder(const QString& folder) { ResourcesOverride() = folder; }

const QPixmap* IcDBFolder()
{
    static PictureCache cache(QStringLiteral("IcDBFolder.png"));
    return cache.Get();
}

const QPixmap* PicDBImport()
{
    static PictureCache cache(QStringLiteral("PicDBImport.png"));
    return cache.Get();
}
