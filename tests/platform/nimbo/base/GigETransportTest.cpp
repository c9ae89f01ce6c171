// The GigE transport's own protocol work, against small peers inside the test: the packet-size probe
// with test packets, the force-IP command, USB ids from sysfs, and the network configuration of
// emulated GigE cameras through the transport layer.
// Aravis (GLib) first: Qt's keyword macros, which the test support brings in, break GLib's headers.
#include "aravis/AravisPrivate.h"
#include "aravis/Gvcp.h"
#include "aravis/PacketSizeProbe.h"
#include "aravis/UsbDeviceIds.h"

#include "RealCameraSupport.h"
#include "testsupport/TempDir.h"

#include <nimbo/Emulation.h>
#include <nimbo/GigETransportLayer.h>
#include <nimbo/NimboIncludes.h>
#include <nimbo/TlFactory.h>

#include <GenApi/GenApi.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

namespace {

using namespace Nimbo::aravis;

// A camera's stream channel as far as the probe sees it: registers, and test packets fired to the
// channel's destination through a socket that never fragments (too large for the path: dropped, as
// with the don't-fragment bit). `pathLimit` models a smaller MTU further along the path.
class TestPacketCamera {
public:
    TestPacketCamera(bool fires, uint32_t pathLimit, uint32_t packetSize) : m_fires(fires), m_pathLimit(pathLimit)
    {
        m_registers[gvbs::StreamChannelPort] = 0x00001234;
        m_registers[gvbs::StreamChannelDestination] = 0x0A000001;
        m_registers[gvbs::StreamChannelPacketSize] = 0x20000000u | packetSize; // a flag the probe must keep
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int dontFragment = IP_PMTUDISC_DO;
        setsockopt(m_fd, IPPROTO_IP, IP_MTU_DISCOVER, &dontFragment, sizeof dontFragment);
    }
    ~TestPacketCamera() { close(m_fd); }

