// Packet-size probe with GigE Vision test packets, over a UDP socket of its own.
#include "PacketSizeProbe.h"

#include "Gvcp.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace Nimbo {
namespace aravis {

namespace {

// A bound datagram socket that closes itself.
class TestPacketSocket {
public:
    explicit TestPacketSocket(const std::string& hostIp)
    {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (inet_pton(AF_INET, hostIp.c_str(), &local.sin_addr) != 1)
            return;
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return;
        // Room for a few of the largest test packets.
        const int buffer = 4 * 65536;
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        socklen_t length = sizeof local;
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            close(m_fd);
            m_fd = -1;
            return;
        }
        m_address = ntohl(local.sin_addr.s_addr);
        m_port = ntohs(local.sin_port);
    }
    ~TestPacketSocket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    TestPacketSocket(const TestPacketSocket&) = delete;
    TestPacketSocket& operator=(const TestPacketSocket&) = delete;

    bool valid() const { return m_fd >= 0; }
    uint32_t address() const { return m_address; }
    uint16_t port() const { return m_port; }

    // Drops what an earlier, slower answer left behind.
    void drain()
    {
        uint8_t scrap[1];
        while (recv(m_fd, scrap, sizeof scrap, MSG_DONTWAIT | MSG_TRUNC) >= 0) {
        }
    }

    // True when a datagram of exactly `bytes` arrives before the timeout.
    bool receive(size_t bytes, int timeoutMs)
    {
        std::vector<uint8_t> packet(65536);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
            const ssize_t n = recv(m_fd, packet.data(), packet.size(), MSG_TRUNC);
            if (n >= 0 && static_cast<size_t>(n) == bytes)
                return true;
        }
    }

private:
    int m_fd = -1;
    uint32_t m_address = 0;
    uint16_t m_port = 0;
};

uint32_t alignDown(uint32_t size, const PacketSizeRange& range)
{
    const uint32_t step = std::max<uint32_t>(range.increment, 1);
    return std::max(range.minimum, range.minimum + (size - std::min(size, range.minimum)) / step * step);
}

} // namespace

PacketSizeProbeResult probePacketSize(const ControlRegisters& camera, const std::string& hostIp, PacketSizeRange range,
                                      int timeoutMs)
{
    PacketSizeProbeResult result;
    uint32_t port = 0, destination = 0, packetSize = 0;
    if (!camera.read(gvbs::StreamChannelPort, port) || !camera.read(gvbs::StreamChannelDestination, destination) ||
        !camera.read(gvbs::StreamChannelPacketSize, packetSize))
        return result;
    result.packetSize = packetSize & scps::SizeMask;
    range.minimum = std::max(range.minimum, scps::HeaderBytes + 4);
    range.maximum = std::min(range.maximum, scps::SizeMask);
    if (range.maximum < range.minimum)
        return result;
    range.maximum = alignDown(range.maximum, range);

    TestPacketSocket socket(hostIp);
    if (!socket.valid() || !camera.write(gvbs::StreamChannelDestination, socket.address()) ||
        !camera.write(gvbs::StreamChannelPort, (port & 0xFFFF0000u) | socket.port())) {
        camera.write(gvbs::StreamChannelDestination, destination);
        camera.write(gvbs::StreamChannelPort, port);
        return result;
    }
    const uint32_t flags = packetSize & ~(scps::FireTestPacket | scps::SizeMask);
    // UDP may lose a packet that fits, so a size counts as too large only after a second try.
    const auto arrives = [&](uint32_t size) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            socket.drain();
            if (!camera.write(gvbs::StreamChannelPacketSize, flags | scps::FireTestPacket | scps::DoNotFragment | size))
                return false;
            if (socket.receive(size - scps::HeaderBytes, timeoutMs))
                return true;
        }
        return false;
    };

    // Start from the size the camera has; a camera that fires nothing even at the smallest size
    // cannot be probed.
    uint32_t good = alignDown(std::min(std::max(result.packetSize, range.minimum), range.maximum), range);
    if (!arrives(good)) {
        good = range.minimum;
        result.answered = arrives(good);
    } else {
        result.answered = true;
    }
    if (result.answered) {
        if (arrives(range.maximum)) {
            good = range.maximum;
        } else {
            uint32_t bad = range.maximum;
            const uint32_t step = std::max<uint32_t>(range.increment, 1);
            while (bad - good > step) {
                const uint32_t middle = alignDown(good + (bad - good) / 2, range);
                if (middle <= good || middle >= bad)
                    break;
                (arrives(middle) ? good : bad) = middle;
            }
        }
        result.packetSize = good;
    }
    camera.write(gvbs::StreamChannelPacketSize, flags | result.packetSize);
    camera.write(gvbs::StreamChannelDestination, destination);
    camera.write(gvbs::StreamChannelPort, port);
    return result;
}

uint32_t interfaceMtu(const std::string& hostIp)
{
    in_addr wanted{};
    if (inet_pton(AF_INET, hostIp.c_str(), &wanted) != 1)
        return 0;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return 0;
    std::string name;
    for (ifaddrs* a = list; a && name.empty(); a = a->ifa_next)
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && a->ifa_name &&
            reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == wanted.s_addr)
            name = a->ifa_name;
    freeifaddrs(list);
    if (name.empty() || name.size() >= IFNAMSIZ)
        return 0;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    ifreq request{};
    std::memcpy(request.ifr_name, name.c_str(), name.size());
    const bool ok = ioctl(fd, SIOCGIFMTU, &request) == 0;
    close(fd);
    return ok && request.ifr_mtu > 0 ? static_cast<uint32_t>(request.ifr_mtu) : 0;
}

} // namespace aravis
} // namespace Nimbo
