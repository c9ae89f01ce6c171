// Exceptions the utility library throws, raised in one place so that every caller gets the same types.
#pragma once

#include <string>

namespace Nimbo {

[[noreturn]] void throwInvalidArgument(const std::string& text);
[[noreturn]] void throwOutOfRange(const std::string& text);
[[noreturn]] void throwRuntime(const std::string& text);

} // namespace Nimbo
