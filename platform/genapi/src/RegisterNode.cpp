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

int64_t CRegisterNode::GetLength()
{
    AutoLock lock(m_map->GetLock());
    DepthGuard guard(this);
    return CRegisterAccess(this).length();
}

int64_t CRegisterNode::GetAddress()
{
    AutoLock lock(m_map->GetLock());
    DepthGuard guard(this);
    return CRegisterAccess(this).address();
}

void CRegisterNode::Get(uint8_t* buffer, int64_t length, bool, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    checkReadable();
    DepthGuard guard(this);
    const int64_t own = CRegisterAccess(this).length();
    if (!buffer || length < 0 || length > own)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': cannot read %" PRId64 " bytes of a %" PRId64 "-byte register",
                                     name().c_str(), length, own);
    if (ignoreCache || !m_cacheValid || !IsCachable()) {
        CRegisterAccess(this).read(m_cached);
        m_cacheValid = true;
    }
    std::copy(m_cached.begin(), m_cached.begin() + length, buffer);
}

void CRegisterNode::Set(const uint8_t* buffer, int64_t length, bool)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    DepthGuard guard(this);
    const int64_t own = CRegisterAccess(this).length();
    if (!buffer || length != own)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': cannot write %" PRId64 " bytes to a %" PRId64 "-byte register",
                                     name().c_str(), length, own);
    std::vector<uint8_t> bytes(buffer, buffer + length);
    m_cacheValid = false;
    CRegisterAccess(this).write(bytes);
    keepWritten(m_cached, bytes);
    changed();
}

GenICam::gcstring CRegisterNode::ToString(bool verify, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
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
