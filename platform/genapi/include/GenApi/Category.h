// The category interface: a named group of features.
#pragma once

#include <GenApi/Value.h>

namespace GenApi {
class ICategory : virtual public IValue {
public:
    virtual void GetFeatures(FeatureList_t& Features) const = 0;
};
} // namespace GenApi
