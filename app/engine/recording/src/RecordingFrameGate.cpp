// Frame hand-over to the recording controller, serialised with its teardown.
#include "RecordingFrameGate.h"

#include "RecordingController.h"

void CRecordingFrameGate::open(CRecordingController* controller)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controller = controller;
}

void CRecordingFrameGate::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controller = nullptr;
}

void CRecordingFrameGate::deliver(Lorvish::StreamBuffer* buffer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_controller)
        m_controller->onCameraBufferAvailable(buffer);
}
