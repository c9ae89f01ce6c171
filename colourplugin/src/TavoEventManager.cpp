// The colour event manager: callbacks on the colour features, the colour matrix update and the
// lookup-table worker.
#include "TavoEventManager.h"

#include "Diagnostics.h"
#include "FeatureDescription.h"
#include "ToneCurve.h"

#include <GenICam/CaughtException.h>

#include <chrono>
#include <cstring>

namespace Huvane {

namespace {
constexpr int64_t ChunkBytes = 1024;
constexpr auto ChunkPause = std::chrono::milliseconds(10);
constexpr auto RetryPause = std::chrono::milliseconds(1000);

bool isOwnFeature(const GenApi::CFloatPtr& feature)
{
    if (!feature)
        return false;
    return std::strstr(feature->GetNode()->GetDescription().c_str(), OwnDescriptionMark) != nullptr;
}

const char* const BalanceColours[3] = {"Red", "Green", "Blue"};
} // namespace

CTavoEventManager::CTavoEventManager() : m_requested{0.0, 0.0, Mode::Unset}, m_applied{-1.0, -1.0, Mode::Unset} {}

CTavoEventManager::~CTavoEventManager()
{
    stop();
}

std::string CTavoEventManager::errorText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errorText;
}

void CTavoEventManager::setErrorText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errorText = text;
}

void CTavoEventManager::bind(GenApi::INodeMap* nodeMap)
{
    if (m_nodeMap || m_thread)
        stop();
    if (!nodeMap)
        return;
    m_nodeMap = nodeMap;
    try {
        m_presetPending = true;
        m_baseSettled = false;
        m_baseFromCamera = false;
        m_heldKnown = false;
        m_baseMatrix.bind(nodeMap);
        m_workingMatrix.bind(nodeMap);
        m_hue = nodeMap->GetNode("VlrHue");
        m_saturation = nodeMap->GetNode("VlrSaturation");
        m_brightness = nodeMap->GetNode("VlrBrightness");
        m_contrast = nodeMap->GetNode("VlrContrast");
        m_contrastMode = nodeMap->GetNode("VlrContrastMode");
        m_lightSourcePreset = nodeMap->GetNode("LightSourcePreset");
        m_lutEnable = nodeMap->GetNode("LUTEnable");
        m_lutValueAll = nodeMap->GetNode("LUTValueAll");
        m_balanceRatio = nodeMap->GetNode("BalanceRatio");
        m_balanceRatioSelector = nodeMap->GetNode("BalanceRatioSelector");
        m_port = nodeMap->GetNode("Device");
        m_acquisitionStart = nodeMap->GetNode("AcquisitionStart");
        m_acquisitionStop = nodeMap->GetNode("AcquisitionStop");
        m_acquisitionRequested = false;
        m_acquiring = false;
        m_ownCommand = false;

        const GenApi::CEnumerationPtr pixelFormat = nodeMap->GetNode("PixelFormat");
        const GenApi::CEnumEntryPtr entry = pixelFormat->GetCurrentEntry();
        const GenICam::gcstring format = entry->GetSymbolic();
        const bool colourCamera = !(format == "Mono8" || format == "Mono12" || format == "Mono16");

        const bool ownColour = isOwnFeature(m_hue) && isOwnFeature(m_saturation);
        const bool ownTone = isOwnFeature(m_brightness) && isOwnFeature(m_contrast);

        const bool colourPath = colourCamera && ownColour;
        const bool tonePath = ownTone;
        if (colourPath) {
            registerCallback(m_saturation->GetNode(), &CTavoEventManager::onColourChanged);
            registerCallback(m_hue->GetNode(), &CTavoEventManager::onColourChanged);
            if (m_lightSourcePreset)
                registerCallback(m_lightSourcePreset->GetNode(), &CTavoEventManager::onPresetChanged);
        }
        if (tonePath) {
            registerCallback(m_contrast->GetNode(), &CTavoEventManager::onToneChanged);
            registerCallback(m_brightness->GetNode(), &CTavoEventManager::onToneChanged);
            if (m_contrastMode)
                registerCallback(m_contrastMode->GetNode(), &CTavoEventManager::onToneChanged);
        }

        // The upload stops the acquisition and must afterwards leave it as the grab last asked for.
        if (tonePath && m_acquisitionStart && m_acquisitionStop) {
            registerCallback(m_acquisitionStart->GetNode(), &CTavoEventManager::onAcquisitionStarted);
            registerCallback(m_acquisitionStop->GetNode(), &CTavoEventManager::onAcquisitionStopped);
        }

        const GenApi::EVisibility visibility = colourCamera ? GenApi::Beginner : GenApi::Invisible;
        if (m_hue)
            m_hue->GetNode()->ImposeVisibility(visibility);
        if (m_saturation)
            m_saturation->GetNode()->ImposeVisibility(visibility);

        // Only what the plug-in drives is carried out: same-named camera features, or the colour
        // features of a mono camera, are left alone.
        if (tonePath)
            onToneChanged(nullptr);
        if (colourPath)
            onColourChanged(nullptr);
        m_stop = false;
        m_thread = std::make_shared<std::thread>(&CTavoEventManager::workerMain, this);
    } catch (...) {
        // No callback may stay behind pointing at a manager that is not bound.
        deregisterCallbacks();
        releaseNodes();
        throw;
    }
}

