// The GigE Vision control-protocol commands that need no control of the camera: discovery, reads of
// the bootstrap block (the camera's identity and network settings, the control-channel privilege) and
// the force-IP command, which reaches a camera by its MAC address even from another subnet.
#pragma once

#include "../GigEIpConfiguration.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Nimbo {
namespace aravis {

// Bootstrap register addresses every GigE Vision camera has.
namespace gvbs {
constexpr uint32_t MacHigh = 0x0008, MacLow = 0x000C, IpConfigOptions = 0x0010, IpConfigCurrent = 0x0014,
                   CurrentIp = 0x0024, CurrentSubnetMask = 0x0034, CurrentGateway = 0x0044, ManufacturerName = 0x0048,
                   ModelName = 0x0068, DeviceVersion = 0x0088, ManufacturerInfo = 0x00A8, SerialNumber = 0x00D8,
                   UserDefinedName = 0x00E8, PersistentIp = 0x064C, PersistentSubnetMask = 0x065C,
                   PersistentGateway = 0x066C, HeartbeatTimeout = 0x0938, ControlChannelPrivilege = 0x0A00,
                   StreamChannelPort = 0x0D00, StreamChannelPacketSize = 0x0D04, StreamChannelPacketDelay = 0x0D08,
                   StreamChannelDestination = 0x0D18;
constexpr uint32_t IdentityEnd = 0x00F8;
} // namespace gvbs

// Reads `length` bytes (a multiple of 4, at most 512) at `address` of the camera at `ip` (dotted
// IPv4) with READMEM; false when it does not answer within the timeout.
bool readMemory(const std::string& ip, uint32_t address, uint32_t length, std::vector<uint8_t>& out,
                int timeoutMs = 200);

// Fields of the bootstrap block, as read by readMemory(ip, 0, gvbs::IdentityEnd).
uint32_t bigEndian32(const std::vector<uint8_t>& block, uint32_t address);
std::string bootstrapString(const std::vector<uint8_t>& block, uint32_t address, uint32_t length);
// "00:30:53:12:34:56", "00-30-53-12-34-56" or "003053123456" (any case); false for anything else.
bool parseMac(const std::string& text, uint64_t& mac);

// Where a force-IP command goes: a unicast or broadcast address, sent through the interface of that
// index (0: as the routing table decides).
struct GvcpTarget {
    std::string address;
    unsigned interfaceIndex = 0;
};

// The force-IP command for the camera of that MAC address, sent to every target: the camera takes
// the address, mask and gateway (host order) until it restarts; all three zero make it run its IP
// configuration again. True when the camera acknowledged it within the timeout.
bool forceIp(const std::vector<GvcpTarget>& targets, uint64_t mac, uint32_t ip, uint32_t mask, uint32_t gateway,
             int timeoutMs = 1000);

// Every IPv4 interface that is up and can broadcast as a limited-broadcast target; the loopback
// interface too when asked (cameras on this host).
std::vector<GvcpTarget> broadcastTargets(bool loopback = false);

// Discovery of its own, sent to every target, that lets cameras broadcast their answer: a camera
// outside every subnet of this host cannot route a unicast answer back (and Aravis' discovery, whose
// sockets are bound to the adapters' addresses, never sees a broadcast one). The bootstrap identity
// block (up to gvbs::IdentityEnd) of each camera that answered within the time.
std::vector<std::vector<uint8_t>> discoverCameras(const std::vector<GvcpTarget>& targets, int timeoutMs = 1000);

} // namespace aravis
} // namespace Nimbo
