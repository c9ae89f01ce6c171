// Texts of transport-layer and device infos as the device tree shows them.
#pragma once

#include <nimbo/DeviceInfo.h>

#include <QString>

namespace devicetree {

inline QString toQString(const Nimbo::String_t& text, bool utf8)
{
    return utf8 ? QString::fromUtf8(text.c_str()) : QString::fromLatin1(text.c_str());
}

inline QString fullNameOf(const Nimbo::CInfoBase& info)
{
    return QString::fromUtf8(info.GetPropertyOrEmpty("FullName").c_str());
}

} // namespace devicetree