void CTavoEventManager::deregisterCallbacks()
{
    for (GenApi::CallbackHandleType handle : m_callbacks)
        GenApi::Deregister(handle);
    m_callbacks.clear();
}

void CTavoEventManager::registerCallback(GenApi::INode* node, void (CTavoEventManager::*member)(GenApi::INode*))
{
    if (const GenApi::CallbackHandleType handle = GenApi::Register(node, *this, member))
        m_callbacks.push_back(handle);
}

void CTavoEventManager::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread) {
        if (m_thread->joinable())
            m_thread->join();
        m_thread.reset();
    }
    setErrorText("Internal error.");
    if (!m_nodeMap) {
        releaseNodes();
        return;
    }
    // Under the node map's lock no callback is running in another thread while the nodes go.
    GenApi::AutoLock lock(m_nodeMap->GetLock());
    deregisterCallbacks();
    giveCameraMatrixBack();
    releaseNodes();
}

void CTavoEventManager::releaseNodes()
{
    m_baseMatrix.release();
    m_workingMatrix.release();
    m_hue.Release();
    m_saturation.Release();
    m_brightness.Release();
    m_contrast.Release();
    m_contrastMode.Release();
    m_lightSourcePreset.Release();
    m_lutEnable.Release();
    m_lutValueAll.Release();
    m_balanceRatio.Release();
    m_balanceRatioSelector.Release();
    m_port.Release();
    m_acquisitionStart.Release();
    m_acquisitionStop.Release();
    m_nodeMap = nullptr;
    // A later bind carries the values out afresh, as the camera may have changed meanwhile.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requested = ToneRequest{0.0, 0.0, Mode::Unset};
    m_applied = ToneRequest{-1.0, -1.0, Mode::Unset};
}

// Callbacks come from GenApi in the changing thread; nothing may escape into the node map.
void CTavoEventManager::onColourChanged(GenApi::INode*)
{
    try {
        colourUpdate();
    } catch (...) {
        warnCurrentException("Failed to update the colour transformation.", "CTavoEventManager::onColourChanged");
    }
}

void CTavoEventManager::onPresetChanged(GenApi::INode*)
{
    if (!m_nodeMap)
        return;
    GenApi::AutoLock lock(m_nodeMap->GetLock());
    // The colour update switches the preset itself while it captures the base matrix.
    if (m_presetPending)
        return;
    m_presetPending = true;
    onColourChanged(nullptr);
}

void CTavoEventManager::onToneChanged(GenApi::INode*)
{
    try {
        toneUpdate();
    } catch (...) {
        warnCurrentException("Failed to read brightness and contrast.", "CTavoEventManager::onToneChanged");
    }
}

// Both run inside the node map's lock, in the thread that executed the command.
void CTavoEventManager::onAcquisitionStarted(GenApi::INode*)
{
    m_acquiring = true;
    if (!m_ownCommand)
        m_acquisitionRequested = true;
}

void CTavoEventManager::onAcquisitionStopped(GenApi::INode*)
{
    m_acquiring = false;
    if (!m_ownCommand)
        m_acquisitionRequested = false;
}

