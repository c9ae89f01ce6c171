// Owner of one loaded shared library, keeping the text of the last failure.
#pragma once

#include <lorvish/Export.h>

#include <memory>
#include <string>

namespace os {
class Module;
}

namespace Corvel {

// Held by shared pointer; whoever holds the last reference keeps the library loaded.
// Not thread-safe: one owner loads, resolves and unloads.
class LORVISH_EXPORT CDLLJanitor {
public:
    CDLLJanitor();
    ~CDLLJanitor(); // frees a loaded library
    CDLLJanitor(const CDLLJanitor&) = delete;
    CDLLJanitor& operator=(const CDLLJanitor&) = delete;

    // Expands $(NAME) references in the path, turns '\' into '/' and loads the library. A library
    // loaded earlier by this janitor is freed only once the new one is loaded.
    bool load(const char* path);
    // Address of the symbol; null when nothing is loaded or the symbol is missing.
    void* resolve(const char* symbol);
    template <typename Function>
    Function resolveFunction(const char* symbol)
    {
        return reinterpret_cast<Function>(resolve(symbol));
    }
    // False when nothing is loaded.
    bool unload();

    bool isLoaded() const;
    // UTF-8; empty after each success, overwritten by each failure.
    const std::string& lastError() const { return m_lastError; }
    // The system's text for an errno-style code, or "FormatMessage failed for error code 0x<hex>"
    // when the system has none.
    void setLastErrorText(unsigned long code);

private:
    std::unique_ptr<os::Module> m_module;
    std::string m_lastError;
};

} // namespace Corvel
