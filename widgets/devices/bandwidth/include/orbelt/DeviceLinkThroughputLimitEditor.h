// The USB bandwidth cap editor: switches the link throughput limit on and writes it directly.
#pragma once

#include "orbelt/ComboSlider.h"
#include "orbelt/Export.h"

#include <nimbo/SafeNodePtr.h>

#include <GenApi/GenApi.h>

#include <atomic>
#include <memory>
#include <mutex>

// GUI thread, except onLimitChanged, which GenApi calls in whichever thread changed the limit node
// (outside the node map's lock, so a deregistration does not wait for it); from any other thread it
// only posts itself to the GUI thread. The notice reaches the editor through a relay that outlives it
// and that the editor empties, under the relay's lock, when it lets go.
class ORBELT_EXPORT DeviceLinkThroughputLimitEditor : public ComboSlider {
    Q_OBJECT
public:
    DeviceLinkThroughputLimitEditor(GenApi::INodeMap* nodeMap, QWidget* parent = nullptr);
    ~DeviceLinkThroughputLimitEditor() override;

    // The node map has a writable "DeviceLinkThroughputLimit".
    static bool isSupported(GenApi::INodeMap* nodeMap);
    // Slider value times the scale, in bytes per second.
    int64_t currentValue() const;
    // Lets go of the camera at once, as the destructor does: no more writes, no callback, and the
    // limit mode writable again for other editors. The delegate calls it when the view closes the
    // editor, which the view deletes only later.
    void release();

public slots:
    // Both take bytes per second.
    void setValue(int val) override;
    void setRangeAndStep(int minVal, int maxVal, int incVal) override;
    void onValueChanged(int value);

private:
    void onLimitChanged(GenApi::INode* node);

    Nimbo::CSafeNodePtr<GenApi::INodeMap> m_nodeMap;
    Nimbo::CSafeNodePtr<GenApi::IInteger> m_selector;
    Nimbo::CSafeNodePtr<GenApi::IEnumeration> m_mode;
    Nimbo::CSafeNodePtr<GenApi::IInteger> m_limit;
    struct Relay {
        std::recursive_mutex mutex; // held while a notice reaches the editor
        DeviceLinkThroughputLimitEditor* editor = nullptr;
    };
    std::shared_ptr<Relay> m_relay;
    GenApi::CallbackHandleType m_callback = 0;
    const int32_t m_scale = 1000000;
    GenApi::EAccessMode m_savedAccessMode = static_cast<GenApi::EAccessMode>(5);
    // Set while the node's own values are shown, so that showing them writes nothing back.
    std::atomic<bool> m_showingNode{false};
};
