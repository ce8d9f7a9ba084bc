#include <gtest/gtest.h>

#include "ScriptedUIServices.h"

#ifdef WIDGET_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

// Pictures, PDF pages and fonts need a GUI application object; widget suites need a QApplication.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication application(argc, argv);
    ScriptedUIServices services;
    SetUIServices(&services);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
