// Loading of shared libraries through os::Module, with environment references in their paths.
#include "lorvish/DLLJanitor.h"

#include "lorvish/Environment.h"

#include <os/Module.h>

#include <algorithm>
#include <cstdio>
#include <climits>
#include <cstring>

namespace Corvel {

CDLLJanitor::CDLLJanitor() : m_module(std::make_unique<os::Module>()) {}

CDLLJanitor::~CDLLJanitor() = default;

bool CDLLJanitor::load(const char* path)
{
    if (!path || !*path) {
        m_lastError = "No library path given";
        return false;
    }
    std::string expanded(path);
    if (expandEnvironmentVariables(expanded) < 0) {
        m_lastError = "Failed to expand environment variables";
        return false;
    }
    // Paths written for the other platform arrive with backslashes; the separator here is '/'.
    std::replace(expanded.begin(), expanded.end(), '\\', '/');
    if (!m_module->load(expanded)) {
        m_lastError = m_module->errorText();
        return false;
    }
    m_lastError.clear();
    return true;
}

void* CDLLJanitor::resolve(const char* symbol)
{
    if (!m_module->isLoaded())
        return nullptr;
    if (!symbol) {
        m_lastError = "No symbol name given";
        return nullptr;
    }
    void* address = m_module->symbol(symbol);
    if (address)
        m_lastError.clear();
    else
        m_lastError = m_module->errorText();
    return address;
}

bool CDLLJanitor::unload()
{
    return m_module->unload();
}

bool CDLLJanitor::isLoaded() const
{
    return m_module->isLoaded();
}

void CDLLJanitor::setLastErrorText(unsigned long code)
{
    const char* text = code <= static_cast<unsigned long>(INT_MAX) ? strerrordesc_np(static_cast<int>(code)) : nullptr;
    if (text) {
        m_lastError = text;
        return;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "FormatMessage failed for error code 0x%lx", code);
    m_lastError = buffer;
}

} // namespace Corvel
