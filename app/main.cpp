#include <QLocale>
#include <QTranslator>

#include "AppObject.h"
#include "Application.h"
#include "QtUIServices.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    Application application(argc, argv);
    QtUIServices services;
    SetUIServices(&services);

    // The About window's texts in the user's language, when a translation is shipped.
    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("vellumix-import"), QStringLiteral("_"),
                        ResourcesFolder() + QStringLiteral("/translations")))
        application.installTranslator(&translator);

    Startup startup;
    if (!startup.Run())
        return 1;
    if (const QPixmap* picture = PicDBImport())
        application.setWindowIcon(QIcon(*picture));
    return application.exec();
}
