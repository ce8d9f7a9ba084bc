#include "MenuBar.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <functional>

namespace {

// What an Edit entry does to the text field that has the focus; nothing when none has it.
struct EditOperation
{
    std::function<void(QLineEdit*)> line;
    std::function<void(QTextEdit*)> text;
    std::function<void(QPlainTextEdit*)> plain;
};

void ApplyToFocusedField(const EditOperation& operation)
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus))
        operation.line(line);
    else if (auto* text = qobject_cast<QTextEdit*>(focus))
        operation.text(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        operation.plain(plain);
}

template <typename Edit>
void DeleteSelection(Edit* edit)
{
    QTextCursor cursor = edit->textCursor();
    cursor.removeSelectedText();
    edit->setTextCursor(cursor);
}

// Sets the properties every entry carries: its name, its text, its shortcut.
QAction* NewEntry(QObject* parent, const QString& name, const QString& text,
                  const QKeySequence& shortcut = QKeySequence())
{
    auto* action = new QAction(text, parent);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    return action;
}

QAction* NewSeparator(QObject* parent, const QString& name)
{
    auto* action = new QAction(parent);
    action->setObjectName(name);
    action->setSeparator(true);
    return action;
}

QMenu* NewMenu(QMenuBar* bar, const QString& name, const QString& text)
{
    auto* menu = new QMenu(text, bar);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    bar->addMenu(menu);
    return menu;
}

void AddEditEntry(QMenu* menu, const QString& name, const QString& text, const QKeySequence& shortcut,
                  EditOperation operation)
{
    QAction* action = NewEntry(menu, name, text, shortcut);
    QObject::connect(action, &QAction::triggered, action,
                     [operation = std::move(operation)] { ApplyToFocusedField(operation); });
    menu->addAction(action);
}

}  // namespace

AppMenuBar::AppMenuBar()
{
    Untitled0();
    Untitled1();
}

void AppMenuBar::Untitled0()
{
    QMenu* file = NewMenu(this, QStringLiteral("FileMenu"), QStringLiteral("&File"));

    // The main window handles it (it opens the About window).
    QAction* about = NewEntry(file, QStringLiteral("About"), QStringLiteral("About Vellumix Import..."));
    about->setMenuRole(QAction::AboutRole);
    file->addAction(about);

    QAction* quit = NewEntry(file, QStringLiteral("FileQuit"), QStringLiteral("&Quit"),
                             QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);
    // Ctrl+Q quits from any window of the program, the About window included, which has no menu
    // bar of its own.
    quit->setShortcutContext(Qt::ApplicationShortcut);
    // Quitting asks every window to close first, so that one that refuses keeps the program running.
    QObject::connect(quit, &QAction::triggered, quit, [] {
        QApplication::closeAllWindows();
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                return;
        QCoreApplication::exit(0);
    });
    file->addAction(quit);
}

void AppMenuBar::Untitled1()
{
    QMenu* edit = NewMenu(this, QStringLiteral("EditMenu"), QStringLiteral("&Edit"));

    AddEditEntry(edit, QStringLiteral("EditUndo"), QStringLiteral("&Undo"), QKeySequence(QStringLiteral("Ctrl+Z")),
                 {[](QLineEdit* e) { e->undo(); }, [](QTextEdit* e) { e->undo(); },
                  [](QPlainTextEdit* e) { e->undo(); }});
    edit->addAction(NewSeparator(edit, QStringLiteral("UntitledMenu1")));
    AddEditEntry(edit, QStringLiteral("EditCut"), QStringLiteral("Cu&t"), QKeySequence(QStringLiteral("Ctrl+X")),
                 {[](QLineEdit* e) { e->cut(); }, [](QTextEdit* e) { e->cut(); },
                  [](QPlainTextEdit* e) { e->cut(); }});
    AddEditEntry(edit, QStringLiteral("EditCopy"), QStringLiteral("&Copy"), QKeySequence(QStringLiteral("Ctrl+C")),
                 {[](QLineEdit* e) { e->copy(); }, [](QTextEdit* e) { e->copy(); },
                  [](QPlainTextEdit* e) { e->copy(); }});
    AddEditEntry(edit, QStringLiteral("EditPaste"), QStringLiteral("&Paste"), QKeySequence(QStringLiteral("Ctrl+V")),
                 {[](QLineEdit* e) { e->paste(); }, [](QTextEdit* e) { e->paste(); },
                  [](QPlainTextEdit* e) { e->paste(); }});
    AddEditEntry(edit, QStringLiteral("EditClear"), QStringLiteral("&Delete"), QKeySequence(),
                 {[](QLineEdit* e) {
                      if (e->hasSelectedText())
                          e->del();
                  }, [](QTextEdit* e) { DeleteSelection(e); },
                  [](QPlainTextEdit* e) { DeleteSelection(e); }});
    edit->addAction(NewSeparator(edit, QStringLiteral("UntitledMenu0")));
    AddEditEntry(edit, QStringLiteral("EditSelectAll"), QStringLiteral("Select &All"),
                 QKeySequence(QStringLiteral("Ctrl+A")),
                 {[](QLineEdit* e) { e->selectAll(); }, [](QTextEdit* e) { e->selectAll(); },
                  [](QPlainTextEdit* e) { e->selectAll(); }});
}

QMenuBar* MenuBar1()
{
    // Whoever takes the bar over (the main window) owns it; the guard notices when it is gone.
    static QPointer<QMenuBar> bar;
    if (!bar)
        bar = new AppMenuBar();
    return bar.data();
}

QAction* MenuItemNamed(const QString& name)
{
    for (QAction* action : MenuBar1()->findChildren<QAction*>(name))
        if (action->objectName() == name)
            return action;
    return nullptr;
}
