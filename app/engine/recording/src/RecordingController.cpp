// The recording controller and the factory that builds a recording from its options.
#include "RecordingController.h"

#include "EngineLog.h"
#include "MediaWriterExceptions.h"
#include "TimeUnitMediaImageController.h"

#include <GenICam/CaughtException.h>
#include <lorvish/StreamBuffer.h>
#include <lorvish/Trace.h>

#include <log4cpp/Category.hh>

#include <QDateTime>
#include <QDir>

#include <new>
#include <utility>

namespace {

unsigned long long handleValue(const Lorvish::StreamBuffer* buffer)
{
    return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(buffer->handle()));
}

} // namespace

CRecordingController::CRecordingController(const CRecordingOptions& options, IMediaImageController* imageController,
                                           IMediaWriter* writer, QObject* parent)
    : QObject(parent), m_writer(writer), m_imageController(imageController), m_options(options),
      m_sink(new CBufferedImageSink(writer, options.QueueBufferSize))
{
    registerRecordingStateMetaType();
    m_sink->setWriteFailedCallee(this);
    m_imageController->setImageDueCallback([this] { return onImageDue(); });
    m_imageController->setLimitReachedCallback([this] { stop(); });
}

CRecordingController::~CRecordingController()
{
    m_finished = true;
    waitForFrameCalls();
    // The sampling controller may already be gone (destroyRecordingController deletes it first), so
    // it is not touched here.
    m_sink->stop(); // a no-op after finish
    delete m_sink;
    if (m_heldBuffer)
        m_heldBuffer->unlock();
}

void CRecordingController::waitForFrameCalls()
{
    std::unique_lock<std::mutex> lock(m_inFlightMutex);
    m_inFlightDone.wait(lock, [this] { return m_inFlight == 0; });
}

int CRecordingController::frameCallsInProgress()
{
    std::lock_guard<std::mutex> lock(m_inFlightMutex);
    return m_inFlight;
}

CRecordingController::InFlight::InFlight(CRecordingController& controller) : m_controller(controller)
{
    std::lock_guard<std::mutex> lock(m_controller.m_inFlightMutex);
    ++m_controller.m_inFlight;
}

CRecordingController::InFlight::~InFlight()
{
    std::lock_guard<std::mutex> lock(m_controller.m_inFlightMutex);
    if (--m_controller.m_inFlight == 0)
        m_controller.m_inFlightDone.notify_all();
}

QString CRecordingController::fileNameSafe(const QString& name)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        const bool bad = c.unicode() < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
                         c == '<' || c == '>' || c == '|' || c == '%';
        safe.append(bad ? QChar('_') : c);
    }
    // No hidden files and no names that climb out of the folder.
    while (safe.startsWith('.'))
        safe[0] = '_';
    return safe.trimmed().isEmpty() ? QStringLiteral("camera") : safe;
}

void CRecordingController::start(QString deviceName)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_operationMutex);
        m_failed = false;
    }
    enginelog::write(enginelog::Recording, enginelog::Internals, "%s", m_options.logText().toUtf8().constData());

    const QString folder = QString::fromUtf8(m_options.OutputFolder.c_str());
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        const QString message = QStringLiteral("The output folder %1 could not be created.").arg(folder);
        enginelog::write(enginelog::Recording, enginelog::Failure, "%s", message.toUtf8().constData());
        emit recordingFailure(message, QString());
        return;
    }
    QString base = folder;
    if (!base.endsWith(QDir::separator()) && !base.endsWith('/'))
        base += QDir::separator();
    base +=
        fileNameSafe(deviceName) + "_" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmsszzz"));
    m_baseName = base;
    try {
        m_writer->open(GenICam::gcstring(base.toUtf8().constData()));
        {
            std::lock_guard<std::recursive_mutex> lock(m_operationMutex);
            m_firstFrame = true;
        }
        setState(RecordingActive);
        // Once active, so that a limit that ends the recording at once finds it running. A time
        // limit counts from here, whether the camera sends frames (or its trigger comes) or not.
        m_imageController->onRecordingStarted();
    } catch (const GenICam::GenericException& e) {
        // Every writer failure (the fatal ones of the MP4 and AVI writers included) carries its reason,
        // which is the whole message.
        const std::string reason = failureDetail(e);
        enginelog::write(enginelog::Recording, enginelog::Failure, "%s", reason.c_str());
        emit recordingFailure(QString::fromUtf8(reason.c_str()), QString());
    } catch (...) {
        const char* message = "Recording could not be started because an unknown error occurred.";
        enginelog::write(enginelog::Recording, enginelog::Failure, "%s", message);
        // Whatever the exception tells is for the log.
        if (const std::exception* e = GenICam::CaughtException::Current().StdException())
            failureDetail(*e);
        emit recordingFailure(QString::fromUtf8(message), QString());
    }
}

