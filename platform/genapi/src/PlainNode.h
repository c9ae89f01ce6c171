// Node elements: nodes with no value of their own.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
// A <Node> element: a node with no value of its own.
class CPlainNode : public CNodeImpl {
public:
    using CNodeImpl::CNodeImpl;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIBase; }
};
} // namespace GenApi