    ControlRegisters access()
    {
        ControlRegisters r;
        r.read = [this](uint32_t address, uint32_t& value) {
            value = m_registers[address];
            return true;
        };
        r.write = [this](uint32_t address, uint32_t value) {
            m_registers[address] = value;
            if (address == gvbs::StreamChannelPacketSize && (value & scps::FireTestPacket) && m_fires)
                fire(value & scps::SizeMask);
            return true;
        };
        return r;
    }
    uint32_t reg(uint32_t address) { return m_registers[address]; }
    int fired = 0;

private:
    void fire(uint32_t size)
    {
        ++fired;
        if (size > m_pathLimit)
            return;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(m_registers[gvbs::StreamChannelDestination]);
        to.sin_port = htons(static_cast<uint16_t>(m_registers[gvbs::StreamChannelPort] & 0xFFFF));
        std::vector<uint8_t> payload(size - scps::HeaderBytes, 0x5A);
        // Larger than the interface's MTU: refused with EMSGSIZE, so nothing arrives.
        sendto(m_fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    bool m_fires;
    uint32_t m_pathLimit;
    int m_fd = -1;
    std::map<uint32_t, uint32_t> m_registers;
};

TEST(PacketSizeProbeTest, FindsTheLargestSizeThatArrivesAndRestoresTheChannel)
{
    struct Case {
        const char* what;
        bool fires;
        uint32_t pathLimit, before;
        PacketSizeRange range;
        bool answered;
        uint32_t after;
    };
    const Case cases[] = {
        {"jumbo path", true, 9000, 1400, {576, 16384, 4}, true, 9000},
        {"standard Ethernet", true, 1500, 1400, {576, 16384, 4}, true, 1500},
        {"path carries all the camera can", true, 65535, 1400, {576, 8192, 4}, true, 8192},
        {"path smaller than the camera's size", true, 1000, 1400, {576, 16384, 4}, true, 1000},
        {"increment of 8 from 580", true, 3001, 1400, {580, 16384, 8}, true, 2996},
        {"no test packets", false, 65535, 1400, {576, 16384, 4}, false, 1400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPacketCamera camera(c.fires, c.pathLimit, c.before);
        const PacketSizeProbeResult result = probePacketSize(camera.access(), "127.0.0.1", c.range, 100);
        EXPECT_EQ(result.answered, c.answered);
        EXPECT_EQ(result.packetSize, c.after);
        EXPECT_EQ(camera.reg(gvbs::StreamChannelPacketSize), 0x20000000u | c.after); // no trigger, no new flags
        EXPECT_EQ(camera.reg(gvbs::StreamChannelDestination), 0x0A000001u);
        EXPECT_EQ(camera.reg(gvbs::StreamChannelPort), 0x00001234u);
    }
}

TEST(PacketSizeProbeTest, TheInterfaceMtuBoundsWhatArrives)
{
    // The kernel drops don't-fragment packets above the loopback's MTU, set smaller in a namespace.
    RUN_IN_LOOPBACK_NAMESPACE("ip link set lo mtu 4000");
    ASSERT_EQ(interfaceMtu("127.0.0.1"), 4000u);
    EXPECT_EQ(interfaceMtu("192.0.2.1"), 0u); // no interface holds it
    TestPacketCamera camera(true, 65535, 1500);
    PacketSizeRange range;
    range.maximum = 16384;
    const PacketSizeProbeResult result = probePacketSize(camera.access(), "127.0.0.1", range, 300);
    EXPECT_TRUE(result.answered);
    EXPECT_EQ(result.packetSize, 4000u);
}

// One GVCP request received on port 3956 of `address` (any: broadcasts too), answered with `status`
// (or not at all).
class GvcpPeer {
public:
    explicit GvcpPeer(int status, uint32_t address = INADDR_LOOPBACK) : m_status(status)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(3956);
        local.sin_addr.s_addr = htonl(address);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
        m_thread = std::thread([this] { serve(); });
    }
    ~GvcpPeer()
    {
        join();
        close(m_fd);
    }
    bool bound() const { return m_bound; }
    // What the peer received; waits for it to finish serving, so that the test reads what its thread wrote.
    const std::vector<uint8_t>& request()
    {
        join();
        return m_request;
    }

private:
    void serve()
    {
        pollfd p{m_fd, POLLIN, 0};
        if (!m_bound || poll(&p, 1, 10000) <= 0)
            return;
        uint8_t buffer[600];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n <= 0)
            return;
        m_request.assign(buffer, buffer + n);
        if (m_status < 0 || n < 8)
            return;
        const uint8_t ack[8] = {uint8_t(m_status >> 8), uint8_t(m_status), 0x00, 0x05, 0, 0, buffer[6], buffer[7]};
        sendto(m_fd, ack, sizeof ack, 0, reinterpret_cast<sockaddr*>(&from), length);
    }

    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    int m_status;
    int m_fd = -1;
    bool m_bound = false;
    std::vector<uint8_t> m_request;
    std::thread m_thread;
};

uint32_t word(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

TEST(ForceIpTest, TheCommandCarriesMacAndAddressesAndNeedsTheAcknowledge)
{
    // Port 3956 of a namespace of its own is free, and nothing leaves the loopback.
    RUN_IN_LOOPBACK_NAMESPACE();
    struct Case {
        const char* what;
        int status; // -1: no answer
        bool acknowledged;
    };
    const Case cases[] = {{"acknowledged", 0, true}, {"refused", 0x8006, false}, {"silent", -1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> request;
        bool acknowledged;
        {
            GvcpPeer peer(c.status);
            ASSERT_TRUE(peer.bound());
            acknowledged = forceIp({{"127.0.0.1", 0}}, 0x003053A1B2C3ull, 0xC0A80A15, 0xFFFFFF00, 0xC0A80A01, 300);
            request = peer.request();
        }
        EXPECT_EQ(acknowledged, c.acknowledged);
        ASSERT_EQ(request.size(), 8u + 56u);
        EXPECT_EQ(request[0], 0x42);                   // key
        EXPECT_EQ(request[1] & 0x01, 0x01);            // acknowledge required
        EXPECT_EQ(word(request, 0) & 0xFFFF, 0x0004u); // FORCEIP
        EXPECT_EQ(word(request, 4) >> 16, 56u);
        EXPECT_EQ(word(request, 8), 0x00000030u); // MAC high half
        EXPECT_EQ(word(request, 12), 0x53A1B2C3u);
        EXPECT_EQ(word(request, 28), 0xC0A80A15u); // 192.168.10.21
        EXPECT_EQ(word(request, 44), 0xFFFFFF00u);
        EXPECT_EQ(word(request, 60), 0xC0A80A01u);
    }
}

// A camera in a foreign subnet cannot send its discovery answer back by unicast: discovery allows it
// to broadcast the answer, so that it is found and force-IP can reach it by its MAC address.
class GigEDiscoveryTest : public testsupport::RealCameraFixture {};

TEST_F(GigEDiscoveryTest, DiscoveryLetsCamerasBroadcastTheirAnswer)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    GvcpPeer peer(-1, INADDR_ANY);
    ASSERT_TRUE(peer.bound());
    Nimbo::DeviceInfoList_t list;
    Nimbo::CTlFactory::GetInstance().CreateTl("VelmarGigE")->EnumerateDevices(list, false);
    const std::vector<uint8_t>& request = peer.request();
    ASSERT_EQ(request.size(), 8u);
    EXPECT_EQ(request[0], 0x42);
    EXPECT_EQ(word(request, 0) & 0xFFFF, 0x0002u); // DISCOVERY
    EXPECT_EQ(request[1] & 0x01, 0x01);            // acknowledge required
    EXPECT_EQ(request[1] & 0x10, 0x10);            // ... and it may come by broadcast
}

// A GigE Vision camera as discovery sees it, on port 3956 of this host until it goes, with the
// address `ip`: it answers discovery (by unicast, or by broadcast as a camera outside the host's
// subnets must), reads of its bootstrap block, and force-IP, which gives it a new address. When a read
// comes, it notes whether Aravis' device lists are free, as they must be while discovery waits for
// the answer.
class DiscoveryPeer {
public:
    DiscoveryPeer(bool broadcastAnswer, uint32_t ip) : m_broadcast(broadcastAnswer)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        // The camera's link is the loopback interface: its broadcasts go there.
        setsockopt(m_fd, SOL_SOCKET, SO_BINDTODEVICE, "lo", 3);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(3956);
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
        // The bootstrap block: MAC address, current address, names.
        m_block.assign(0xF8, 0);
        const auto text = [this](size_t at, const char* t) { std::memcpy(&m_block[at], t, std::strlen(t)); };
        put32(0x08, 0x0030), put32(0x0C, 0x53A1B2C3), put32(0x14, 0x5), put32(0x24, ip);
        put32(0x34, 0xFF000000);
        text(0x48, "Velmar"), text(0x68, "Peer"), text(0x88, "1.0"), text(0xD8, "PEER0001");
        m_thread = std::thread([this] { serve(); });
    }
    ~DiscoveryPeer()
    {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }
    bool bound() const { return m_bound; }
    int reads() const { return m_reads; }
    int readsWhileAravisWasBusy() const { return m_busyReads; }
    int forcedIps() const { return m_forced; }

private:
    void put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_block[at + i] = uint8_t(v >> (24 - 8 * i));
    }
    void serve()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (!m_bound || poll(&p, 1, 50) <= 0)
                continue;
            uint8_t in[600];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = recvfrom(m_fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 8)
                continue;
            const std::vector<uint8_t> request(in, in + n);
            const uint16_t command = uint16_t(in[2] << 8 | in[3]);
            std::vector<uint8_t> ack = {0, 0, 0, 0, 0, 0, in[6], in[7]};
            bool broadcast = m_broadcast;
            if (command == 0x0002) { // discovery
                ack[3] = 0x03;
                ack.insert(ack.end(), m_block.begin(), m_block.end());
            } else if (command == 0x0084 && n >= 16) { // read memory
                if (Nimbo::aravis::aravisMutex().try_lock())
                    Nimbo::aravis::aravisMutex().unlock();
                else
                    ++m_busyReads;
                ++m_reads;
                const uint32_t address = word(request, 8), size = word(request, 12) & 0xFFFF;
                ack[3] = 0x85;
                ack.insert(ack.end(), in + 8, in + 12);
                for (uint32_t a = address; a < address + size; ++a)
                    ack.push_back(a < m_block.size() ? m_block[a] : 0);
                broadcast = false;
            } else if (command == 0x0004 && n >= 64 && word(request, 12) == word(m_block, 0x0C)) { // force-IP
                put32(0x24, word(request, 28));
                put32(0x34, word(request, 44));
                ack[3] = 0x05;
                ++m_forced;
            } else {
                continue;
            }
            const uint16_t payload = uint16_t(ack.size() - 8);
            ack[4] = uint8_t(payload >> 8), ack[5] = uint8_t(payload);
            sockaddr_in to = from;
            if (broadcast)
                to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
            sendto(m_fd, ack.data(), ack.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
    }

