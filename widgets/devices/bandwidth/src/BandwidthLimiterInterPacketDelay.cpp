// The GigE bandwidth cap editor.
#include "orbelt/BandwidthLimiterInterPacketDelay.h"

#include <GenICam/GenericException.h>

#include <exception>

namespace {

const int64_t g_bytesPerMb = 1000000;

// Whole MB/s, half away from zero.
int64_t toMbps(int64_t bytesPerSecond)
{
    return (bytesPerSecond + g_bytesPerMb / 2) / g_bytesPerMb;
}

} // namespace

BandwidthLimiterInterPacketDelay::BandwidthLimiterInterPacketDelay(GenApi::INodeMap* nodeMap, QWidget* parent)
    : ComboSlider(parent), m_nodeMap(nodeMap)
{
    setToolTip(QStringLiteral("MB/s"));
    setRangeAndStep(1, 112, 1);
    showValue(112);
    if (nodeMap) {
        m_delay = nodeMap->GetNode("GevSCPD");
        // The current throughput moves with every transport setting: each read below asks the camera,
        // whether or not its description marks the value uncached.
        m_throughput = nodeMap->GetNode("GevSCDCT");
        try {
            if (m_throughput && GenApi::IsReadable(m_throughput.get()))
                showValue(static_cast<int>(toMbps(m_throughput->GetValue(false, true))));
        } catch (const std::exception&) {
        }
    }
    connect(this, &ComboSlider::valueChanged, this, &BandwidthLimiterInterPacketDelay::onValueChanged);
}

BandwidthLimiterInterPacketDelay::~BandwidthLimiterInterPacketDelay()
{
    disconnect(this, &ComboSlider::valueChanged, this, &BandwidthLimiterInterPacketDelay::onValueChanged);
}

bool BandwidthLimiterInterPacketDelay::isSupported(GenApi::INodeMap* nodeMap)
{
    if (!nodeMap)
        return false;
    GenApi::INode* node = nodeMap->GetNode("GevSCPD");
    return node && GenApi::IsWritable(node);
}

void BandwidthLimiterInterPacketDelay::showValue(int valueMbps)
{
    const bool was = isUpdateEnabled();
    enableUpdate(false);
    ComboSlider::setValue(valueMbps);
    enableUpdate(was);
}

void BandwidthLimiterInterPacketDelay::setValue(int valueMbps)
{
    showValue(valueMbps);
    onValueChanged(valueMbps);
}

void BandwidthLimiterInterPacketDelay::onValueChanged(int valueMbps)
{
    try {
        const int64_t target = static_cast<int64_t>(valueMbps) * g_bytesPerMb;
        int64_t throughput = m_throughput->GetValue(false, true);
        if (toMbps(throughput) == valueMbps) {
            showValue(valueMbps);
            return;
        }
        int64_t lo = m_delay->GetMin();
        int64_t hi = m_delay->GetMax();
        int64_t delay = m_delay->GetValue();
        for (int round = 0; round < 32; ++round) {
            throughput = m_throughput->GetValue(false, true);
            delay = m_delay->GetValue();
            if (throughput == target)
                break;
            int64_t next;
            if (throughput > target) {
                lo = delay;
                next = (delay + hi) / 2;
            } else {
                hi = delay;
                next = (delay + lo) / 2;
            }
            if (next == delay)
                break;
            m_delay->SetValue(next, true);
        }
        // A delay that does not move the throughput (the camera limits itself) is best left at its minimum.
        const int64_t finalDelay = m_delay->GetValue();
        const int64_t finalThroughput = m_throughput->GetValue(false, true);
        m_delay->SetValue(m_delay->GetMin(), true);
        if (m_throughput->GetValue(false, true) != finalThroughput)
            m_delay->SetValue(finalDelay, true);
        showValue(static_cast<int>(toMbps(throughput)));
    } catch (const std::exception&) {
    }
}
