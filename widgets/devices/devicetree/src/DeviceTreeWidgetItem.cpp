// The transport-layer and camera items of the device tree.
#include "orbelt/DeviceTreeWidgetItem.h"

#include "DeviceInfoText.h"

#include <brasko/Formatting.h>

using devicetree::fullNameOf;
using devicetree::toQString;

TLTreeWidgetItem::TLTreeWidgetItem(QTreeWidget* tree) : QTreeWidgetItem(tree) {}

void TLTreeWidgetItem::setTlInfo(const Nimbo::CTlInfo& info)
{
    setText(0, QString::fromUtf8(info.GetFriendlyName().c_str()));
    setData(0, DeviceTreeWidgetItem::FullNameRole, fullNameOf(info));
    setData(0, DeviceTreeWidgetItem::DeviceClassRole, QString::fromUtf8(info.GetDeviceClass().c_str()));
    setSizeHint(0, QSize(19, 19));
    setExpanded(true);
}

DeviceTreeWidgetItem::DeviceTreeWidgetItem(QTreeWidgetItem* parent, const Nimbo::CDeviceInfo& info)
    : QTreeWidgetItem(parent), m_info(info)
{
}

bool DeviceTreeWidgetItem::operator<(const QTreeWidgetItem& other) const
{
    const auto* camera = dynamic_cast<const DeviceTreeWidgetItem*>(&other);
    if (!camera)
        return QTreeWidgetItem::operator<(other);
    return toQString(m_info.GetFriendlyName(), IsUtf8Device(&m_info)) <
           toQString(camera->m_info.GetFriendlyName(), IsUtf8Device(&camera->m_info));
}
