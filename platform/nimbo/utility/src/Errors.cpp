// Exceptions the utility library throws.
#include "Errors.h"

#include <stdexcept>

namespace Nimbo {

void throwInvalidArgument(const std::string& text)
{
    throw std::invalid_argument(text);
}

void throwOutOfRange(const std::string& text)
{
    throw std::out_of_range(text);
}

void throwRuntime(const std::string& text)
{
    throw std::runtime_error(text);
}

} // namespace Nimbo
