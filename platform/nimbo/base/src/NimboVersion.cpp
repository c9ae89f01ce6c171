// Version of the camera SDK stand-in.
#include <nimbo/NimboVersion.h>

namespace Nimbo {
namespace {
constexpr unsigned int kMajor = 1, kMinor = 0, kSubminor = 0, kBuild = 1;
}

const char* GetNimboVersionString()
{
    return "1.0.0.1";
}

void GetNimboVersion(unsigned int* major, unsigned int* minor, unsigned int* subminor, unsigned int* build)
{
    if (major)
        *major = kMajor;
    if (minor)
        *minor = kMinor;
    if (subminor)
        *subminor = kSubminor;
    if (build)
        *build = kBuild;
}

} // namespace Nimbo
