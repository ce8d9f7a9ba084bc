#include "Startup.h"

#include "AppObject.h"
#include "Application.h"
#include "FileTypeSets.h"
#include "MainWindow.h"
#include "MenuBar.h"

bool Startup::Run()
{
    try {
        _InitFileTypes();
        _NewAppInstance();
        _MakeDefaultView();
        return true;
    } catch (...) {
        ReportUnhandledException();
        return false;
    }
}

void Startup::_InitFileTypes()
{
    // Both sets exist before any window, so every file the program meets reports its type.
    FileTypes1::_Initialize();
    ScanType::_Initialize();
}

void Startup::_NewAppInstance()
{
    AppObject* app = App();
    app->SetMenuBar(MenuBar1());
    app->Event_Open();
}

void Startup::_MakeDefaultView()
{
    // The window shows itself and is kept by Qt as a top-level window.
    Main();
}
