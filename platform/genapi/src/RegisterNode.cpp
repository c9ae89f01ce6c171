// Register nodes.
#include "RegisterNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "RegisterAccess.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>

namespace GenApi {
void CRegisterNode::Resolve()
{
    CNodeImpl::Resolve();
    resolveRegisterAccess(this);
}

EAccessMode CRegisterNode::intrinsicAccessMode() const
{
    return CRegisterAccess(const_cast<CRegisterNode*>(this)).accessMode();
}

std::string CRegisterNode::valueKey()
{
    if (!m_cacheValid || !IsCachable()) {
        CRegisterAccess(this).read(m_cached);
        m_cacheValid = true;
    }
    return bytesKey(m_cached);
}

GenICam::gcstring CRegisterNode::ToString(bool verify, bool ignoreCache)
{
    AutoLock lock(nodeMapLock());
    std::vector<uint8_t> bytes(static_cast<size_t>(GetLength()));
    Get(bytes.data(), static_cast<int64_t>(bytes.size()), verify, ignoreCache);
    std::string out = "0x";
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        out += hex;
    }
    return out;
}

void CRegisterNode::FromString(const GenICam::gcstring& text, bool verify)
{
    std::string t = trimmedText(text.str());
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        t = t.substr(2);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < t.size() + 1 && i < t.size(); i += 2) {
        if (i + 1 >= t.size() || !std::isxdigit(static_cast<unsigned char>(t[i])) ||
            !std::isxdigit(static_cast<unsigned char>(t[i + 1])))
            throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' is not a hexadecimal byte string", name().c_str(),
                                             text.c_str());
        bytes.push_back(static_cast<uint8_t>(std::stoi(t.substr(i, 2), nullptr, 16)));
    }
    Set(bytes.data(), static_cast<int64_t>(bytes.size()), verify);
}
} // namespace GenApi
