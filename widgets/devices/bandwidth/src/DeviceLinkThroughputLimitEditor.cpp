// The USB bandwidth cap editor.
#include "orbelt/DeviceLinkThroughputLimitEditor.h"

#include <GenICam/GenericException.h>
#include <threadcheck/HandOff.h>

#include <QThread>

#include <algorithm>
#include <exception>
#include <functional>
#include <limits>

namespace {

int toInt32(int64_t value)
{
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw std::out_of_range("value beyond 32 bits");
    return static_cast<int>(value);
}

} // namespace

DeviceLinkThroughputLimitEditor::DeviceLinkThroughputLimitEditor(GenApi::INodeMap* nodeMap, QWidget* parent)
    : ComboSlider(parent), m_nodeMap(nodeMap)
{
    if (nodeMap) {
        m_selector = nodeMap->GetNode("DeviceLinkSelector");
        m_mode = nodeMap->GetNode("DeviceLinkThroughputLimitMode");
        m_limit = nodeMap->GetNode("DeviceLinkThroughputLimit");
        try {
            if (m_selector && GenApi::IsWritable(m_selector.get()))
                m_selector->SetValue(m_selector->GetMin(), true);
        } catch (const std::exception&) {
        }
        try {
            if (m_mode && GenApi::IsWritable(m_mode.get())) {
                GenApi::IEnumEntry* on = m_mode->GetEntryByName("On");
                if (on && GenApi::IsAvailable(on)) {
                    m_mode->SetIntValue(on->GetValue(), true);
                    m_savedAccessMode = m_mode->GetAccessMode();
                    // Other editors must not switch the limit off while this one lives.
                    m_mode->GetNode()->ImposeAccessMode(GenApi::RO);
                }
            }
        } catch (const std::exception&) {
        }
        if (m_limit) {
            m_relay = std::make_shared<Relay>();
            m_relay->editor = this;
            // The callback holds the relay, not the editor: a notice running on another thread while the
            // editor goes finds the relay empty, or holds the editor until it has posted itself.
            const std::shared_ptr<Relay> relay = m_relay;
            const auto notice = [relay](GenApi::INode* node) {
                std::lock_guard<std::recursive_mutex> lock(relay->mutex);
                if (relay->editor)
                    relay->editor->onLimitChanged(node);
            };
            GenApi::INode* limitNode = m_limit->GetNode();
            m_callback = GenApi::RegisterCallbackObject(
                limitNode, new GenApi::Function_NodeCallback<std::function<void(GenApi::INode*)>>(
                               limitNode, notice, GenApi::cbPostOutsideLock));
            try {
                m_limit->GetNode()->InvalidateNode();
            } catch (const std::exception&) {
            }
            // Shown once whether or not invalidating fired the callback.
            onLimitChanged(m_limit->GetNode());
        }
    }
    connect(this, &ComboSlider::valueChanged, this, &DeviceLinkThroughputLimitEditor::onValueChanged);
}

DeviceLinkThroughputLimitEditor::~DeviceLinkThroughputLimitEditor()
{
    release();
}

void DeviceLinkThroughputLimitEditor::release()
{
    disconnect(this, &ComboSlider::valueChanged, this, &DeviceLinkThroughputLimitEditor::onValueChanged);
    if (m_relay) {
        // Waits for a notice that is reaching the editor; none reaches it afterwards.
        std::lock_guard<std::recursive_mutex> lock(m_relay->mutex);
        m_relay->editor = nullptr;
    }
    if (m_callback && m_nodeMap)
        GenApi::Deregister(m_callback);
    m_callback = 0;
    if (m_savedAccessMode != static_cast<GenApi::EAccessMode>(5)) {
        try {
            if (m_mode)
                m_mode->GetNode()->ImposeAccessMode(m_savedAccessMode);
        } catch (const std::exception&) {
        }
        m_savedAccessMode = static_cast<GenApi::EAccessMode>(5);
    }
}

bool DeviceLinkThroughputLimitEditor::isSupported(GenApi::INodeMap* nodeMap)
{
    if (!nodeMap)
        return false;
    GenApi::INode* node = nodeMap->GetNode("DeviceLinkThroughputLimit");
    return node && GenApi::IsWritable(node);
}

int64_t DeviceLinkThroughputLimitEditor::currentValue() const
{
    return static_cast<int64_t>(value()) * m_scale;
}

void DeviceLinkThroughputLimitEditor::onLimitChanged(GenApi::INode*)
{
    // Widgets are set on the GUI thread only; a change made elsewhere is shown from there. A notice
    // still queued when the editor goes is dropped with it, and one that arrives after the editor let
    // go of the camera shows nothing.
    if (QThread::currentThread() != thread()) {
        threadcheck::post(this, [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    threadcheck::takeOver(this);
                    if (m_callback)
                        onLimitChanged(nullptr);
                },
                Qt::QueuedConnection);
        });
        return;
    }
    try {
        const int min = toInt32(m_limit->GetMin());
        const int max = toInt32(m_limit->GetMax());
        const int inc = toInt32(m_limit->GetInc());
        const int current = toInt32(m_limit->GetValue());
        // Showing the node's state must not write it back (the write would call us again).
        m_showingNode = true;
        const bool was = isUpdateEnabled();
        enableUpdate(false);
        setRangeAndStep(min, max, inc);
        setValue(current);
        enableUpdate(was);
        m_showingNode = false;
    } catch (const std::exception&) {
        m_showingNode = false;
    }
}

void DeviceLinkThroughputLimitEditor::setRangeAndStep(int minVal, int maxVal, int incVal)
{
    const int min = std::max(1, static_cast<int>((static_cast<int64_t>(minVal) + m_scale / 2) / m_scale));
    const int max = maxVal / m_scale;
    const int step = std::max(1, incVal / m_scale);
    ComboSlider::setRangeAndStep(min, max, step);
}

void DeviceLinkThroughputLimitEditor::setValue(int val)
{
    ComboSlider::setValue(static_cast<int>((static_cast<int64_t>(val) + m_scale / 2) / m_scale));
}

void DeviceLinkThroughputLimitEditor::onValueChanged(int value)
{
    if (m_showingNode)
        return;
    try {
        // 64-bit, so that a large slider value cannot overflow before it is clamped to the range.
        int64_t v = static_cast<int64_t>(value) * m_scale;
        const int64_t min = m_limit->GetMin();
        const int64_t max = m_limit->GetMax();
        const int64_t inc = m_limit->GetInc();
        if (v < min)
            v = min;
        else if (v > max)
            v = max;
        else if (inc > 1)
            v -= (v - min) % inc;
        m_limit->SetValue(v, true);
    } catch (const std::exception&) {
    }
}