    bool m_broadcast;
    int m_fd = -1;
    bool m_bound = false;
    std::vector<uint8_t> m_block;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reads{0}, m_busyReads{0}, m_forced{0};
    std::thread m_thread;
};

// A camera on this host's subnet answers by unicast and is read outside Aravis' lock; one outside
// every subnet answers by broadcast, is listed as one that cannot be opened, and force-IP by its MAC
// address reaches it.
TEST_F(GigEDiscoveryTest, CamerasAreFoundWhereverTheirAddressLies)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    Nimbo::ITransportLayer* tl = Nimbo::CTlFactory::GetInstance().CreateTl("VelmarGigE");
    const auto find = [tl](Nimbo::CDeviceInfo& info) { return testsupport::enumerate(*tl, "PEER0001", info); };
    {
        DiscoveryPeer peer(false, 0x7F000001);
        ASSERT_TRUE(peer.bound());
        Nimbo::CDeviceInfo info;
        ASSERT_TRUE(find(info));
        EXPECT_EQ(info.GetIpAddress(), "127.0.0.1");
        EXPECT_EQ(info.GetMacAddress(), "003053A1B2C3");
        EXPECT_EQ(info.GetModelName(), "Peer");
        EXPECT_GE(peer.reads(), 1) << "the bootstrap block is read";
        EXPECT_EQ(peer.readsWhileAravisWasBusy(), 0);
        EXPECT_TRUE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(info));
    }
    {
        DiscoveryPeer peer(true, 0xC000020A); // 192.0.2.10
        ASSERT_TRUE(peer.bound());
        Nimbo::CDeviceInfo info;
        ASSERT_TRUE(find(info)) << "found by its broadcast answer";
        EXPECT_EQ(info.GetIpAddress(), "192.0.2.10");
        EXPECT_EQ(info.GetMacAddress(), "003053A1B2C3");
        EXPECT_EQ(info.GetModelName(), "Peer");
        EXPECT_TRUE(info.GetInterface().empty());
        EXPECT_FALSE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(info));
        try {
            Nimbo::CTlFactory::GetInstance().CreateDevice(info);
            ADD_FAILURE() << "a camera outside every subnet opened";
        } catch (const GenICam::GenericException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find("ForceIp"), std::string::npos) << e.GetDescription();
        }
        auto* gige = dynamic_cast<Nimbo::IGigETransportLayer*>(tl);
        ASSERT_NE(gige, nullptr);
        EXPECT_TRUE(gige->ForceIp(info.GetMacAddress(), "127.0.0.1", "255.0.0.0", "0.0.0.0"));
        EXPECT_EQ(peer.forcedIps(), 1);
    }
}

