// The SDK library check, the message handler and the application object that swallows exceptions.
#include "Startup.h"

#include <GenICam/GenICam.h>

#include <QEvent>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

const std::vector<std::string>& sdkLibraries()
{
    static const std::vector<std::string> libraries = {"liblog4cpp.so.5", "libNimboGenApi.so", "libNimboGCBase.so",
                                                       "libNimboBase.so", "libNimboUtility.so"};
    return libraries;
}

std::string firstMissingLibrary(const std::vector<std::string>& libraries)
{
    for (const std::string& library : libraries) {
        // RTLD_NOW resolves every symbol at once, as forcing all delay-loaded imports did.
        void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return library;
        dlclose(handle);
    }
    return std::string();
}

std::string missingLibraryText(const std::string& library)
{
    char text[1024];
    std::snprintf(text, sizeof text,
                  "The DLL '%s' or one of its dependencies could not be found.\n\nIf this happens immediately after "
                  "the Nimbo installation you may need to log off and on again, or reboot your system.\n\nPlease "
                  "check your setup or try to repair your installation.\nIf this doesn't help please contact Velmar "
                  "support.\n\nThe application will exit.",
                  library.c_str());
    return text;
}

void kalmuthMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "Fatal: %s (%s:%u, %s)\n", message.toLocal8Bit().constData(), context.file ? context.file : "",
                 static_cast<unsigned>(context.line), context.function ? context.function : "");
    std::abort();
}

QString unexpectedExceptionText(const QEvent* event)
{
    if (!event)
        return QStringLiteral("An unexpected exception occurred in an event handler.");
    return QStringLiteral("An unexpected exception occurred in an event handler (id=%1).")
        .arg(static_cast<int>(event->type()));
}

MyApplication::MyApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool MyApplication::notify(QObject* receiver, QEvent* event)
{
    return dispatchGuarded([&] { return QApplication::notify(receiver, event); }, event);
}

bool dispatchGuarded(const std::function<bool()>& dispatch, const QEvent* event)
{
    QString info;
    bool hasInfo = false;
    try {
        return dispatch();
    } catch (const GenICam::GenericException& e) {
        info = QString::fromLatin1(e.what());
        hasInfo = true;
    } catch (const std::exception& e) {
        info = QString::fromLatin1(e.what());
        hasInfo = true;
    } catch (...) {
    }
    qWarning("%s", unexpectedExceptionText(event).toLatin1().constData());
    if (hasInfo)
        qWarning("Additional info: '%s'", info.toLatin1().constData());
    return false;
}
