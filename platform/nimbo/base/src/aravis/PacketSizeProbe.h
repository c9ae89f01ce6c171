// The largest stream packet that reaches this host from a GigE Vision camera: the camera fires test
// packets with the don't-fragment bit set, and the largest one that arrives is the packet size the
// path carries without fragmenting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Nimbo {
namespace aravis {

// Register access of the probed camera, through the control channel the caller holds.
struct ControlRegisters {
    std::function<bool(uint32_t address, uint32_t& value)> read;
    std::function<bool(uint32_t address, uint32_t value)> write;
};

// Packet sizes the camera accepts (whole IP packets, headers included).
struct PacketSizeRange {
    uint32_t minimum = 576;
    uint32_t maximum = 16384;
    uint32_t increment = 4;
};

struct PacketSizeProbeResult {
    bool answered = false;   // the camera fired test packets at all
    uint32_t packetSize = 0; // the packet size the camera is left with
};

// Points stream channel 0 at a socket of its own on `hostIp`, searches the largest test packet that
// arrives, and leaves that size set. A camera that fires no test packet keeps its packet size. The
// channel's destination is restored afterwards, so nothing may stream from it meanwhile. Each size
// that does not arrive costs `timeoutMs` twice.
PacketSizeProbeResult probePacketSize(const ControlRegisters& camera, const std::string& hostIp, PacketSizeRange range,
                                      int timeoutMs = 150);

// The MTU of the interface that holds the IPv4 address `hostIp`; 0 when no interface holds it.
uint32_t interfaceMtu(const std::string& hostIp);

// The stream channel's packet-size register: a test-packet trigger, the don't-fragment flag and,
// in its low half, the packet size.
namespace scps {
constexpr uint32_t FireTestPacket = 0x80000000u, DoNotFragment = 0x40000000u, SizeMask = 0x0000FFFFu;
// IPv4 and UDP headers, counted in the packet size but not in the datagram a socket receives.
constexpr uint32_t HeaderBytes = 28;
// Those and the stream protocol's own header of a data packet: the image bytes one packet carries are
// the packet size less these.
constexpr uint32_t StreamHeaderBytes = HeaderBytes + 8;
} // namespace scps

} // namespace aravis
} // namespace Nimbo