void CRecordingController::onCameraBufferAvailable(Lorvish::StreamBuffer* buffer)
{
    // Counted before the first look at the state: finish() waits for every call that got this far,
    // so a controller torn down meanwhile is never touched after it has gone.
    InFlight inFlight(*this);
    if (m_state != RecordingActive || buffer == nullptr || m_finished)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_operationMutex);
    // Looked at again under the lock: stop, abort or finish may have run while this call waited.
    if (m_state != RecordingActive || m_finished)
        return;
    if (!buffer->isComplete()) {
        // A failed or incomplete grab holds a corrupted picture: it is not recorded, and the newer
        // frame held so far stays the one a time-sampled recording repeats. Sampled by count, it
        // still takes its place in the sequence, left empty (and counted as dropped) when it is due,
        // so the film keeps its length. Before the first frame it would have been the film's first:
        // dropped, while the film starts with the first whole frame.
        if (m_firstFrame) {
            ++m_lostGrabs;
        } else {
            m_frameLost = true;
            m_imageController->onNewImage();
            m_frameLost = false;
        }
        return;
    }
    log4cpp::Category* trace = Lorvish::GetLazyTraceStructInstance_().recordingControllerBuffer;
    trace->debug("onCameraBufferAvailable() New buffer %llx", handleValue(buffer));
    buffer->lock();
    if (m_heldBuffer) {
        trace->debug("onCameraBufferAvailable: Release buffer %llx", handleValue(m_heldBuffer));
        m_heldBuffer->unlock();
    }
    m_heldBuffer = buffer;
    if (m_firstFrame) {
        m_firstFrame = false;
        m_imageController->start();
    }
    m_imageController->onNewImage();
}

bool CRecordingController::onImageDue()
{
    if (m_state != RecordingActive)
        return false;
    std::lock_guard<std::recursive_mutex> lock(m_operationMutex);
    if (!m_heldBuffer || m_failed)
        return false;
    // Every frame due while the recording is active has its place in the film, whether it is queued,
    // refused by a full queue or lost by the camera; a pause leaves none.
    const uint64_t sample = m_sampled++;
    if (m_frameLost) {
        ++m_lostGrabs;
        return false;
    }
    try {
        return m_sink->push(m_heldBuffer->rawData(), m_heldBuffer->size(), m_heldBuffer->imageFormat(),
                            m_heldBuffer->imageWidth(), m_heldBuffer->imageHeight(), m_heldBuffer->paddingX(), 0,
                            sample);
    } catch (const std::bad_alloc& e) {
        m_failed = true;
        enginelog::write(enginelog::Recording, enginelog::Failure,
                         "The recording was stopped due to insufficient memory. Detail: %s", e.what());
        // Frames queued before may fail as well, and the writer when it finishes the file: one message.
        if (!m_failureReported.exchange(true))
            emit recordingFailure(QStringLiteral("The recording was stopped due to insufficient memory."),
                                  QString::fromUtf8(e.what()));
    } catch (...) {
        m_failed = true;
        const char* message =
            "An error occurred during recording. Frame could not be placed into buffer. The recording was stopped.";
        enginelog::write(enginelog::Recording, enginelog::Failure, "%s", message);
        if (!m_failureReported.exchange(true))
            emit recordingFailure(QString::fromUtf8(message), QString());
    }
    return false;
}

