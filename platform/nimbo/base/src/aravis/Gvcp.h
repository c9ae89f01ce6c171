// A few GigE Vision control-protocol reads that need no control of the camera: the bootstrap block
// with the camera's identity and network settings, and the control-channel privilege register.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Nimbo {
namespace aravis {

// Bootstrap register addresses every GigE Vision camera has.
namespace gvbs {
constexpr uint32_t MacHigh = 0x0008, MacLow = 0x000C, IpConfigOptions = 0x0010, IpConfigCurrent = 0x0014,
                   CurrentIp = 0x0024, CurrentSubnetMask = 0x0034, CurrentGateway = 0x0044,
                   ManufacturerName = 0x0048, ModelName = 0x0068, DeviceVersion = 0x0088,
                   ManufacturerInfo = 0x00A8, SerialNumber = 0x00D8, UserDefinedName = 0x00E8,
                   PersistentIp = 0x064C, PersistentSubnetMask = 0x065C, PersistentGateway = 0x066C,
                   HeartbeatTimeout = 0x0938, ControlChannelPrivilege = 0x0A00, StreamChannelPacketSize = 0x0D04,
                   StreamChannelPacketDelay = 0x0D08;
constexpr uint32_t IdentityEnd = 0x00F8;
} // namespace gvbs

// Reads `length` bytes (a multiple of 4, at most 512) at `address` of the camera at `ip` (dotted
// IPv4) with READMEM; false when it does not answer within the timeout.
bool readMemory(const std::string& ip, uint32_t address, uint32_t length, std::vector<uint8_t>& out,
                int timeoutMs = 200);

// Fields of the bootstrap block, as read by readMemory(ip, 0, gvbs::IdentityEnd).
uint32_t bigEndian32(const std::vector<uint8_t>& block, uint32_t address);
std::string bootstrapString(const std::vector<uint8_t>& block, uint32_t address, uint32_t length);
std::string dottedIp(uint32_t address);

} // namespace aravis
} // namespace Nimbo
