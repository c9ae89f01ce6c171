// Small readers of node texts for the editors' log lines.
#pragma once

#include <GenApi/Integer.h>
#include <GenApi/Node.h>
#include <GenApi/Types.h>

#include <QString>

namespace orbelt_detail {

inline QString nodeName(const GenApi::INode* node)
{
    return node ? QString::fromLatin1(node->GetName().c_str()) : QString();
}

inline const char* representationName(GenApi::ERepresentation representation)
{
    switch (representation) {
    case GenApi::Linear: return "Linear";
    case GenApi::Logarithmic: return "Logarithmic";
    case GenApi::Boolean: return "Boolean";
    case GenApi::PureNumber: return "PureNumber";
    case GenApi::HexNumber: return "HexNumber";
    case GenApi::IPV4Address: return "IPV4Address";
    case GenApi::MACAddress: return "MACAddress";
    default: return "_UndefinedRepresentation";
    }
}

} // namespace orbelt_detail
