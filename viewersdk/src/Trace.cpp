// The shared trace categories, looked up once by name.
#include "lorvish/Trace.h"

#include <GenICam/Log.h>

namespace Lorvish {

namespace {

log4cpp::Category* category(const char* name)
{
    return GenICam::CLog::GetLogger(name);
}

Trace makeTrace()
{
    return Trace{
        category("Ardenmoor.Misc"),
        category("Ardenmoor.Decoupler"),
        category("Ardenmoor.Decoupler.buffers"),
        category("Ardenmoor.Camera"),
        category("Ardenmoor.Camera.buffers"),
        category("Ardenmoor.QuarnCamera"),
        category("Ardenmoor.ImageWindow"),
        category("Ardenmoor.ImageWindow.buffers"),
        category("Ardenmoor.ImageWindow.RenderWidget"),
        category("Ardenmoor.StreamBuffer"),
        category("Ardenmoor.RecordingController.buffer"),
        category("Ardenmoor.BufferedImageSink"),
        category("Ardenmoor.Sequence"),
        category("Ardenmoor.Sequence.RemoveCamera"),
    };
}

} // namespace

Trace& GetLazyTraceStructInstance_()
{
    // A function-local static is initialised exactly once even when several threads ask first;
    // a plain "filled" flag would let two threads race on the record.
    static Trace trace = makeTrace();
    return trace;
}

} // namespace Lorvish
