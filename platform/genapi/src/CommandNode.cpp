// Command nodes.
#include "CommandNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"

namespace GenApi {
EAccessMode CCommandNode::intrinsicAccessMode() const
{
    return pointedAccessMode(WO);
}

int64_t CCommandNode::readInteger()
{
    CNodeImpl* p = link("pValue");
    return p ? p->readInteger() : m_value;
}

void CCommandNode::Execute(bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    DepthGuard guard(this);
    const int64_t commandValue = integerOf("CommandValue", "pCommandValue", 1);
    if (CNodeImpl* p = link("pValue")) {
        p->writeInteger(commandValue, verify);
    } else {
        // A command without a register is done at once.
        m_value = 0;
        changed();
    }
}

bool CCommandNode::IsDone(bool)
{
    AutoLock lock(m_map->GetLock());
    CNodeImpl* p = link("pValue");
    if (!p || !IsReadable(p->GetAccessMode()))
        return true;
    DepthGuard guard(this);
    p->invalidateReadingTree();
    return p->readInteger() != integerOf("CommandValue", "pCommandValue", 1);
}

GenICam::gcstring CCommandNode::ToString(bool, bool)
{
    checkReadable();
    return IsDone() ? "0" : "1";
}

void CCommandNode::FromString(const GenICam::gcstring& text, bool verify)
{
    const std::string t = trimmedText(text.str());
    if (t == "1" || t == "true" || t == "True")
        Execute(verify);
    else if (!(t == "0" || t == "false" || t == "False"))
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' does not execute a command", name().c_str(), text.c_str());
}
} // namespace GenApi