void CRecordingController::stop()
{
    // The operation lock first (the order the grab thread takes them in when a limit stops the
    // recording): a frame being pushed into the sink right now is queued before the decision below.
    std::lock_guard<std::recursive_mutex> operationLock(m_operationMutex);
    std::lock_guard<std::recursive_mutex> stopLock(m_stopMutex);
    m_imageController->stop();
    const ERecordingState current = m_state;
    if (current == RecordingStopped || current == RecordingDraining || current == RecordingFailed)
        return; // stopped already (a limit may report more than once), or ended by a failure
    // No push of this controller is under way (they run under the operation lock), so an empty
    // queue means every due frame has reached the writer thread.
    if (m_sink->queuedCount() == 0) {
        setState(RecordingStopped);
        return;
    }
    // Draining is stored and announced before the sink may report the last frame, so the writer
    // thread's Stopped always comes after it: a stop racing the last frame still ends in Stopped.
    setState(RecordingDraining);
    if (!m_sink->watchQueueUntilEmpty(this))
        setState(RecordingStopped);
}

bool CRecordingController::waitUntilWritten(std::chrono::milliseconds timeout)
{
    return m_sink->waitUntilEmpty(timeout);
}

void CRecordingController::setPaused(bool paused)
{
    if (paused)
        changeState(RecordingActive, RecordingPaused);
    else
        changeState(RecordingPaused, RecordingActive);
}

void CRecordingController::abort()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_operationMutex);
        if (m_state == RecordingStopped)
            return;
    }
    setState(RecordingStopped);
}

void CRecordingController::finish()
{
    m_finished = true;
    waitForFrameCalls();
    // The held buffer goes home to its camera, whose lock the grab thread holds while it hands frames
    // to this controller: it is let go after this controller's lock, never under it.
    Lorvish::StreamBuffer* held = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(m_operationMutex);
        m_imageController->stop();
        m_imageController->clearImageDueCallback();
        m_imageController->clearLimitReachedCallback();
        m_sink->clearProgressCallee();
        m_sink->stop();
        // The writer threads have ended: a failure told from here on is the close's own.
        m_writerClosed = true;
        if (m_writer->isOpen()) {
            try {
                m_writer->close();
            } catch (...) {
                // The end of the file is lost (the encoder's last frames and trailer, the AVI index):
                // the user is told as for a frame that could not be written.
                CBufferedImageSink::reportFailure(std::current_exception(), this);
            }
        }
        std::swap(held, m_heldBuffer);
    }
    if (held)
        held->unlock();
}

void CRecordingController::updateStatusInfo()
{
    m_statusInfo.recordedImages = m_sink->recordedCount();
    m_statusInfo.bufferUsed = m_sink->queuedCount();
    m_statusInfo.bufferCapacity = uint64_t(m_sink->capacity());
    // Lost grabs that were due leave empty places in the film, as the frames the full queue refused do.
    m_statusInfo.droppedImages = m_sink->droppedCount() + m_lostGrabs;
    m_statusInfo.state = m_state;
}

RecordingStatusInfo CRecordingController::statusInfo() const
{
    return m_statusInfo;
}

void CRecordingController::onQueueProgress(uint64_t remaining)
{
    if (remaining != 0)
        emit waitingForQueueEmptied();
    else
        setState(RecordingStopped);
}

void CRecordingController::fail(const QString& message, const QString& detail, bool writerKeepsFrames)
{
    // One message per recording: the sink reports only its first failure, and a frame that could not be
    // placed into the buffer, or the writer's close, may come before or after it.
    if (m_failureReported.exchange(true))
        return;
    // A failure while the file is finished comes once the recording has stopped: it stays stopped.
    bool changed = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_stateMutex);
        if (m_state != RecordingStopped && m_state != RecordingFailed) {
            m_state = RecordingFailed;
            changed = true;
        }
    }
    if (changed)
        emitStateChanged(RecordingFailed);
    // The frames the sink gave up, and those the writer took but its file does not hold: an MP4 that
    // cannot be finished, or whose file is cut back after a failed write, loses what the encoder and
    // the open fragment still held. A writer that keeps them writes them when it is closed.
    const uint64_t taken = m_sink->takenCount();
    const uint64_t inFile = m_writer->imageCount();
    const uint64_t held = writerKeepsFrames || taken <= inFile ? 0 : taken - inFile;
    const uint64_t lost = m_sink->lostCount() + held;
    QString text;
    if (lost > 0)
        text = lost == 1 ? QStringLiteral("1 frame could not be written.")
                         : QStringLiteral("%1 frames could not be written.").arg(lost);
    if (!detail.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + detail;
    enginelog::write(enginelog::Recording, enginelog::Failure, "%s %s", message.toUtf8().constData(),
                     text.toUtf8().constData());
    emit recordingFailure(message, text);
}

