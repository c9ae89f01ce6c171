// Environment variables read as UTF-8 and expansion of $(NAME) references in texts.
#pragma once

#include <lorvish/Export.h>

#include <string>

namespace Corvel {

// Replaces every "$(NAME)" with the variable's value (nothing when unset) and "$$" with "$".
// "$()", an unclosed "$(" and "$" before any other character stay as they are. Returns the number
// of references replaced, or -1 on failure (the text is then unchanged). Texts of three characters
// or fewer are never expanded.
LORVISH_EXPORT int expandEnvironmentVariables(std::string& text);

// False for a null or empty name; otherwise as getEnvironmentVariableUtf8.
LORVISH_EXPORT bool getEnvironmentVariable(const char* name, std::string& value);

// True with the value when the variable exists (an empty value included); value is assigned only
// on success.
LORVISH_EXPORT bool getEnvironmentVariableUtf8(const char* name, std::string& value);

} // namespace Corvel
