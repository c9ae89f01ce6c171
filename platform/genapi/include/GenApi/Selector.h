// The selector interface: which features a node selects and which select it.
#pragma once

#include <GenApi/Base.h>

namespace GenApi {
class ISelector : virtual public IBase {
public:
    virtual bool IsSelector() const = 0;
    virtual void GetSelectedFeatures(FeatureList_t& Features) const = 0;
    virtual void GetSelectingFeatures(FeatureList_t& Features) const = 0;
};
} // namespace GenApi