void CRecordingController::onFrameWriteFailed(const char* detail)
{
    fail(QStringLiteral("An error occurred during recording. Frame could not be written from buffer to disk. The "
                        "recording was stopped."),
         detail ? QString::fromUtf8(detail) : QString());
}

void CRecordingController::onFileLimitReached()
{
    fail(QStringLiteral("An error occurred during recording. Maximum AVI file size has been reached. The recording "
                        "was stopped."),
         QString());
}

void CRecordingController::onCodecFatal(const char* detail)
{
    const QString text = detail ? QString::fromUtf8(detail) : QString();
    // A frame that does not fit the recording is refused before the encoder sees it: an open writer
    // is sound and finishes its file with every frame it took before.
    const bool writerKeepsFrames = !m_writerClosed;
    if (m_options.UseCompression)
        fail(QStringLiteral("An error occurred during recording. The codec reported a fatal error. The recording was "
                            "stopped.\n\nTry another codec or change the pixel format or image size."),
             text, writerKeepsFrames);
    else
        fail(QStringLiteral("An unknown fatal error occurred during recording. The recording was stopped."), text,
             writerKeepsFrames);
}

void CRecordingController::setState(ERecordingState state)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_stateMutex);
        if (m_state == state)
            return;
        m_state = state;
    }
    emitStateChanged(state);
}

bool CRecordingController::changeState(ERecordingState from, ERecordingState to)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_stateMutex);
        if (m_state != from)
            return false;
        m_state = to;
    }
    emitStateChanged(to);
    return true;
}

void CRecordingController::emitStateChanged(ERecordingState state)
{
    enginelog::write(enginelog::Recording, enginelog::Internals, "Before emit state changed. %d", int(state));
    emit stateChanged(state);
    enginelog::write(enginelog::Recording, enginelog::Internals, "After emit state changed. %d", int(state));
}

CRecordingController* createRecordingController(const CRecordingOptions& options,
                                                const MediaWriterFactory& createWriter, Nimbo::EPixelType pixelType,
                                                uint32_t width, uint32_t height, QObject* parent)
{
    enginelog::write(enginelog::Recording, enginelog::Internals, "Start creating CRecordingController");
    // The factory takes options it may adjust; the writer keeps copies of what it needs of them.
    CRecordingOptions writerOptions(options);
    IMediaWriter* writer = createWriter ? createWriter(writerOptions, pixelType, width, height) : nullptr;
    if (!writer) {
        enginelog::write(enginelog::Recording, enginelog::Failure,
                         "No media writer for output type %d and image type %d.", options.OutputType,
                         options.ImageOutputType);
        return nullptr;
    }
    auto* imageController =
        new CTimeUnitMediaImageController(options.StopSamplingLimitEnabled, options.StopSamplingLimitUnit,
                                          options.StopSamplingLimit, options.SampleRateUnit, options.SampleRate);
    auto* controller = new CRecordingController(options, imageController, writer, parent);
    enginelog::write(enginelog::Recording, enginelog::Internals, "Finished creating CRecordingController");
    return controller;
}

void destroyRecordingController(CRecordingController* controller)
{
    if (!controller)
        return;
    enginelog::write(enginelog::Recording, enginelog::Internals, "Start destroying CRecordingController");
    IMediaWriter* writer = controller->mediaWriter();
    IMediaImageController* imageController = controller->imageController();
    // The sampling controller goes first: deleting it joins its timer thread, after which no callback
    // can reach the controller. The writer goes last, once the controller has joined the sink's thread.
    delete imageController;
    delete controller;
    delete writer;
    enginelog::write(enginelog::Recording, enginelog::Internals, "Finished destroying CRecordingController");
}
