// Kalmuth's entry: the SDK library check before main, then application, style sheet and main window.
#include "Kalmuth.h"
#include "Startup.h"

#include <nimbo/TlFactory.h>
#include <os/System.h>

#include <QFile>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

// Runs during static initialisation, before main and before any Qt object exists. Without a GUI yet
// the report goes to stderr; exit code 5 is what a caller sees.
int checkSdkLibrariesBeforeMain()
{
    const std::string missing = firstMissingLibrary(sdkLibraries());
    if (!missing.empty()) {
        std::fprintf(stderr, "Ardenmoor: %s\n", missingLibraryText(missing).c_str());
        std::_Exit(5);
    }
    return 0;
}

const int sdkLibrariesChecked = checkSdkLibrariesBeforeMain();

} // namespace

int main(int argc, char** argv)
{
    (void)sdkLibrariesChecked;
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
