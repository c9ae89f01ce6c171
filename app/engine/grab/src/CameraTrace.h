// The trace categories and the durable SDK log lines that the grab engine's files share (see Camera.h).
#pragma once

#include <lorvish/Trace.h>
#include <nimbo/Mivtrace.h>

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
    return *Lorvish::GetLazyTraceStructInstance_().sequence;
}

inline void sdkLog(unsigned level, const QString& text)
{
    static const Mivtrace::CatID category = Mivtrace::LogGetCatID("Tesvar.Base");
    Mivtrace::LogTrace(category, level, "%s", text.toUtf8().constData());
}

} // namespace
