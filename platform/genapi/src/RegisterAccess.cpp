// Register access through a port, and the bit fields and byte orders of number registers.
#include "RegisterAccess.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "PortNode.h"

#include <algorithm>
#include <cinttypes>

namespace GenApi {
int64_t CRegisterAccess::address()
{
    uint64_t a = 0; // addresses wrap like the device's address arithmetic
    for (const auto& p : m_node->m_definition.properties) {
        if (p.name == "Address")
            a += static_cast<uint64_t>(m_node->parseInteger(p.text, "Address"));
    }
    for (CNodeImpl* n : m_node->links("pAddress"))
        a += static_cast<uint64_t>(n->readInteger());
    // Each pIndex adds its value times its Offset (or pOffset); without either it steps by the register's length.
    const std::vector<CNodeImpl*> indexes = m_node->links("pIndex");
    size_t k = 0;
    for (const auto& p : m_node->m_definition.properties) {
        if (p.name != "pIndex" || k >= indexes.size())
            continue;
        CNodeImpl* index = indexes[k++];
        int64_t offset = 0;
        if (const std::string* o = p.attribute("Offset")) {
            offset = m_node->parseInteger(*o, "Offset");
        } else if (const std::string* po = p.attribute("pOffset")) {
            CNodeImpl* n = m_node->map()->find(trimmedText(*po));
            if (!n)
                throw RUNTIME_EXCEPTION("Node '%s': pOffset refers to the unknown node '%s'", m_node->name().c_str(),
                                        po->c_str());
            offset = n->readInteger();
        } else {
            offset = length();
        }
        a += static_cast<uint64_t>(index->readInteger()) * static_cast<uint64_t>(offset);
    }
    return static_cast<int64_t>(a);
}

int64_t CRegisterAccess::length()
{
    const int64_t n = m_node->integerOf("Length", "pLength", 4);
    // A length from a broken description must not make us allocate gigabytes.
    if (n <= 0 || n > (int64_t(1) << 24))
        throw RUNTIME_EXCEPTION("Node '%s': register length %" PRId64 " is out of range", m_node->name().c_str(), n);
    return n;
}

EAccessMode CRegisterAccess::accessMode() const
{
    const XmlProperty* p = m_node->property("AccessMode");
    static const std::string none;
    const std::string& raw = p ? p->text : none;
    // The common exact spellings need no copy; anything else is trimmed first. Without AccessMode a
    // register is RW; a mode of another spelling is taken as RO (the loading has warned about it).
    const bool exact = raw == "RO" || raw == "WO" || raw == "RW";
    const std::string mode = exact ? std::string() : trimmedText(raw);
    const std::string& m0 = exact ? raw : mode;
    EAccessMode m = !p || m0 == "RW" ? RW : m0 == "WO" ? WO : RO;
    auto port = dynamic_cast<CPortNode*>(m_node->link("pPort"));
    if (!port || !port->connected())
        return NA;
    return m;
}

bool CRegisterAccess::bigEndian() const
{
    return trimmedText(m_node->text("Endianess", "LittleEndian")) == "BigEndian";
}

void CRegisterAccess::read(std::vector<uint8_t>& bytes)
{
    auto port = dynamic_cast<CPortNode*>(m_node->link("pPort"));
    if (!port || !port->connected())
        throw ACCESS_EXCEPTION("Node '%s': its port is not connected", m_node->name().c_str());
    bytes.assign(static_cast<size_t>(length()), 0);
    port->Read(bytes.data(), address(), static_cast<int64_t>(bytes.size()));
}

void CRegisterAccess::write(const std::vector<uint8_t>& bytes)
{
    auto port = dynamic_cast<CPortNode*>(m_node->link("pPort"));
    if (!port || !port->connected())
        throw ACCESS_EXCEPTION("Node '%s': its port is not connected", m_node->name().c_str());
    port->Write(bytes.data(), address(), static_cast<int64_t>(bytes.size()));
}

BitField bitFieldOf(CNodeImpl* node, int64_t length, bool bigEndian)
{
    const int bits = static_cast<int>(length * 8);
    BitField f;
    f.low = 0;
    f.width = bits;
    if (node->kind() != "MaskedIntReg")
        return f;
    int64_t lsb, msb;
    if (node->property("Bit")) {
        lsb = msb = node->parseInteger(node->text("Bit"), "Bit");
    } else {
        lsb = node->property("LSB") ? node->parseInteger(node->text("LSB"), "LSB") : (bigEndian ? bits - 1 : 0);
        msb = node->property("MSB") ? node->parseInteger(node->text("MSB"), "MSB") : (bigEndian ? 0 : bits - 1);
    }
    // Big-endian registers number their bits from the most significant one.
    if (bigEndian) {
        lsb = bits - 1 - lsb;
        msb = bits - 1 - msb;
    }
    if (lsb < 0 || msb < lsb || msb >= bits)
        throw RUNTIME_EXCEPTION("Node '%s': bit field LSB..MSB lies outside its %d-bit register", node->name().c_str(),
                                bits);
    f.low = static_cast<int>(lsb);
    f.width = static_cast<int>(msb - lsb + 1);
    return f;
}

uint64_t fieldMask(int width)
{
    return width >= 64 ? ~uint64_t(0) : ((uint64_t(1) << width) - 1);
}

uint64_t bytesToRaw(const std::vector<uint8_t>& bytes, bool bigEndian)
{
    uint64_t raw = 0;
    const size_t n = std::min<size_t>(bytes.size(), 8);
    for (size_t i = 0; i < n; ++i) {
        const size_t k = bigEndian ? i : n - 1 - i;
        raw = (raw << 8) | bytes[k];
    }
    return raw;
}

void rawToBytes(uint64_t raw, std::vector<uint8_t>& bytes, bool bigEndian)
{
    const size_t n = bytes.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t k = bigEndian ? n - 1 - i : i;
        bytes[k] = static_cast<uint8_t>(raw & 0xFF);
        raw >>= 8;
    }
}

