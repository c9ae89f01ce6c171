// Second line of the feature tree's two-line warnings: the failing function and the exception.
#pragma once

#include <GenICam/GenericException.h>

#include <QDebug>

#include <exception>

namespace featuretree {
inline void warnException(const char* function, const GenICam::GenericException& e)
{
    qWarning().noquote() << QString("%1: ").arg(function) << "Exception occurred:\n"
                         << e.GetDescription() << "\n"
                         << e.GetSourceFileName() << ":" << e.GetSourceLine() << "\n";
}

inline void warnException(const char* function, const std::exception& e)
{
    qWarning().noquote() << QString("%1: ").arg(function) << "Exception occurred:\n" << e.what() << "\n";
}

inline void warnUnknown(const char* function)
{
    qWarning("%s: Unspecified exception occurred.", function);
}
} // namespace featuretree
