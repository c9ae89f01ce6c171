// A loaded shared library (dlopen/dlsym), keeping the text of the last failure.
#pragma once

#include <string>

namespace os {

// Not thread-safe: one owner loads, resolves and unloads.
class Module {
public:
    Module() = default;
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;

    // Loads the library at path (a bare name is searched on the system's library path). A library
    // loaded earlier by this object is released only after the new one loaded.
    bool load(const std::string& path);
    // Address of the symbol, or null with errorText() set.
    void* symbol(const char* name);
    template <typename Function>
    Function function(const char* name)
    {
        return reinterpret_cast<Function>(symbol(name));
    }
    // False when nothing is loaded.
    bool unload();

    bool isLoaded() const { return m_handle != nullptr; }
    void* handle() const { return m_handle; }
    // Empty after each success.
    const std::string& errorText() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

// Folder of the running program (from /proc/self/exe), without a trailing slash.
std::string programFolder();
// Folder of the shared object that contains the given address.
std::string moduleFolderOf(const void* address);

} // namespace os
