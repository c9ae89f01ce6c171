// The SDK library check: dlopen of each library in order, and the text naming the first that fails.
#include "SdkLibraryCheck.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>

const std::vector<std::string>& sdkLibraries()
{
    static const std::vector<std::string> libraries = {"liblog4cpp.so.5", "libNimboGenApi.so", "libNimboGCBase.so",
                                                       "libNimboBase.so", "libNimboUtility.so"};
    return libraries;
}

std::string firstMissingLibrary(const std::vector<std::string>& libraries, const std::string& folder)
{
    for (const std::string& library : libraries) {
        // The caller's run path is not searched when a sanitizer's wrapper is the one calling dlopen,
        // so the folder is tried by name.
        std::string file = library;
        if (!folder.empty() && access((folder + "/" + library).c_str(), F_OK) == 0)
            file = folder + "/" + library;
        // RTLD_NOW resolves every symbol at once, as forcing all delay-loaded imports did.
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
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
