// The trace categories and the durable log lines that the grab engine's files share (see Camera.h).
#pragma once

#include "EngineLog.h"

#include <lorvish/Trace.h>

#include <QString>

#include <log4cpp/Category.hh>

namespace {

inline log4cpp::Category& cameraLog()
{
    return *Lorvish::GetLazyTraceStructInstance_().camera;
}
inline log4cpp::Category& buffersLog()
{
    return *Lorvish::GetLazyTraceStructInstance_().cameraBuffers;
}
inline log4cpp::Category& sequenceLog()
{
    return enginelog::sequence();
}

// One line of the program's durable log ("Tesvar.Base").
inline void sdkLog(enginelog::Level level, const QString& text)
{
    enginelog::write(enginelog::Base, level, "%s", text.toUtf8().constData());
}

} // namespace
