// The fourteen log categories that the libraries and the program share for debug tracing.
#pragma once

#include <lorvish/Export.h>

namespace log4cpp {
class Category;
}

namespace Lorvish {

// Built once on first use and read-only afterwards; log4cpp categories may be used from any thread.
struct Trace {
    log4cpp::Category* misc;                      // "Ardenmoor.Misc"
    log4cpp::Category* decoupler;                 // "Ardenmoor.Decoupler"
    log4cpp::Category* decouplerBuffers;          // "Ardenmoor.Decoupler.buffers"
    log4cpp::Category* camera;                    // "Ardenmoor.Camera"
    log4cpp::Category* cameraBuffers;             // "Ardenmoor.Camera.buffers"
    log4cpp::Category* quarnCamera;               // "Ardenmoor.QuarnCamera"
    log4cpp::Category* imageWindow;               // "Ardenmoor.ImageWindow"
    log4cpp::Category* imageWindowBuffers;        // "Ardenmoor.ImageWindow.buffers"
    log4cpp::Category* renderWidget;              // "Ardenmoor.ImageWindow.RenderWidget"
    log4cpp::Category* streamBuffer;              // "Ardenmoor.StreamBuffer"
    log4cpp::Category* recordingControllerBuffer; // "Ardenmoor.RecordingController.buffer"
    log4cpp::Category* bufferedImageSink;         // "Ardenmoor.BufferedImageSink"
    log4cpp::Category* sequence;                  // "Ardenmoor.Sequence"
    log4cpp::Category* sequenceRemoveCamera;      // "Ardenmoor.Sequence.RemoveCamera"
};

// The one record of the process; safe to call first from any thread.
LORVISH_EXPORT Trace& GetLazyTraceStructInstance_();

} // namespace Lorvish
