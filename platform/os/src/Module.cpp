// Shared-library loading with dlopen.
#include "os/Module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <utility>

namespace os {

namespace {

std::string lastDlError(const char* fallback)
{
    const char* text = dlerror();
    return text ? std::string(text) : std::string(fallback);
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

Module::~Module()
{
    unload();
}

Module::Module(Module&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error))
{
}

Module& Module::operator=(Module&& other) noexcept
{
    if (this != &other) {
        unload();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool Module::load(const std::string& path)
{
    if (path.empty()) {
        m_error = "No library path given";
        return false;
    }
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        m_error = lastDlError("dlopen failed");
        return false;
    }
    if (m_handle && m_handle != handle)
        dlclose(m_handle);
    else if (m_handle == handle)
        dlclose(handle); // the same library again: keep one reference
    m_handle = handle;
    m_error.clear();
    return true;
}

void* Module::symbol(const char* name)
{
    if (!m_handle) {
        m_error = "No library loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(m_handle, name);
    const char* text = dlerror();
    if (text || !address) {
        m_error = text ? std::string(text) : std::string("Symbol not found: ") + name;
        return nullptr;
    }
    m_error.clear();
    return address;
}

bool Module::unload()
{
    if (!m_handle)
        return false;
    dlclose(m_handle);
    m_handle = nullptr;
    return true;
}

std::string programFolder()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0)
        return ".";
    return folderOf(std::string(buffer, static_cast<size_t>(length)));
}

std::string moduleFolderOf(const void* address)
{
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return programFolder();
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved))
        return folderOf(resolved);
    return folderOf(info.dli_fname);
}

} // namespace os
