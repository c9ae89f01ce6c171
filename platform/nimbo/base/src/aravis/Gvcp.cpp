// GVCP READMEM over a UDP socket of its own, so that reading a camera's identity never takes its
// control channel away from the program that holds it.
#include "Gvcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace Nimbo {
namespace aravis {

namespace {
constexpr uint16_t kGvcpPort = 3956;
constexpr uint16_t kReadMemoryCommand = 0x0084, kReadMemoryAck = 0x0085;
std::atomic<uint16_t> g_requestId{1};
} // namespace

bool readMemory(const std::string& ip, uint32_t address, uint32_t length, std::vector<uint8_t>& out, int timeoutMs)
{
    if (length == 0 || length % 4 != 0 || length > 512)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kGvcpPort);
    if (inet_pton(AF_INET, ip.c_str(), &peer.sin_addr) != 1)
        return false;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    uint16_t id = g_requestId.fetch_add(1);
    if (id == 0)
        id = g_requestId.fetch_add(1);
    uint8_t command[16] = {0x42, 0x01};
    const auto put16 = [](uint8_t* p, uint16_t v) { p[0] = uint8_t(v >> 8), p[1] = uint8_t(v); };
    const auto put32 = [](uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
    };
    put16(command + 2, kReadMemoryCommand);
    put16(command + 4, 8);
    put16(command + 6, id);
    put32(command + 8, address);
    put16(command + 12, 0);
    put16(command + 14, static_cast<uint16_t>(length));
    bool ok = false;
    // Two tries: UDP may drop the first.
    for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
        if (sendto(fd, command, sizeof command, 0, reinterpret_cast<sockaddr*>(&peer), sizeof peer) !=
            static_cast<ssize_t>(sizeof command))
            break;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            uint8_t answer[600];
            const ssize_t n = recv(fd, answer, sizeof answer, 0);
            if (n < 12)
                continue;
            const uint16_t status = uint16_t(answer[0] << 8 | answer[1]);
            const uint16_t ack = uint16_t(answer[2] << 8 | answer[3]);
            const uint16_t ackId = uint16_t(answer[6] << 8 | answer[7]);
            if (ack != kReadMemoryAck || ackId != id)
                continue;
            if (status != 0 || n < static_cast<ssize_t>(12 + length))
                break;
            out.assign(answer + 12, answer + 12 + length);
            ok = true;
            break;
        }
    }
    close(fd);
    return ok;
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

std::string dottedIp(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

} // namespace aravis
} // namespace Nimbo
