// The device tree's background scan: the enumeration result it shares with the tree, and its thread.
#pragma once

#include "orbelt/Export.h"

#include <brasko/ScanLoop.h>
#include <nimbo/DeviceInfo.h>

#include <QString>

#include <mutex>
#include <utility>
#include <vector>

class DeviceTreeWidget;

// The enumeration result: one pair per transport layer. The scan thread fills its own copy and swaps
// it into the widget's under `mutex`; the GUI thread reads the widget's copy under `mutex`.
struct ORBELT_EXPORT DeviceTreeData {
    using Entry = std::pair<Nimbo::CTlInfo, Nimbo::DeviceInfoList>;
    std::vector<Entry> entries;
    std::mutex mutex;

    // Enumerates the transport layers (and, unless transportLayersOnly, their cameras) and swaps the
    // result into data.entries. Does not lock data.mutex: the caller owns data or holds its lock.
    static void refreshDeviceTreeData(DeviceTreeData& data, bool gigeOnly, bool transportLayersOnly, bool dumpResults);
    // The transport layers that monitor mode shows.
    static bool isGigeDeviceClass(const QString& deviceClass);
};

// Enumerates cameras on request. The requests with their dump flag wait in m_loop (made by the GUI
// thread, taken by the scan thread); a dump asked for by any of the requests that wait for one scan is
// kept, so the timer's quiet request cannot swallow the user's refresh. m_data is touched only by the
// scan thread. m_widget belongs to m_widgetMutex: a stop that times out clears it, so a scan that
// outlives its widget never reaches it.
class ORBELT_EXPORT AutoScanThread : public ScanThread {
    Q_OBJECT
public:
    explicit AutoScanThread(DeviceTreeWidget* widget);
    ~AutoScanThread() override;

    void doScanAsync(bool dumpResults);
    // Waits up to 10 s for the thread to end; false on time-out, after which the thread no longer
    // reaches its widget and ends after its scan.
    bool stop();

protected:
    void run() override;

private:
    std::mutex m_widgetMutex;
    DeviceTreeWidget* m_widget;
    DeviceTreeData m_data;
};
