// Texts and meta-type registration of the recording state.
#include "RecordingState.h"

void registerRecordingStateMetaType()
{
    qRegisterMetaType<ERecordingState>("ERecordingState");
}

QString recordingStateText(ERecordingState state)
{
    switch (state) {
    case RecordingInitializing: return QStringLiteral("Initializing");
    case RecordingActive: return QStringLiteral("Recording");
    case RecordingPaused: return QStringLiteral("Recording paused");
    case RecordingDraining: return QStringLiteral("Stopped. Writing images remaining in buffer");
    case RecordingStopped: return QStringLiteral("Recording stopped");
    default: return QString();
    }
}