void CTavoEventManager::colourUpdate()
{
    if (!m_nodeMap)
        return;
    GenApi::AutoLock lock(m_nodeMap->GetLock());
    if (!GenApi::IsReadable(m_hue) || !GenApi::IsReadable(m_saturation))
        return;
    if (m_presetPending && canCapturePreset()) {
        captureBaseMatrix();
        m_presetPending = false;
        m_baseSettled = true;
    } else if (!m_baseSettled) {
        // Only as the binding begins: later on the camera holds what was written here.
        takeCameraMatrix();
        m_presetPending = false;
        m_baseSettled = true;
    }
    m_workingMatrix = ColorMatrix::hueSaturation(m_hue->GetValue(), m_saturation->GetValue()) * m_baseMatrix;
    // With the camera's own matrix as the base, what the camera holds afterwards is read back: it tells at
    // stop whether someone else has set the matrix meanwhile.
    const bool readBack = m_baseFromCamera && m_workingMatrix.canWrite();
    m_heldKnown = false;
    if (!m_workingMatrix.writeToCamera(readBack ? &m_held : nullptr))
        warn("Failed to write the colour transformation matrix.");
    else
        m_heldKnown = readBack;
}

bool CTavoEventManager::canCapturePreset() const
{
    return m_lightSourcePreset && m_balanceRatioSelector && m_balanceRatio && GenApi::IsWritable(m_lightSourcePreset);
}

// Switching the preset off and back makes the camera load its matrix for the preset, which is then
// read; the switch resets the white balance, so the ratios are saved first and always put back.
void CTavoEventManager::captureBaseMatrix()
{
    m_baseFromCamera = false;
    const GenICam::gcstring preset = m_lightSourcePreset->ToString();
    if (preset == "Off") {
        m_baseMatrix.setIdentity();
        return;
    }
    double ratios[3];
    for (int k = 0; k < 3; ++k) {
        m_balanceRatioSelector->FromString(BalanceColours[k]);
        ratios[k] = m_balanceRatio->GetValue();
    }
    try {
        m_lightSourcePreset->FromString("Off");
        m_lightSourcePreset->FromString(preset);
        m_baseMatrix.readFromCamera();
    } catch (...) {
        m_baseMatrix.setIdentity();
        warnCurrentException("Failed to read the colour matrix of the light-source preset.",
                             "CTavoEventManager::captureBaseMatrix");
    }
    for (int k = 0; k < 3; ++k) {
        m_balanceRatioSelector->FromString(BalanceColours[k]);
        if (GenApi::IsWritable(m_balanceRatio))
            m_balanceRatio->SetValue(ratios[k]);
    }
}

// A camera without a preset to load its matrix from keeps its own, calibrated one: the matrix it holds as
// the binding begins is the base, and it gets it back when the binding ends, so that the next grab, or
// the next program, finds it again rather than what hue and saturation made of it.
void CTavoEventManager::takeCameraMatrix()
{
    m_baseMatrix.setIdentity();
    m_baseFromCamera = false;
    if (!m_baseMatrix.canRead())
        return;
    try {
        m_baseMatrix.readFromCamera();
        m_baseFromCamera = true;
    } catch (...) {
        m_baseMatrix.setIdentity();
        warnCurrentException("Failed to read the camera's colour matrix.", "CTavoEventManager::takeCameraMatrix");
    }
}

// Called under the node map's lock. A matrix that someone else set after the last write here (written
// directly, or loaded with another light source) is the camera's own by now: it stays.
void CTavoEventManager::giveCameraMatrixBack()
{
    if (!m_baseFromCamera)
        return;
    m_baseFromCamera = false;
    if (m_heldKnown) {
        m_heldKnown = false;
        try {
            m_workingMatrix.readFromCamera();
        } catch (...) {
            warnCurrentException("Failed to give the camera its own colour matrix back.",
                                 "CTavoEventManager::giveCameraMatrixBack");
            return;
        }
        for (int i = 0; i < ColorMatrix::Rows; ++i)
            for (int j = 0; j < ColorMatrix::Columns; ++j)
                if (m_workingMatrix.at(i, j) != m_held.at(i, j))
                    return;
    }
    if (!m_baseMatrix.writeToCamera())
        warn("Failed to give the camera its own colour matrix back.");
}

void CTavoEventManager::toneUpdate()
{
    if (!m_nodeMap)
        return;
    ToneRequest request{0.0, 0.0, Mode::Linear};
    {
        GenApi::AutoLock lock(m_nodeMap->GetLock());
        if (!GenApi::IsReadable(m_brightness) || !GenApi::IsReadable(m_contrast))
            return;
        request.brightness = m_brightness->GetValue();
        request.contrast = m_contrast->GetValue();
        if (GenApi::IsReadable(m_contrastMode) && !(m_contrastMode->ToString() == "Linear"))
            request.mode = Mode::SCurve;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (request == m_requested)
            return;
        m_requested = request;
    }
    m_wake.notify_all();
}

