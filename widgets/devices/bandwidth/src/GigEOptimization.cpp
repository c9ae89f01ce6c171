// GigE optimisation of an adapter's cameras and the trigger check.
#include "orbelt/GigEOptimization.h"

#include <brasko/Formatting.h>

#include <nimbo/NimboDevice.h>
#include <nimbo/StreamGrabber.h>

#include <GenICam/GenericException.h>

#include <cmath>
#include <mutex>

namespace {

using Guard = std::lock_guard<GenApi::CLock>;

bool readable(GenApi::IBase* node)
{
    return node && GenApi::IsReadable(node->GetAccessMode());
}

// Writes and reads back; a missing node is false.
bool setAndVerify(CBandwidthMeasuringCamera& camera, const char* name, int64_t value)
{
    Guard lock(camera.GetLock());
    GenApi::CIntegerPtr node = camera.GetNodeMap().GetNode(name);
    if (!node.IsValid())
        return false;
    if (GenApi::IsWritable(node->GetAccessMode()))
        node->SetValue(value, true);
    return readable(node) && node->GetValue() == value;
}

int64_t readInteger(CBandwidthMeasuringCamera& camera, const char* name)
{
    Guard lock(camera.GetLock());
    GenApi::CIntegerPtr node = camera.GetNodeMap().GetNode(name);
    return node.IsValid() && readable(node) ? node->GetValue() : -1;
}

// The trigger selector's value is put back however the walk over its entries ends.
class SelectorRestorer {
public:
    explicit SelectorRestorer(GenApi::IEnumeration* selector) : m_selector(selector), m_saved(selector->ToString()) {}
    ~SelectorRestorer()
    {
        try {
            if (m_selector->ToString() != m_saved)
                m_selector->FromString(m_saved, true);
        } catch (...) {
        }
    }

private:
    GenApi::IEnumeration* m_selector;
    GenICam::gcstring m_saved;
};

bool anyTriggerMode(CBandwidthMeasuringCamera& camera, bool softwareOnly)
{
    Guard lock(camera.GetLock());
    if (camera.IsCameraDeviceRemoved())
        return false;
    GenApi::INodeMap& map = camera.GetNodeMap();
    GenApi::CEnumerationPtr selector = map.GetNode("TriggerSelector");
    if (!selector.IsValid() || !readable(selector))
        return false;
    SelectorRestorer restore(selector);
    GenApi::NodeList_t entries;
    selector->GetEntries(entries);
    for (GenApi::INode* node : entries) {
        GenApi::CEnumEntryPtr entry = node;
        if (!entry.IsValid() || !GenApi::IsAvailable(entry->GetAccessMode()))
            continue;
        selector->FromString(entry->GetSymbolic(), true);
        GenApi::CEnumerationPtr mode = map.GetNode("TriggerMode");
        if (!mode.IsValid() || !readable(mode))
            continue;
        GenApi::CEnumerationPtr source = map.GetNode("TriggerSource");
        if (softwareOnly && (!source.IsValid() || !readable(source)))
            continue;
        if (mode->ToString() != "On")
            continue;
        if (!softwareOnly || source->ToString() == "Software")
            return true;
    }
    return false;
}

} // namespace

int64_t frameTransmissionDelay(CBandwidthMeasuringCamera& camera)
{
    return readInteger(camera, "GevSCFTD");
}

bool setFrameTransmissionDelay(CBandwidthMeasuringCamera& camera, int64_t value)
{
    return setAndVerify(camera, "GevSCFTD", value);
}

bool setPacketSize(CBandwidthMeasuringCamera& camera, int64_t value)
{
    return setAndVerify(camera, "GevSCPSPacketSize", value);
}

bool probePacketSize(CBandwidthMeasuringCamera& camera, int64_t* after, int64_t* before)
{
    Guard lock(camera.GetLock());
    GenApi::CIntegerPtr packetSize = camera.GetNodeMap().GetNode("GevSCPSPacketSize");
    if (before && packetSize.IsValid() && readable(packetSize))
        *before = packetSize->GetValue();
    bool result = false;
    Nimbo::INimboDevice* device = camera.GetDevice();
    Nimbo::IStreamGrabber* grabber = device ? device->GetStreamGrabber(0) : nullptr;
    if (grabber) {
        const bool openedHere = !grabber->IsOpen();
        try {
            if (openedHere)
                grabber->Open();
            GenApi::INodeMap* map = grabber->GetNodeMap();
            GenApi::CCommandPtr probe = map ? map->GetNode("ProbePacketSize") : nullptr;
            result = probe.IsValid();
            if (result)
                probe->Execute(true);
        } catch (...) {
            result = false; // a failed probe leaves the packet size as it is; the run goes on
        }
        if (openedHere) {
            try {
                grabber->Close();
            } catch (...) {
            }
        }
    }
    if (after && packetSize.IsValid() && readable(packetSize))
        *after = packetSize->GetValue();
    return result;
}

