// The failure last told to the user about one camera, so that the automatic scan, which tries the camera
// again every ten seconds, does not show the same box each time.
#pragma once

#include <QString>

// One per camera and step (creating the device, opening the camera). GUI thread only.
class ToldFailure {
public:
    // Inside a catch block: true when the exception being handled reads as the failure told last; it is
    // then written to the engine log as "<where>: <message> <failure> (told already)" and is not to be
    // shown. Otherwise it becomes the failure told last, and the caller shows it.
    bool toldAlready(const char* where, const char* message);
    // The step succeeded: its next failure is told whatever it is.
    void clear() { m_failure.clear(); }

private:
    QString m_failure;
};
