// An enumeration node seen as a boolean node: the node face of the real node with a boolean value.
#pragma once

#include "EnumerationToBooleanWrapper.h"
#include "NodeWrapper.h"

namespace TesvarNodeTools {

// GUI thread only.
class CWrappedEnumerationToBoolean : public CNodeWrapper, public CEnumerationToBooleanWrapper {
public:
    // node must be an enumeration.
    CWrappedEnumerationToBoolean(GenApi::INode* node, const GenICam::gcstring& name);

    GenApi::EAccessMode GetAccessMode() const override;
};

} // namespace TesvarNodeTools