TEST(ForceIpTest, MacAddressTexts)
{
    struct Case {
        const char* text;
        bool valid;
        uint64_t mac;
    };
    const Case cases[] = {
        {"003053A1B2C3", true, 0x003053A1B2C3ull},
        {"00:30:53:a1:b2:c3", true, 0x003053A1B2C3ull},
        {"00-30-53-A1-B2-C3", true, 0x003053A1B2C3ull},
        {"00 30 53 A1 B2 C3", true, 0x003053A1B2C3ull},
        {"003053A1B2C", false, 0},
        {"003053A1B2C3D", false, 0},
        {"00:30:53:A1:B2:CG", false, 0},
        {"0030:53A1:B2C3", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        uint64_t mac = 0;
        EXPECT_EQ(parseMac(c.text, mac), c.valid) << c.text;
        if (c.valid)
            EXPECT_EQ(mac, c.mac) << c.text;
    }
}

class UsbIdsTest : public testsupport::TempDirTest {
protected:
    void device(const char* name, const char* vendor, const char* product, const char* manufacturer,
                const char* productText, const char* serial)
    {
        ASSERT_TRUE(QDir(path()).mkpath(name));
        const auto write = [&](const char* file, const char* text) {
            QFile f(filePath(QString(name) + "/" + file));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
            f.write("\n");
        };
        write("idVendor", vendor);
        write("idProduct", product);
        write("manufacturer", manufacturer);
        write("product", productText);
        write("serial", serial);
    }
};

TEST_F(UsbIdsTest, TheDeviceIsFoundByItsSerialAndDescriptorTexts)
{
    device("2-1", "1d6b", "0003", "Linux", "xHCI Host Controller", "0000:00:14.0");
    device("2-3", "2676", "ba02", "Velmar", "VX-1600c", "21000042");
    device("2-4", "2676", "ba03", "Velmar", "VX-1600m", "21000043");
    device("2-4:1.0", "zzzz", "0000", "", "", "21000043"); // an interface folder, no device

    UsbIds ids;
    ASSERT_TRUE(usbDeviceIds("21000042", "Velmar", "VX-1600c", ids, stdPath()));
    EXPECT_EQ(ids.vendorId, "2676");
    EXPECT_EQ(ids.productId, "BA02");
    ASSERT_TRUE(usbDeviceIds("21000043", "", "", ids, stdPath()));
    EXPECT_EQ(ids.productId, "BA03");
    EXPECT_FALSE(usbDeviceIds("21000042", "Other", "VX-1600c", ids, stdPath()));
    EXPECT_FALSE(usbDeviceIds("99999999", "", "", ids, stdPath()));
    EXPECT_FALSE(usbDeviceIds("", "", "", ids, stdPath()));
    EXPECT_FALSE(usbDeviceIds("21000042", "", "", ids, stdFilePath("missing")));
}

// The network configuration through the transport layer, on emulated GigE cameras.
class EmulatedGigENetworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Nimbo::Emulation::Configure("gige:gxGige1280c:30000001;gige:gxGige1280c:30000002");
        m_tl = dynamic_cast<Nimbo::IGigETransportLayer*>(Nimbo::CTlFactory::GetInstance().CreateTl("VelmarGigE"));
        ASSERT_NE(m_tl, nullptr);
        ASSERT_TRUE(find("30000001", m_info));
    }
    void TearDown() override { Nimbo::Emulation::ConfigureFromEnvironment(); }

    bool find(const std::string& serial, Nimbo::CDeviceInfo& info)
    {
        return testsupport::enumerate(*m_tl, serial, info);
    }

    Nimbo::NimboAutoInitTerm m_init;
    Nimbo::IGigETransportLayer* m_tl = nullptr;
    Nimbo::CDeviceInfo m_info;
};

