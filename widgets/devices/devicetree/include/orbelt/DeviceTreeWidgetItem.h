// The items of the device tree: transport layers at the top, their cameras below.
#pragma once

#include "orbelt/Export.h"

#include <nimbo/DeviceInfo.h>

#include <QTreeWidgetItem>

namespace Nimbo {
class INimboDevice;
}

// A transport layer at the top of the tree. GUI thread only.
class ORBELT_EXPORT TLTreeWidgetItem : public QTreeWidgetItem {
public:
    explicit TLTreeWidgetItem(QTreeWidget* tree);
    void setTlInfo(const Nimbo::CTlInfo& info);
};

// A camera under its transport layer. GUI thread only.
class ORBELT_EXPORT DeviceTreeWidgetItem : public QTreeWidgetItem {
public:
    enum Roles { FullNameRole = Qt::UserRole, TaggedRole, OpenedRole, CameraRole, DeviceClassRole };

    DeviceTreeWidgetItem(QTreeWidgetItem* parent, const Nimbo::CDeviceInfo& info);

    const Nimbo::CDeviceInfo& deviceInfo() const { return m_info; }
    void setDeviceInfo(const Nimbo::CDeviceInfo& info) { m_info = info; }
    Nimbo::INimboDevice* device() const { return m_device; }
    void setDevice(Nimbo::INimboDevice* device) { m_device = device; }

    bool operator<(const QTreeWidgetItem& other) const override;

private:
    Nimbo::CDeviceInfo m_info;
    Nimbo::INimboDevice* m_device = nullptr;
};
