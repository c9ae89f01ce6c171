// Bytes of a register behind a port, and the bit fields and byte orders of the registers that hold numbers.
#pragma once

#include "NodeImpl.h"

#include <cstdint>
#include <vector>

namespace GenApi {
// Bytes of a register behind a port: address, length and the port come from the description.
class CRegisterAccess {
public:
    explicit CRegisterAccess(CNodeImpl* node) : m_node(node) {}
    int64_t address();
    int64_t length();
    EAccessMode accessMode() const;
    bool bigEndian() const;
    void read(std::vector<uint8_t>& bytes);
    void write(const std::vector<uint8_t>& bytes);

private:
    CNodeImpl* m_node;
};

// Bit positions (counted from the least significant bit) and width of an integer register's field.
struct BitField {
    int low = 0;
    int width = 64;
};

BitField bitFieldOf(CNodeImpl* node, int64_t length, bool bigEndian);
uint64_t fieldMask(int width);
uint64_t bytesToRaw(const std::vector<uint8_t>& bytes, bool bigEndian);
void rawToBytes(uint64_t raw, std::vector<uint8_t>& bytes, bool bigEndian);
bool isSigned(CNodeImpl* node);

// IRegister of the nodes that are registers: the length and address, and the bytes checked against the
// register's length; cache is the node's cached bytes, if it keeps its value as bytes.
int64_t registerLength(CNodeImpl* node);
int64_t registerAddress(CNodeImpl* node);
// The key of a register's bytes, as its reads and writes record them (see CNodeImpl::keyOf).
std::string bytesKey(const std::vector<uint8_t>& bytes);
void registerGet(CNodeImpl* node, uint8_t* buffer, int64_t length, bool ignoreCache, std::vector<uint8_t>* cache);
void registerSet(CNodeImpl* node, const uint8_t* buffer, int64_t length, std::vector<uint8_t>* cache);

// Throws RuntimeException naming the node when its pPort is missing or not a Port, or its AccessMode is
// none of RO, WO and RW.
void resolveRegisterAccess(const CNodeImpl* node);
} // namespace GenApi
