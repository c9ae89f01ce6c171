// Second line of the feature tree's two-line warnings: the failing function and the exception, written by the
// library's exception printers.
#pragma once

#include "orbelt/Helpers.h"

#include <GenICam/GenericException.h>

#include <QDebug>

#include <exception>

namespace featuretree {
inline void warnException(const char* function, const GenICam::GenericException& e)
{
    qWarning().noquote().nospace() << function << ": " << e;
}

inline void warnException(const char* function, const std::exception& e)
{
    qWarning().noquote().nospace() << function << ": " << e;
}

inline void warnUnknown(const char* function) { qWarning("%s: Unspecified exception occurred.", function); }
} // namespace featuretree
