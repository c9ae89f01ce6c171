// Discovery of viewer plug-in libraries beside the program and creation of their instances by name.
#pragma once

#include <lorvish/Export.h>
#include <lorvish/Plugin.h>

#include <QString>

namespace Lorvish {

// A static facade over one manager per process. The plug-in libraries ("lib*Plugin.so" in the
// program's folder) are discovered once, on the first call; that set holds for the rest of the
// process. Meant for the GUI thread; a mutex guards the manager's maps all the same. The discovery
// runs in the first caller's thread, and a caller in another thread waits for its whole result; a
// plug-in may call back into the manager from any of its functions, from its version function
// during the discovery too (it then sees the plug-ins found before it).
class LORVISH_EXPORT PluginManager {
public:
    // A new instance of the plug-in of that name (Latin-1, matched exactly, letter case included),
    // or null when there is none or its library made none.
    static IPlugin* createInstance(QString name);
    // Hands the instance back to the library that made it. A pointer that createInstance did not
    // return, or one already destroyed, is refused.
    static void destroyInstance(IPlugin* instance);
    static bool isPluginAvailable(QString name);

    PluginManager(const PluginManager&) = delete;
    PluginManager& operator=(const PluginManager&) = delete;

private:
    struct Private;

    PluginManager();
    ~PluginManager(); // never called: the manager and its libraries last as long as the process
    static PluginManager& getInstance();
    void init();
    bool discover();

    Private* d;
};

} // namespace Lorvish