TEST_F(EmulatedGigENetworkTest, OnlyTheGigETransportLayerOffersIt)
{
    EXPECT_EQ(dynamic_cast<Nimbo::IGigETransportLayer*>(Nimbo::CTlFactory::GetInstance().CreateTl("VelmarUsb")),
              nullptr);
}

TEST_F(EmulatedGigENetworkTest, ForceIpMovesTheCameraUntilItsConfigurationRunsAgain)
{
    const Nimbo::String_t mac = m_info.GetMacAddress();
    const Nimbo::String_t original = m_info.GetIpAddress();
    ASSERT_TRUE(m_tl->ForceIp(mac, "10.20.30.40", "255.255.0.0", "10.20.0.1"));
    Nimbo::CDeviceInfo moved;
    ASSERT_TRUE(find("30000001", moved));
    EXPECT_EQ(moved.GetIpAddress(), "10.20.30.40");
    EXPECT_EQ(moved.GetSubnetMask(), "255.255.0.0");
    EXPECT_EQ(moved.GetDefaultGateway(), "10.20.0.1");
    EXPECT_EQ(moved.GetFullName(), "gxGige1280c#10.20.30.40:3956#30000001");
    // The new name opens the camera.
    Nimbo::INimboDevice* device = m_tl->CreateDevice(moved);
    ASSERT_NE(device, nullptr);
    device->Open();
    EXPECT_FALSE(m_tl->ForceIp(mac, "10.20.30.41", "255.255.0.0", "0.0.0.0")) << "refused while open";
    EXPECT_FALSE(m_tl->RestartIpConfiguration(mac)) << "refused while open";
    m_tl->DestroyDevice(device);

    // Without a persistent address the camera returns to the one it started with.
    ASSERT_TRUE(m_tl->ChangeIpConfiguration(mac, false, true));
    ASSERT_TRUE(m_tl->RestartIpConfiguration(mac));
    Nimbo::CDeviceInfo back;
    ASSERT_TRUE(find("30000001", back));
    EXPECT_EQ(back.GetIpAddress(), original);
    Nimbo::CDeviceInfo other;
    ASSERT_TRUE(find("30000002", other));
    EXPECT_NE(other.GetIpAddress(), "10.20.30.40") << "the other camera stays where it is";
}

