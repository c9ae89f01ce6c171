// Category nodes.
#include "CategoryNode.h"

#include "NodeMapImpl.h"

namespace GenApi {
void CCategoryNode::GetFeatures(FeatureList_t& features) const
{
    features.clear();
    for (CNodeImpl* n : links("pFeature"))
        features.push_back(n);
}

GenICam::gcstring CCategoryNode::ToString(bool, bool)
{
    return GenICam::gcstring();
}
} // namespace GenApi
