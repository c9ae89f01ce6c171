// The way the camera's frames reach the recording controller of the moment.
#pragma once

#include <mutex>

class CRecordingController;
namespace Lorvish {
class StreamBuffer;
}

// Qt's disconnect does not wait for an emission already under way in another thread: a grab thread
// that has read the controller as the receiver of its frame signal may still enter it after the
// controller was disconnected, finished and deleted. The gate stays connected to the camera for good,
// outlives every controller, and hands each frame over under its lock, so that once close() has
// returned no frame call is inside the controller and none can start.
//
// Threads: deliver runs on the grab thread, open and close on the thread that starts and tears down
// recordings. m_mutex guards m_controller and is held for the whole of each frame hand-over; the
// controller's frame call takes no lock that close()'s caller holds.
class CRecordingFrameGate {
public:
    // Frames go to `controller` from now on.
    void open(CRecordingController* controller);
    // Waits for a frame being handed over; no frame reaches the controller afterwards.
    void close();
    // Hands the frame to the open controller, if any; the caller holds the buffer locked.
    void deliver(Lorvish::StreamBuffer* buffer);

private:
    std::mutex m_mutex;
    CRecordingController* m_controller = nullptr;
};
