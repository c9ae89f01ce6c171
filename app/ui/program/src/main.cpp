// Kalmuth's entry: application, style sheet and main window. The SDK library check runs in the launcher
// (launcher.cpp) before this program starts: the program links those libraries, so the system loader
// would refuse it before any check of its own could run.
#include "Kalmuth.h"
#include "Startup.h"

#include <nimbo/TlFactory.h>
#include <os/System.h>

#include <QFile>
#include <QIcon>

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName("Kalmuth");
    QCoreApplication::setOrganizationName("Velmar");
    QCoreApplication::setOrganizationDomain("velmar.example");
    qInstallMessageHandler(kalmuthMessageHandler);
    Q_INIT_RESOURCE(Kalmuth);

    Nimbo::NimboAutoInitTerm sdk;
    os::comInitialize(os::ComApartment::SingleThreaded);
    MyApplication app(argc, argv);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + "/plugins");

    QFile styleFile(":/Kalmuth/Resources/Stylesheet/TesvarFlatStyle.qss");
    styleFile.open(QFile::ReadOnly);
    const QString styleSheet = QString::fromUtf8(styleFile.readAll());
    styleFile.close();
    app.setStyleSheet(styleSheet);

    int result = 0;
    {
        Kalmuth window;
        QIcon icon;
        for (int size : {256, 128, 64, 48, 32, 24, 16})
            icon.addFile(QString(":/Kalmuth/Resources/Icon_%1x%1.png").arg(size), QSize(), QIcon::Normal, QIcon::Off);
        window.setWindowIcon(icon);
        window.setWindowTitle(window.windowTitle() + " 64-Bit");
        window.show();
        QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
        result = app.exec();
    }
    return exitCodeOf(result);
}
