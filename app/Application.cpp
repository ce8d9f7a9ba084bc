#include "Application.h"

#include <QDebug>
#include <QWidget>
#include <exception>

#include "Exceptions.h"
#include "UIServices.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportUnhandledException();
        return false;
    }
}

namespace {
QString MessageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const RuntimeException& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("An unexpected error occurred.");
    }
}
}

void ReportUnhandledException()
{
    const QString message = MessageOf(std::current_exception());
    // Showing the message must not raise again: this is the last handler there is.
    try {
        if (InstalledUIServices()) {
            UI().MsgBox(message);
            return;
        }
    } catch (...) {
    }
    qCritical().noquote() << message;
}

void SetNoTitle(QWidget* window) { window->setWindowTitle(QStringLiteral(" ")); }
