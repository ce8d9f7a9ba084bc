#pragma once

#include <QElapsedTimer>
#include <QStringList>

#include "UIServices.h"

// The user interface services of the running program: Qt message boxes, file and folder
// dialogs, the desktop's handlers for documents, folders and addresses, and the cooperative
// yield.
class QtUIServices : public UIServices
{
public:
    void MsgBox(const QString& text) override;
    FolderItem GetOpenFolderItem(const QString& filter) override;
    FolderItem SelectFolder(const QString& prompt) override;
    bool Launch(const FolderItem& item) override;
    bool ShowURL(const QString& url) override;
    // Runs the event loop for pending repaints and posted work, at most every few milliseconds,
    // and never for user input: a busy window takes no clicks or keys until its work is done.
    void Yield() override;

    // The file dialog's filter for a list of registered type names ("csv file;"): one entry per
    // type with its extensions ("csv file (*.csv)"), joined by ";;". A name that is not
    // registered gives an entry matching every file.
    static QString DialogFilter(const QString& typeNames);

    static constexpr int YieldIntervalMs = 5;

private:
    // While a dialog is open: the input held back before it has been delivered, and the user
    // sees the standard pointer even when the window behind it is busy.
    class DialogTurn
    {
    public:
        explicit DialogTurn(QtUIServices& services);
        ~DialogTurn();
        DialogTurn(const DialogTurn&) = delete;
        DialogTurn& operator=(const DialogTurn&) = delete;

    private:
        bool mWasBusy;
    };

    QElapsedTimer mSinceYield;
    // A yield has held user input back since the last dialog.
    bool mInputHeld = false;
};
