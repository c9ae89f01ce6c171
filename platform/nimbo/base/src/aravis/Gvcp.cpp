// GVCP commands over a UDP socket of their own, so that reading a camera's identity or forcing its
// address never takes the control channel away from the program that holds it.
#include "Gvcp.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>

namespace Nimbo {
namespace aravis {

namespace {
constexpr uint16_t kGvcpPort = 3956;
constexpr uint16_t kDiscoveryCommand = 0x0002, kDiscoveryAck = 0x0003;
constexpr uint16_t kForceIpCommand = 0x0004, kForceIpAck = 0x0005;
constexpr uint16_t kReadMemoryCommand = 0x0084, kReadMemoryAck = 0x0085;
constexpr uint8_t kKey = 0x42, kAcknowledgeRequired = 0x01, kBroadcastAcknowledgeAllowed = 0x10;
std::atomic<uint16_t> g_requestId{1};

uint16_t nextRequestId()
{
    uint16_t id = g_requestId.fetch_add(1);
    return id != 0 ? id : g_requestId.fetch_add(1);
}

void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v >> 8), p[1] = uint8_t(v);
}

void put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

// The command header: key, flags, command, payload length, request id.
std::vector<uint8_t> command(uint8_t flags, uint16_t code, uint16_t id, size_t payload)
{
    std::vector<uint8_t> packet(8 + payload, 0);
    packet[0] = kKey;
    packet[1] = flags;
    put16(&packet[2], code);
    put16(&packet[4], static_cast<uint16_t>(payload));
    put16(&packet[6], id);
    return packet;
}

// One acknowledge, whole, in `answer`.
bool exchange(const std::vector<GvcpTarget>& targets, const std::vector<uint8_t>& packet, uint16_t ackCode,
              int timeoutMs, std::vector<uint8_t>& answer);

// Sends the command to every target and hands each acknowledge of its request id, whole, to `take`,
// until `take` says it has what it waits for or the time is up; true when one came. A refusal ends
// the wait. Two tries when none came: UDP may drop the first. The socket is bound to no address, so
// that acknowledges broadcast by cameras outside this host's subnets reach it too.
bool exchange(const std::vector<GvcpTarget>& targets, const std::vector<uint8_t>& packet, uint16_t ackCode,
              int timeoutMs, const std::function<bool(const uint8_t*, size_t)>& take, int attempts = 2)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const uint16_t id = uint16_t(packet[6] << 8 | packet[7]);
    bool ok = false;
    for (int attempt = 0; attempt < attempts && !ok; ++attempt) {
        bool sent = false;
        for (const GvcpTarget& target : targets) {
            sockaddr_in peer{};
            peer.sin_family = AF_INET;
            peer.sin_port = htons(kGvcpPort);
            if (inet_pton(AF_INET, target.address.c_str(), &peer.sin_addr) != 1)
                continue;
            iovec data{const_cast<uint8_t*>(packet.data()), packet.size()};
            msghdr message{};
            message.msg_name = &peer;
            message.msg_namelen = sizeof peer;
            message.msg_iov = &data;
            message.msg_iovlen = 1;
            // The interface a (limited) broadcast leaves through, without binding to it.
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
            if (target.interfaceIndex != 0) {
                message.msg_control = control;
                message.msg_controllen = sizeof control;
                cmsghdr* c = CMSG_FIRSTHDR(&message);
                c->cmsg_level = IPPROTO_IP;
                c->cmsg_type = IP_PKTINFO;
                c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
                in_pktinfo info{};
                info.ipi_ifindex = static_cast<int>(target.interfaceIndex);
                std::memcpy(CMSG_DATA(c), &info, sizeof info);
            }
            sent = sendmsg(fd, &message, 0) == static_cast<ssize_t>(packet.size()) || sent;
        }
        if (!sent)
            break;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            uint8_t buffer[600];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n < 8)
                continue;
            const uint16_t status = uint16_t(buffer[0] << 8 | buffer[1]);
            const uint16_t ack = uint16_t(buffer[2] << 8 | buffer[3]);
            const uint16_t ackId = uint16_t(buffer[6] << 8 | buffer[7]);
            if (ack != ackCode || ackId != id)
                continue;
            if (status != 0) {
                attempt = attempts; // refused: asking again changes nothing
                break;
            }
            ok = true;
            if (take(buffer, static_cast<size_t>(n)))
                break;
        }
    }
    close(fd);
    return ok;
}

