#pragma once

#include <QMenuBar>

class QAction;

// The program's one menu bar: File (About, Quit) and Edit (the standard editing entries, acting
// on the text field that has the focus). Every entry carries its name as objectName.
class AppMenuBar : public QMenuBar
{
public:
    AppMenuBar();

private:
    void Untitled0();  // the File menu
    void Untitled1();  // the Edit menu
};

// The shared menu bar, built on the first request. A window that takes it over owns it; should
// that window be destroyed, the next request builds a new one.
QMenuBar* MenuBar1();

// The entry of MenuBar1 with that name ("About", "FileQuit", "EditMenu"...); a menu gives its
// menu action. nullptr when there is none.
QAction* MenuItemNamed(const QString& name);
