// Small services of the grab engine (see GrabSupport.h).
#include "GrabSupport.h"

#include <GenICam/CaughtException.h>
#include <GenICam/GenericException.h>
#include <nimbo/PixelType.h>

#include <QtGlobal>

#include <exception>

namespace grab {

void detail(const char* function)
{
    qWarning("%s: %s", function, GenICam::CaughtException::Current().What());
}

void warnFailure(const char* function, const char* warning)
{
    if (warning)
        qWarning("%s", warning);
    detail(function);
}

void throwLogicalError(const char* description)
{
    throw GenICam::LogicalErrorException(description, __FILE__, __LINE__);
}

void throwRuntimeError(const char* description)
{
    throw GenICam::RuntimeException(description, __FILE__, __LINE__);
}

uint64_t computeBufferSize(uint32_t pixelType, int32_t width, int32_t height)
{
    if (width < 0 || height < 0)
        throwRuntimeError("Image size is negative.");
    return Nimbo::ComputeBufferSize(static_cast<Nimbo::EPixelType>(pixelType), uint32_t(width), uint32_t(height), 0);
}

} // namespace grab
