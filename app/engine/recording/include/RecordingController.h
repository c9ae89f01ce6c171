// One recording of one device: frame intake, sampling, the buffered sink, state and failures.
#pragma once

#include "BufferedImageSink.h"
#include "MediaImageController.h"
#include "MediaWriter.h"
#include "RecordingOptions.h"
#include "RecordingState.h"
#include "RecordingStatusInfo.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace Lorvish {
class StreamBuffer;
}

// Holds a lock only on the newest camera frame, asks the sampling controller when a frame is due,
// copies due frames into the sink and reports the recording's state.
//
// Threads: construction, start, stop, setPaused, abort, finish, the status and destruction run on
// the GUI thread; onCameraBufferAvailable and count-mode sampling on the grab thread; time-mode
// sampling and limits on the sampling timer thread (which may also call stop); progress and failure
// callees on the sink's writer thread. m_operationMutex guards the held buffer, the first-frame,
// failed and lost-frame flags and the count of frames sampled, and serialises frame intake, image-due
// handling, stop, abort and finish; m_stateMutex guards m_state, which is also read without it
// (atomic) at the top of the frame paths; m_stopMutex serialises stops from the GUI and the timer
// thread (taken after m_operationMutex). m_inFlightMutex guards the count of running frame calls that
// finish() and the destructor wait for. Signals are emitted outside every state lock.
class CRecordingController : public QObject,
                             public CBufferedImageSink::IQueueEmptyProgressCallee,
                             public CBufferedImageSink::IWriteFrameFailedCallee {
    Q_OBJECT

public:
    // Does not take ownership of the sampling controller or the writer (destroyRecordingController
    // deletes them). Creates the sink, whose writer thread starts at once.
    CRecordingController(const CRecordingOptions& options, IMediaImageController* imageController, IMediaWriter* writer,
                         QObject* parent);
    ~CRecordingController() override;

    // Opens the output named after the folder, the camera and the start time.
    void start(QString deviceName);
    // Ends sampling; drains the queue first when it holds frames. Also the sampling limit's callback.
    void stop();
    // Waits until every frame handed to the sink has been written (or given up after a failure);
    // false when `timeout` passed first. Used after stop() where leaving cannot wait for the queued
    // notices: removal of the camera and the end of the program.
    bool waitUntilWritten(std::chrono::milliseconds timeout);
    // Only an active recording pauses and only a paused one resumes.
    void setPaused(bool paused);
    void abort();
    // Clean-up once the state is RecordingStopped: waits for a frame call the grab thread is still
    // in, then sampling stopped and its callbacks cleared, sink stopped, writer closed, buffer
    // released. Later frame calls return at once.
    void finish();
    ERecordingState state() const { return m_state; }
    void updateStatusInfo();
    RecordingStatusInfo statusInfo() const;

    IMediaWriter* mediaWriter() const { return m_writer; }
    IMediaImageController* imageController() const { return m_imageController; }
    // Grab-thread calls of onCameraBufferAvailable running right now; for diagnostics.
    int frameCallsInProgress();
    // The base name of the output, once started.
    QString baseName() const { return m_baseName; }

    // Camera names may hold characters that no file name can: each one becomes "_".
    static QString fileNameSafe(const QString& name);

    void onQueueProgress(uint64_t remaining) override;
    void onFrameWriteFailed(const char* detail) override;
    void onFileLimitReached() override;
    void onCodecFatal(const char* detail) override;

signals:
    void stateChanged(ERecordingState state);
    void waitingForQueueEmptied();
    void queueEmptied();
    void recordingFailure(QString errorMessage, QString addlInfo);

public slots:
    void onCameraBufferAvailable(Lorvish::StreamBuffer* buffer);

private:
    bool onImageDue();
    void setState(ERecordingState state);
    // Stores `to` only when the state is `from`; answers whether it did (and emits then).
    bool changeState(ERecordingState from, ERecordingState to);
    void emitStateChanged(ERecordingState state);
    // `writerKeepsFrames`: the writer will still put the frames it took into its file (it is open and
    // sound), so they are not counted as lost.
    void fail(const QString& message, const QString& detail, bool writerKeepsFrames = false);
    void waitForFrameCalls();

    // Counts a frame call for as long as it runs.
    class InFlight {
    public:
        explicit InFlight(CRecordingController& controller);
        ~InFlight();

    private:
        CRecordingController& m_controller;
    };

    IMediaWriter* const m_writer;
    IMediaImageController* const m_imageController;
    const CRecordingOptions m_options;
    CBufferedImageSink* m_sink;
    std::recursive_mutex m_operationMutex;
    std::recursive_mutex m_stateMutex;
    std::recursive_mutex m_stopMutex;
    Lorvish::StreamBuffer* m_heldBuffer = nullptr;
    std::atomic<ERecordingState> m_state{RecordingInitializing};
    RecordingStatusInfo m_statusInfo; // GUI thread only
    QString m_baseName;               // GUI thread only
    bool m_firstFrame = false;
    bool m_failed = false;
    bool m_frameLost = false;                    // the frame being sampled is a lost grab: its place stays empty
    uint64_t m_sampled = 0;                      // frames due so far: the place in the film of the next one
    std::atomic<bool> m_finished{false};         // finish() began: frame calls return at once
    std::atomic<bool> m_failureReported{false};  // one failure message per recording
    std::atomic<bool> m_writerClosed{false};     // finish() is closing the writer, its threads ended
    std::atomic<uint64_t> m_lostGrabs{0};        // lost grabs that were due or came before the first frame
    std::mutex m_inFlightMutex;
    std::condition_variable m_inFlightDone;
    int m_inFlight = 0; // frame calls running now; under m_inFlightMutex
};

// Makes the media writer that the options ask for, for frames of the given pixel type and size; null
// when the options name no writer it knows. The media area's createMediaWriter is the program's.
using MediaWriterFactory = std::function<IMediaWriter*(CRecordingOptions& options, Nimbo::EPixelType pixelType,
                                                       uint32_t width, uint32_t height)>;

// Builds the writer the options ask for (through `createWriter`), the sampling controller and the
// recording controller for the camera's pixel type (as reported for recording) and image size. Null
// when the factory makes no writer for the options (unknown output type, or a video writer that is
// not built in); nothing is opened.
CRecordingController* createRecordingController(const CRecordingOptions& options,
                                                const MediaWriterFactory& createWriter, Nimbo::EPixelType pixelType,
                                                uint32_t width, uint32_t height, QObject* parent);
// Deletes the sampling controller, the controller and the writer, in that order, after finish.
void destroyRecordingController(CRecordingController* controller);
