// The GigE bandwidth cap editor: searches the inter-packet delay until the throughput matches.
#pragma once

#include "orbelt/ComboSlider.h"
#include "orbelt/Export.h"

#include <nimbo/SafeNodePtr.h>

#include <GenApi/GenApi.h>

// GUI thread only.
class ORBELT_EXPORT BandwidthLimiterInterPacketDelay : public ComboSlider {
    Q_OBJECT
public:
    BandwidthLimiterInterPacketDelay(GenApi::INodeMap* nodeMap, QWidget* parent = nullptr);
    ~BandwidthLimiterInterPacketDelay() override;

    // The node map has a writable "GevSCPD".
    static bool isSupported(GenApi::INodeMap* nodeMap);

public slots:
    void setValue(int valueMbps) override;
    void onValueChanged(int valueMbps);

private:
    // Shows a value without starting another search.
    void showValue(int valueMbps);

    Nimbo::CSafeNodePtr<GenApi::INodeMap> m_nodeMap;
    Nimbo::CSafeNodePtr<GenApi::IInteger> m_delay;
    Nimbo::CSafeNodePtr<GenApi::IInteger> m_throughput;
};