bool exchange(const std::vector<GvcpTarget>& targets, const std::vector<uint8_t>& packet, uint16_t ackCode,
              int timeoutMs, std::vector<uint8_t>& answer)
{
    return exchange(targets, packet, ackCode, timeoutMs, [&answer](const uint8_t* data, size_t size) {
        answer.assign(data, data + size);
        return true;
    });
}

} // namespace

std::vector<std::vector<uint8_t>> discoverCameras(const std::vector<GvcpTarget>& targets, int timeoutMs)
{
    std::vector<uint8_t> packet =
        command(kAcknowledgeRequired | kBroadcastAcknowledgeAllowed, kDiscoveryCommand, nextRequestId(), 0);
    std::vector<std::vector<uint8_t>> blocks;
    exchange(
        targets, packet, kDiscoveryAck, timeoutMs,
        [&blocks](const uint8_t* data, size_t size) {
            if (size < 8 + gvbs::IdentityEnd)
                return false;
            std::vector<uint8_t> block(data + 8, data + 8 + gvbs::IdentityEnd);
            const auto mac = [](const std::vector<uint8_t>& b) {
                return uint64_t(bigEndian32(b, gvbs::MacHigh) & 0xFFFF) << 32 | bigEndian32(b, gvbs::MacLow);
            };
            // A camera that hears the broadcast on two adapters answers twice.
            for (const auto& known : blocks)
                if (mac(known) == mac(block))
                    return false;
            blocks.push_back(std::move(block));
            return false; // every camera's answer, until the time is up
        },
        1);
    return blocks;
}

bool readMemory(const std::string& ip, uint32_t address, uint32_t length, std::vector<uint8_t>& out, int timeoutMs)
{
    if (length == 0 || length % 4 != 0 || length > 512)
        return false;
    std::vector<uint8_t> packet = command(kAcknowledgeRequired, kReadMemoryCommand, nextRequestId(), 8);
    put32(&packet[8], address);
    put16(&packet[14], static_cast<uint16_t>(length));
    std::vector<uint8_t> answer;
    if (!exchange({{ip, 0}}, packet, kReadMemoryAck, timeoutMs, answer) || answer.size() < 12 + length)
        return false;
    out.assign(answer.begin() + 12, answer.begin() + 12 + length);
    return true;
}

bool forceIp(const std::vector<GvcpTarget>& targets, uint64_t mac, uint32_t ip, uint32_t mask, uint32_t gateway,
             int timeoutMs)
{
    std::vector<uint8_t> packet = command(kAcknowledgeRequired, kForceIpCommand, nextRequestId(), 56);
    uint8_t* payload = &packet[8];
    put16(payload + 2, static_cast<uint16_t>(mac >> 32));
    put32(payload + 4, static_cast<uint32_t>(mac));
    put32(payload + 20, ip);
    put32(payload + 36, mask);
    put32(payload + 52, gateway);
    std::vector<uint8_t> answer;
    return exchange(targets, packet, kForceIpAck, timeoutMs, answer);
}

std::vector<GvcpTarget> broadcastTargets(bool loopback)
{
    std::vector<GvcpTarget> targets;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return targets;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP))
            continue;
        const bool isLoopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        if (isLoopback ? !loopback : !(a->ifa_flags & IFF_BROADCAST))
            continue;
        const unsigned index = if_nametoindex(a->ifa_name);
        if (index != 0)
            targets.push_back({"255.255.255.255", index});
    }
    freeifaddrs(list);
    return targets;
}

uint32_t bigEndian32(const std::vector<uint8_t>& block, uint32_t address)
{
    if (block.size() < address + 4)
        return 0;
    return uint32_t(block[address]) << 24 | uint32_t(block[address + 1]) << 16 | uint32_t(block[address + 2]) << 8 |
           uint32_t(block[address + 3]);
}

std::string bootstrapString(const std::vector<uint8_t>& block, uint32_t address, uint32_t length)
{
    if (block.size() < address + length)
        return std::string();
    const char* begin = reinterpret_cast<const char*>(block.data() + address);
    return std::string(begin, strnlen(begin, length));
}

bool parseMac(const std::string& text, uint64_t& mac)
{
    uint64_t value = 0;
    int digits = 0;
    const bool separated = text.size() == 17;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (separated && i % 3 == 2) {
            if (c != ':' && c != '-' && c != ' ')
                return false;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        value = value << 4 | static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                                       ? c - '0'
                                                       : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        ++digits;
    }
    if (digits != 12)
        return false;
    mac = value;
    return true;
}

} // namespace aravis
} // namespace Nimbo