TEST_F(EmulatedGigENetworkTest, APersistentAddressIsStoredAndTakenOnRestartWhenEnabled)
{
    const Nimbo::String_t mac = m_info.GetMacAddress();
    ASSERT_TRUE(m_tl->SetPersistentIp(mac, "192.168.7.9", "255.255.255.0", "192.168.7.1"));
    ASSERT_TRUE(m_tl->ChangeIpConfiguration(mac, true, false));
    Nimbo::String_t ip, mask, gateway;
    bool persistent = false, dhcp = true;
    ASSERT_TRUE(m_tl->GetPersistentIp(mac, ip, mask, gateway, &persistent, &dhcp));
    EXPECT_EQ(ip, "192.168.7.9");
    EXPECT_EQ(mask, "255.255.255.0");
    EXPECT_EQ(gateway, "192.168.7.1");
    EXPECT_TRUE(persistent);
    EXPECT_FALSE(dhcp);
    ASSERT_TRUE(m_tl->RestartIpConfiguration(mac));
    Nimbo::CDeviceInfo info;
    ASSERT_TRUE(find("30000001", info));
    EXPECT_EQ(info.GetIpAddress(), "192.168.7.9");
    EXPECT_EQ(info.GetIpConfigCurrent(), "5"); // link-local and persistent

    // The camera's features hold the same configuration, both ways.
    Nimbo::INimboDevice* device = m_tl->CreateDevice(info);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    EXPECT_EQ(GenApi::CIntegerPtr(map.GetNode("GevCurrentIPAddress"))->GetValue(), 0xC0A80709);
    EXPECT_EQ(GenApi::CIntegerPtr(map.GetNode("GevPersistentDefaultGateway"))->GetValue(), 0xC0A80701);
    EXPECT_TRUE(GenApi::CBooleanPtr(map.GetNode("GevCurrentIPConfigurationPersistentIP"))->GetValue());
    GenApi::CIntegerPtr(map.GetNode("GevPersistentIPAddress"))->SetValue(0xC0A8070A);
    GenApi::CBooleanPtr(map.GetNode("GevCurrentIPConfigurationDHCP"))->SetValue(true);
    m_tl->DestroyDevice(device);
    ASSERT_TRUE(m_tl->GetPersistentIp(mac, ip, mask, gateway, &persistent, &dhcp));
    EXPECT_EQ(ip, "192.168.7.10");
    EXPECT_TRUE(dhcp);
}

TEST_F(EmulatedGigENetworkTest, MalformedArgumentsAndUnknownCamerasAreRefused)
{
    const Nimbo::String_t mac = m_info.GetMacAddress();
    struct Case {
        const char* mac;
        const char* ip;
        const char* mask;
    };
    const Case cases[] = {
        {"00:11:22:33:44:55", "10.0.0.5", "255.0.0.0"}, // nobody has it
        {"not a mac", "10.0.0.5", "255.0.0.0"},
        {mac.c_str(), "10.0.0.256", "255.0.0.0"},
        {mac.c_str(), "10.0.0.5", "mask"},
        {mac.c_str(), "0.0.0.0", "255.0.0.0"}, // the restart is asked for by its own name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mac) + " " + c.ip + " " + c.mask);
        EXPECT_FALSE(m_tl->ForceIp(c.mac, c.ip, c.mask, "0.0.0.0"));
    }
    EXPECT_FALSE(m_tl->SetPersistentIp("00:11:22:33:44:55", "10.0.0.5", "255.0.0.0", "0.0.0.0"));
    EXPECT_FALSE(m_tl->ChangeIpConfiguration("00:11:22:33:44:55", true, false));
    Nimbo::String_t ip, mask, gateway;
    EXPECT_FALSE(m_tl->GetPersistentIp("00:11:22:33:44:55", ip, mask, gateway));
    Nimbo::CDeviceInfo info;
    ASSERT_TRUE(find("30000001", info));
    EXPECT_EQ(info.GetIpAddress(), m_info.GetIpAddress());
}

} // namespace
