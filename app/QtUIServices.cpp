#include "QtUIServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "AppObject.h"
#include "Application.h"
#include "FileType.h"

namespace {
// Dialogs belong to the window the user works in.
QWidget* DialogParent() { return QApplication::activeWindow(); }
}

void QtUIServices::MsgBox(const QString& text)
{
    const DialogTurn turn(*this);
    // No title: a narrow box would clip any.
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, DialogParent());
    SetNoTitle(&box);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

QString QtUIServices::DialogFilter(const QString& typeNames)
{
    QStringList entries;
    for (const QString& name : typeNames.split(u';', Qt::SkipEmptyParts)) {
        QStringList patterns;
        for (const QString& extension : FileType::ExtensionsForName(name))
            patterns << (extension.startsWith(u'.') ? QStringLiteral("*") + extension : QStringLiteral("*.") + extension);
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        entries << QStringLiteral("%1 (%2)").arg(name, patterns.join(u' '));
    }
    return entries.join(QStringLiteral(";;"));
}

FolderItem QtUIServices::GetOpenFolderItem(const QString& filter)
{
    const DialogTurn turn(*this);
    const QString path = QFileDialog::getOpenFileName(DialogParent(), QString(), QString(), DialogFilter(filter));
    return path.isEmpty() ? FolderItem() : GetFolderItem(path);
}

FolderItem QtUIServices::SelectFolder(const QString& prompt)
{
    const DialogTurn turn(*this);
    const QString path = QFileDialog::getExistingDirectory(DialogParent(), prompt);
    return path.isEmpty() ? FolderItem() : GetFolderItem(path);
}

bool QtUIServices::Launch(const FolderItem& item)
{
    return item && QDesktopServices::openUrl(QUrl::fromLocalFile(item.AbsolutePath()));
}

bool QtUIServices::ShowURL(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

void QtUIServices::Yield()
{
    if (mSinceYield.isValid() && mSinceYield.elapsed() < YieldIntervalMs)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    mSinceYield.restart();
    mInputHeld = true;
}

QtUIServices::DialogTurn::DialogTurn(QtUIServices& services) : mWasBusy(App()->Busy())
{
    // A dialog blocks the windows behind it, and Qt drops a close request that reaches a blocked
    // window; so the input the yields held back goes to its windows first (a busy window keeps
    // only a close request of it).
    if (services.mInputHeld) {
        services.mInputHeld = false;
        QCoreApplication::processEvents();
    }
    App()->SetBusy(false);
}

QtUIServices::DialogTurn::~DialogTurn() { App()->SetBusy(mWasBusy); }
