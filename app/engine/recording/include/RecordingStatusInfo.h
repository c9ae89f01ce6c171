// The status of a running recording, filled by the recording controller for the recording status bar.
#pragma once

#include "RecordingState.h"

#include <cstdint>

// The recording status bar takes this record as its StatusInfo.
struct RecordingStatusInfo {
    uint64_t recordedImages = 0; // images the media writer has added so far
    uint64_t bufferUsed = 0;     // frames waiting in the sink's queue
    uint64_t bufferCapacity = 0; // the queue's capacity
    uint64_t droppedImages = 0;  // frames refused because the queue was full
    ERecordingState state = RecordingInitializing;
};