int64_t registerLength(CNodeImpl* node)
{
    AutoLock lock(node->nodeMapLock());
    DepthGuard guard(node);
    return CRegisterAccess(node).length();
}

int64_t registerAddress(CNodeImpl* node)
{
    AutoLock lock(node->nodeMapLock());
    DepthGuard guard(node);
    return CRegisterAccess(node).address();
}

std::string bytesKey(const std::vector<uint8_t>& bytes)
{
    return CNodeImpl::keyOf(std::string(bytes.begin(), bytes.end()));
}

void registerGet(CNodeImpl* node, uint8_t* buffer, int64_t length, bool ignoreCache, std::vector<uint8_t>* cache)
{
    AutoLock lock(node->nodeMapLock());
    // The bytes are the value of a Register node alone; the other kinds hand out what they mean.
    try {
        node->checkReadable();
        DepthGuard guard(node);
        CRegisterAccess reg(node);
        const int64_t own = reg.length();
        if (!buffer || length < 0 || length > own)
            throw OUT_OF_RANGE_EXCEPTION("Node '%s': cannot read %" PRId64 " bytes of a %" PRId64 "-byte register",
                                         node->name().c_str(), length, own);
        std::vector<uint8_t> fresh;
        std::vector<uint8_t>& bytes = cache ? *cache : fresh;
        if (!cache || ignoreCache || !node->m_cacheValid || !node->IsCachable()) {
            reg.read(bytes);
            if (cache)
                node->m_cacheValid = true;
        }
        std::copy(bytes.begin(), bytes.begin() + length, buffer);
        if (cache)
            node->noteHandedOut(bytesKey(bytes));
    } catch (...) {
        if (cache)
            node->noteHandedOut(CNodeImpl::unreadableKey());
        throw;
    }
}

void registerSet(CNodeImpl* node, const uint8_t* buffer, int64_t length, std::vector<uint8_t>* cache)
{
    CNodeMapImpl::Operation op(node->map());
    node->checkWritable();
    DepthGuard guard(node);
    CRegisterAccess reg(node);
    const int64_t own = reg.length();
    if (!buffer || length != own)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': cannot write %" PRId64 " bytes to a %" PRId64 "-byte register",
                                     node->name().c_str(), length, own);
    std::vector<uint8_t> bytes(buffer, buffer + length);
    node->m_cacheValid = false; // also what a number or text node made of these bytes
    reg.write(bytes);
    if (cache)
        node->keepWritten(*cache, bytes);
    node->changed();
    if (cache)
        node->noteWritten(bytesKey(bytes));
}

void resolveRegisterAccess(const CNodeImpl* node)
{
    requireLink(node, "pPort");
    if (!dynamic_cast<CPortNode*>(node->link("pPort")))
        throw RUNTIME_EXCEPTION("Node '%s': pPort '%s' is not a Port", node->name().c_str(),
                                node->link("pPort")->name().c_str());
}

bool isSigned(CNodeImpl* node)
{
    return trimmedText(node->text("Sign", "Unsigned")) == "Signed";
}
} // namespace GenApi
