// Category nodes: the feature tree.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CCategoryNode : public CNodeImpl, virtual public ICategory {
public:
    using CNodeImpl::CNodeImpl;
    void GetFeatures(FeatureList_t& Features) const override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfICategory; }
    EAccessMode intrinsicAccessMode() const override { return RO; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
};
} // namespace GenApi
