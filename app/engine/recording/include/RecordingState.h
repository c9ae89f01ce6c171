// The state of one recording, as it travels to the device context and the image window.
#pragma once

#include <QMetaType>
#include <QString>

enum ERecordingState {
    RecordingInitializing = 0, // controller built, writer not yet open
    RecordingActive = 1,       // frames are taken
    RecordingPaused = 2,       // frames are ignored, the writer stays open
    RecordingDraining = 3,     // stop requested while frames are queued; the writer thread empties the queue
    RecordingStopped = 4,      // finished; the owner tears the recording down
    RecordingFailed = 5,       // a frame could not be written; a failure signal follows
};

Q_DECLARE_METATYPE(ERecordingState)

// Registers the type for queued signals under the name "ERecordingState"; safe to call repeatedly.
void registerRecordingStateMetaType();

// The status bar's text for the state; empty for RecordingFailed and unknown values.
QString recordingStateText(ERecordingState state);
