#include <QApplication>
#include <QLabel>

// Stands in until the main window exists.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QLabel placeholder("Vellumix Import: the main window is not built yet.");
    placeholder.resize(420, 80);
    placeholder.show();
    return application.exec();
}
