// Exceptions the utility library throws: the GenICam family, as every SDK caller expects.
#include "Errors.h"

#include <GenICam/GenericException.h>

namespace Nimbo {

void throwInvalidArgument(const std::string& text)
{
    throw GenICam::InvalidArgumentException(text.c_str(), __FILE__, __LINE__);
}

void throwOutOfRange(const std::string& text)
{
    throw GenICam::OutOfRangeException(text.c_str(), __FILE__, __LINE__);
}

void throwRuntime(const std::string& text)
{
    throw GenICam::RuntimeException(text.c_str(), __FILE__, __LINE__);
}

} // namespace Nimbo
