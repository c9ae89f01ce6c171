// String and StringReg nodes.
#include "StringNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "RegisterAccess.h"

#include <algorithm>
#include <cinttypes>

namespace GenApi {
void CStringNode::Resolve()
{
    CNodeImpl::Resolve();
    if (kind() == "StringReg") {
        m_register = true;
        resolveRegisterAccess(this);
    } else {
        m_value = text("Value");
    }
}

EAccessMode CStringNode::intrinsicAccessMode() const
{
    if (m_register)
        return CRegisterAccess(const_cast<CStringNode*>(this)).accessMode();
    return pointedAccessMode(RW);
}

std::string CStringNode::readText()
{
    DepthGuard guard(this);
    if (!m_register) {
        CNodeImpl* p = link("pValue");
        return p ? p->readText() : m_value;
    }
    if (m_cacheValid && IsCachable())
        return m_cached;
    std::vector<uint8_t> bytes;
    CRegisterAccess(this).read(bytes);
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t(0));
    m_cached.assign(bytes.begin(), end);
    m_cacheValid = true;
    return m_cached;
}

int64_t CStringNode::readInteger()
{
    throw RUNTIME_EXCEPTION("Node '%s' is a string, not a number", name().c_str());
}

int64_t CStringNode::maxLength()
{
    DepthGuard guard(this);
    if (m_register)
        return CRegisterAccess(this).length();
    if (auto target = dynamic_cast<CStringNode*>(link("pValue")))
        return target->maxLength();
    return 0x7FFFFFFF;
}

int64_t CStringNode::GetMaxLength()
{
    AutoLock lock(nodeMapLock());
    return maxLength();
}

void CStringNode::writeText(const std::string& value, bool verify)
{
    DepthGuard guard(this);
    const int64_t length = maxLength();
    // Also when the caller does not verify: a longer text would not fit the register.
    if (static_cast<int64_t>(value.size()) > length)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': %zu characters exceed the length %" PRId64, name().c_str(),
                                     value.size(), length);
    if (m_register) {
        std::vector<uint8_t> bytes(static_cast<size_t>(length), 0);
        std::copy(value.begin(), value.end(), bytes.begin());
        m_cacheValid = false;
        CRegisterAccess(this).write(bytes);
        keepWritten(m_cached, value);
    } else if (CNodeImpl* p = link("pValue")) {
        m_cacheValid = false;
        p->writeText(value, verify);
        noteWritten(keyOf(value));
        return; // the target announces the change, and this node with it
    } else {
        m_value = value;
    }
    changed();
    noteWritten(keyOf(value));
}

void CStringNode::SetValue(const GenICam::gcstring& value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    writeText(value.str(), verify);
}

IString& CStringNode::operator=(const GenICam::gcstring& value)
{
    SetValue(value);
    return *this;
}

GenICam::gcstring CStringNode::GetValue(bool, bool ignoreCache)
{
    return checkedRead(ignoreCache, [this] { return readText(); });
}

GenICam::gcstring CStringNode::ToString(bool verify, bool ignoreCache)
{
    return GetValue(verify, ignoreCache);
}

void CStringNode::FromString(const GenICam::gcstring& text, bool verify)
{
    SetValue(text, verify);
}
} // namespace GenApi