void optimizeGigECamera(GigEOptimizationRow& row, double share, unsigned int slot, SOptimizationResult* result)
{
    SOptimizationResult local;
    SOptimizationResult& out = result ? *result : local;
    if (row.currentCamera)
        row.camera = row.currentCamera();
    const bool qualifies = (row.camera && row.camera->IsGigE() && row.isCameraRow) || row.deviceClass == "VelmarGigE";
    if (!qualifies)
        return;
    if (!row.camera) {
        row.camera = row.enable ? row.enable() : nullptr;
        if (!row.camera)
            return;
    }
    auto* camera = dynamic_cast<CBandwidthMeasuringCameraGigE*>(row.camera);
    if (!camera)
        return;

    // Each step stands alone: a value the camera refuses leaves that step's fields false. The packet
    // size counts as raised only when the camera took it (as the delay below), and the delays follow
    // the size the camera has.
    int64_t after = 0, before = 0;
    try {
        probePacketSize(*camera, &after, &before);
        if (after == before && after < 1500) {
            try {
                out.packetSizeSetTo1500 = setPacketSize(*camera, 1500);
            } catch (const std::exception&) {
            }
            const int64_t now = readInteger(*camera, "GevSCPSPacketSize");
            if (now >= 0)
                after = now;
        }
    } catch (const std::exception&) {
    }
    out.packetSizeChanged = before != after;
    out.packetSizeAtMost1500 = after < 1501;

    try {
        const int64_t old = frameTransmissionDelay(*camera);
        const int64_t delay = (after + 18) * static_cast<int64_t>(slot);
        // Only a delay the camera took counts as a change.
        out.frameTransmissionDelayChanged = setFrameTransmissionDelay(*camera, delay) && old != delay;
    } catch (const std::exception&) {
    }

    if (!row.setBandwidthShare)
        return;
    try {
        const int64_t d0 = readInteger(*camera, "GevSCPD");
        row.setBandwidthShare(static_cast<int64_t>(std::floor(share)));
        try {
            Guard lock(camera->GetLock());
            GenApi::CIntegerPtr delay = camera->GetNodeMap().GetNode("GevSCPD");
            out.interPacketDelayAtLimit = delay.IsValid() && delay->GetValue() >= delay->GetMax() - 1;
        } catch (const std::exception&) {
            out.interPacketDelayAtLimit = false;
        }
        const int64_t d1 = readInteger(*camera, "GevSCPD");
        out.interPacketDelayChanged = d0 != d1;
    } catch (const std::exception&) {
    }
}

bool optimizeGigECameras(std::vector<GigEOptimizationRow>& rows, bool onlySelected, SOptimizationResult* adapterResult)
{
    size_t checked = 0;
    for (const GigEOptimizationRow& row : rows)
        checked += row.checked ? 1 : 0;
    if ((onlySelected && checked == 0) || rows.empty())
        return false;
    const double share = (MaxBandwidthBps / 1e6) / static_cast<double>(onlySelected ? checked : rows.size());
    SOptimizationResult total;
    unsigned int slot = 0;
    for (GigEOptimizationRow& row : rows) {
        if (onlySelected && !row.checked)
            continue;
        SOptimizationResult perCamera;
        optimizeGigECamera(row, share, slot, &perCamera);
        ++slot;
        total.packetSizeChanged |= perCamera.packetSizeChanged;
        total.frameTransmissionDelayChanged |= perCamera.frameTransmissionDelayChanged;
        total.interPacketDelayChanged |= perCamera.interPacketDelayChanged;
        total.packetSizeAtMost1500 |= perCamera.packetSizeAtMost1500;
        total.interPacketDelayAtLimit |= perCamera.interPacketDelayAtLimit;
        total.packetSizeSetTo1500 |= perCamera.packetSizeSetTo1500;
    }
    if (adapterResult)
        *adapterResult = total;
    return true;
}

bool isAnyTriggerModeOn(CBandwidthMeasuringCamera& camera)
{
    return anyTriggerMode(camera, false);
}

bool hasSoftwareTrigger(CBandwidthMeasuringCamera& camera)
{
    return anyTriggerMode(camera, true);
}

bool checkTriggerState(const MeasuringCameraList& list, QList<QString>* softwareTriggered,
                       QList<QString>* otherTriggered)
{
    bool any = false;
    for (CBandwidthMeasuringCamera* camera : list.cameras) {
        try {
            if (!isAnyTriggerModeOn(*camera))
                continue;
            const QString name = formatDeviceName(&camera->GetDeviceInfo());
            QList<QString>* target = hasSoftwareTrigger(*camera) ? softwareTriggered : otherTriggered;
            if (target)
                target->append(name);
            any = true;
        } catch (...) {
            // A camera that cannot be asked is not reported as waiting.
        }
    }
    return any;
}