void CTavoEventManager::workerMain()
{
    if (!m_nodeMap)
        return;
    try {
        for (;;) {
            ToneRequest request;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                // Until the tone update has asked for something there is nothing to apply: a camera
                // whose brightness and contrast are its own keeps its lookup table as it is.
                m_wake.wait(lock,
                            [this] { return m_stop || (m_requested.mode != Mode::Unset && m_requested != m_applied); });
                if (m_stop)
                    return;
                m_applied = m_requested;
                request = m_applied;
            }
            if (!apply(request))
                return;
        }
    } catch (...) {
        setErrorText(GenICam::CaughtException::Current().Description());
        warnCurrentException("The lookup-table worker ended.", "CTavoEventManager::workerMain");
    }
}

bool CTavoEventManager::apply(const ToneRequest& request)
{
    if (m_lutEnable) {
        const bool neutral = request.brightness == 0.0 && request.contrast == 0.0;
        if (GenApi::IsWritable(m_lutEnable))
            m_lutEnable->SetValue(!neutral);
        // A neutral setting needs no table; the one in the camera is left as it is.
        if (neutral)
            return true;
    }
    if (!m_lutValueAll)
        return true;
    const size_t entries = size_t(m_lutValueAll->GetLength() / 4);
    m_lut.resize(entries);
    m_lutLargest = entries > 0 ? uint32_t(entries - 1) : 0;
    m_lutStep = 1;
    if (request.mode == Mode::SCurve)
        ToneCurve::fillSCurve(m_lut, request.brightness, request.contrast, m_lutLargest, m_lutStep);
    else
        ToneCurve::fillLinear(m_lut, request.brightness, request.contrast, m_lutLargest, m_lutStep);

    const int64_t bytes = int64_t(m_lut.size() * sizeof(uint32_t));
    if (m_port && bytes > 0 && bytes % ChunkBytes == 0) {
        upload(request);
        return true;
    }
    try {
        m_lutValueAll->Set(reinterpret_cast<const uint8_t*>(m_lut.data()), bytes, true);
    } catch (...) {
        warnCurrentException("Failed to write the lookup table; trying once more.", "CTavoEventManager::apply");
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, RetryPause, [this] { return bool(m_stop); }))
            return false;
        lock.unlock();
        m_lutValueAll->Set(reinterpret_cast<const uint8_t*>(m_lut.data()), bytes, true);
    }
    return true;
}

// Chunked upload straight through the port, so that a newer request or a stop can cut it short.
void CTavoEventManager::upload(const ToneRequest& request)
{
    const int64_t bytes = int64_t(m_lut.size() * sizeof(uint32_t));
    const int64_t address = m_lutValueAll->GetAddress();
    const uint8_t* data = reinterpret_cast<const uint8_t*>(m_lut.data());
    {
        GenApi::AutoLock lock(m_nodeMap->GetLock());
        executeOwnCommand(m_acquisitionStop);
    }
    for (int64_t offset = 0; offset < bytes; offset += ChunkBytes) {
        try {
            GenApi::AutoLock lock(m_nodeMap->GetLock());
            m_port->Write(data + offset, address + offset, ChunkBytes);
        } catch (...) {
            warnCurrentException("Failed to upload the lookup table.", "CTavoEventManager::upload");
            break;
        }
        std::this_thread::sleep_for(ChunkPause);
        if (m_stop || isSuperseded(request))
            break;
    }
    // The register's cached value no longer matches what the port wrote.
    m_lutValueAll->GetNode()->InvalidateNode();
    // Restarted only when the grab wants the camera acquiring and nobody has restarted it meanwhile: a
    // grab stopped during the upload (the stop flag set from the grab's finish) keeps it stopped. The
    // check and the command are one step under the lock the grab's own commands take too.
    GenApi::AutoLock lock(m_nodeMap->GetLock());
    if (m_acquisitionRequested && !m_acquiring)
        executeOwnCommand(m_acquisitionStart);
}

bool CTavoEventManager::isSuperseded(const ToneRequest& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requested != request;
}

void CTavoEventManager::executeOwnCommand(const GenApi::CCommandPtr& command)
{
    if (!GenApi::IsWritable(command))
        return;
    m_ownCommand = true;
    try {
        command->Execute();
    } catch (...) {
        m_ownCommand = false;
        throw;
    }
    m_ownCommand = false;
}

} // namespace Huvane
