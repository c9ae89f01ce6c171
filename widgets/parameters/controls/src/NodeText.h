// Small readers of node texts for the editors' log lines.
#pragma once

#include "LogGuard.h"

#include <GenApi/Integer.h>
#include <GenApi/Node.h>
#include <GenApi/Types.h>

#include <QString>

namespace orbelt_detail {

inline QString nodeName(const GenApi::INode* node)
{
    return node ? QString::fromLatin1(node->GetName().c_str()) : QString();
}

// The node's name for the log lines that follow; false, after the warning lines, when even that fails.
inline bool guardedNodeName(const char* function, const GenApi::INode* node, QString& name)
{
    return guarded(
        function, [] { return QStringLiteral("Failed to retrieve a node's name"); }, [&] { name = nodeName(node); });
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
