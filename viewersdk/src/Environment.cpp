// Environment variables as UTF-8 and $(NAME) expansion.
#include "lorvish/Environment.h"

#include <cstdlib>
#include <new>

namespace Corvel {

bool getEnvironmentVariableUtf8(const char* name, std::string& value)
{
    if (!name)
        return false;
    // The environment already holds bytes in the locale's encoding, UTF-8 here: no conversion.
    const char* found = std::getenv(name);
    if (!found)
        return false;
    try {
        value.assign(found);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool getEnvironmentVariable(const char* name, std::string& value)
{
    if (!name || !*name)
        return false;
    return getEnvironmentVariableUtf8(name, value);
}

int expandEnvironmentVariables(std::string& text)
{
    if (text.size() <= 3 || text.find('$') == std::string::npos)
        return 0;
    try {
        std::string result;
        result.reserve(text.size());
        int replaced = 0;
        size_t i = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (c != '$' || i + 1 >= text.size()) {
                result += c;
                ++i;
                continue;
            }
            const char next = text[i + 1];
            if (next == '$') {
                result += '$';
                i += 2;
                continue;
            }
            if (next == '(') {
                const size_t close = text.find(')', i + 2);
                if (close != std::string::npos && close > i + 2) {
                    const std::string name = text.substr(i + 2, close - i - 2);
                    std::string value;
                    if (getEnvironmentVariableUtf8(name.c_str(), value))
                        result += value;
                    ++replaced;
                    i = close + 1;
                    continue;
                }
                // "$()" and an unclosed "$(" stay literal.
                result += "$(";
                i += 2;
                continue;
            }
            result += '$';
            ++i;
        }
        text.swap(result);
        return replaced;
    } catch (...) {
        return -1;
    }
}

} // namespace Corvel
