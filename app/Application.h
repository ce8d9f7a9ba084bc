#pragma once

#include <QApplication>

// The Qt application with the program's handler of last resort: an exception that escapes an event
// handler is shown in a message box and the program goes on.
class Application : public QApplication
{
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows the exception being handled (call it inside a catch block) in a message box, or on the
// error output when no user interface is installed.
void ReportUnhandledException();

// The title of a window that shows none. Qt puts the application's name in place of an empty
// title, so the window gets a single blank instead.
void SetNoTitle(QWidget* window);
