// One camera that device discovery has found.
#include "DeviceManagerItem.h"

DeviceManagerItem::DeviceManagerItem(const Nimbo::CDeviceInfo& deviceInfo)
    : m_deviceInfo(deviceInfo), m_fullName(QString::fromLatin1(deviceInfo.GetFullName().c_str()))
{
}
