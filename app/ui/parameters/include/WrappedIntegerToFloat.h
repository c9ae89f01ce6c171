// An integer node seen as a float node whose alias is the integer node itself.
#pragma once

#include "IntegerToFloatWrapper.h"
#include "NodeWrapper.h"

namespace TesvarNodeTools {

// GUI thread only.
class CWrappedIntegerToFloat : public CNodeWrapper, public CIntegerToFloatWrapper {
public:
    // node must be an integer.
    explicit CWrappedIntegerToFloat(GenApi::INode* node);

    GenApi::EAccessMode GetAccessMode() const override;
    // The integer node itself, so that a slider model finds its integer positions there.
    GenApi::INode* GetAlias() const override;
    GenApi::INode* GetCastAlias() const override;
};

} // namespace TesvarNodeTools
