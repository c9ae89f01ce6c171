// The GigE transport settings of a real camera, against Aravis' fake GigE Vision camera in a network
// namespace of its own (RealCameraSupport.h): packet size and inter-packet delay in the camera's
// registers, the packet-size probe, the persistent IP configuration, and control held elsewhere.
// Aravis (GLib) first: Qt's keyword macros, which the test support brings in, break GLib's headers.
#include <arv.h>

#include "aravis/Gvcp.h"

#include "RealCameraSupport.h"

#include <nimbo/GigETransportLayer.h>
#include <nimbo/InstantCamera.h>
#include <nimbo/NimboIncludes.h>
#include <nimbo/TlFactory.h>

#include <GenApi/GenApi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::FakeCameraDevice;
namespace gvbs = Nimbo::aravis::gvbs;

// A register of the camera at 127.0.0.1 (or `ip`), read over a GVCP socket of the test's own, not
// through the SDK that wrote it.
uint32_t cameraRegister(uint32_t address, const std::string& ip = "127.0.0.1")
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(Nimbo::aravis::readMemory(ip, address, 4, bytes, 1000));
    return Nimbo::aravis::bigEndian32(bytes, 0);
}

class RealCameraGigETest : public testsupport::RealCameraFixture {
protected:
    Nimbo::IGigETransportLayer* gige()
    {
        return dynamic_cast<Nimbo::IGigETransportLayer*>(Nimbo::CTlFactory::GetInstance().CreateTl("VelmarGigE"));
    }

    // Opens the camera and its first stream grabber, whose node map carries the packet settings.
    static Nimbo::IStreamGrabber* openWithGrabber(Nimbo::CInstantCamera& camera)
    {
        camera.Open();
        Nimbo::IStreamGrabber* grabber = camera.GetDevice()->GetStreamGrabber(0);
        grabber->Open();
        return grabber;
    }
};

TEST_F(RealCameraGigETest, PacketSizeAndInterPacketDelayReachTheCamerasRegisters)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0001");
    ASSERT_NE(fake.device(), nullptr);
    Nimbo::CInstantCamera camera(fake.release());
    Nimbo::IStreamGrabber* grabber = openWithGrabber(camera);
    GenApi::INodeMap& sg = *grabber->GetNodeMap();
    const uint32_t flags = cameraRegister(gvbs::StreamChannelPacketSize) & 0xFFFF0000u;

    struct Case {
        const char* node;
        int64_t value;
        uint32_t address, mask;
    };
    const Case cases[] = {
        {"PacketSize", 8000, gvbs::StreamChannelPacketSize, 0xFFFF},
        {"PacketSize", 1500, gvbs::StreamChannelPacketSize, 0xFFFF},
        {"InterPacketDelay", 2500, gvbs::StreamChannelPacketDelay, 0xFFFFFFFF},
        {"InterPacketDelay", 0, gvbs::StreamChannelPacketDelay, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.node) + " " + std::to_string(c.value));
        GenApi::CIntegerPtr node = sg.GetNode(c.node);
        ASSERT_TRUE(node.IsValid());
        node->SetValue(c.value);
        EXPECT_EQ(cameraRegister(c.address) & c.mask, static_cast<uint32_t>(c.value));
        EXPECT_EQ(node->GetValue(), c.value);
    }
    EXPECT_EQ(cameraRegister(gvbs::StreamChannelPacketSize) & 0xFFFF0000u, flags) << "flags kept";
    // The camera's own feature is the same register.
    GenApi::CIntegerPtr(camera.GetNodeMap().GetNode("GevSCPSPacketSize"))->SetValue(4000);
    EXPECT_EQ(cameraRegister(gvbs::StreamChannelPacketSize) & 0xFFFF, 4000u);
    EXPECT_EQ(GenApi::CIntegerPtr(sg.GetNode("PacketSize"))->GetValue(), 4000);
    grabber->Close();
}

// Aravis lays out a frame's packets by the packet size it found when it made the stream: a packet size
// written while the stream exists would turn every later frame into wrong pixels marked good. The
// write is refused, from the grabber and from the camera's own feature, and takes effect with the
// next grab.
TEST_F(RealCameraGigETest, APacketSizeWrittenWhileTheCameraStreamsIsRefusedAndTakesEffectNextGrab)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0005");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    GenApi::CIntegerPtr(map.GetNode("Width"))->SetValue(1024);
    GenApi::CIntegerPtr(map.GetNode("Height"))->SetValue(512);
    GenApi::CEnumerationPtr(map.GetNode("PixelFormat"))->FromString("Mono8");
    constexpr size_t kSize = 1024 * 512;
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    GenApi::INodeMap& sg = *grabber->GetNodeMap();
    std::vector<std::vector<uint8_t>> memory(4, std::vector<uint8_t>(kSize));

    // Ten frames, every buffer requeued: those that come good hold the fake camera's ramp.
    const auto tenFrames = [&] {
        Nimbo::GrabResult r;
        for (int n = 0; n < 10; ++n) {
            ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000)) << n;
            if (r.Status() == Nimbo::Grabbed)
                EXPECT_TRUE(testsupport::diagonal(static_cast<const uint8_t*>(r.Buffer()), 1024, 512)) << n;
            grabber->QueueBuffer(r.Handle(), nullptr);
        }
    };
    const auto grabTen = [&] {
        grabber->PrepareGrab();
        for (auto& m : memory)
            grabber->QueueBuffer(grabber->RegisterBuffer(m.data(), kSize), nullptr);
        GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
        tenFrames();
    };
    const auto stop = [&] {
        GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
        grabber->FinishGrab();
        Nimbo::GrabResult r;
        while (grabber->RetrieveResult(r)) {
        }
    };

    grabTen();
    const uint32_t before = cameraRegister(gvbs::StreamChannelPacketSize);
    struct Case {
        GenApi::INodeMap* map;
        const char* node;
        int64_t value;
    };
    const Case cases[] = {
        {&sg, "PacketSize", 8000},
        {&sg, "PacketSize", 700},
        {&map, "GevSCPSPacketSize", 8000},
        {&map, "GevSCPSPacketSize", 700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.node) + " " + std::to_string(c.value));
        GenApi::CIntegerPtr node = c.map->GetNode(c.node);
        ASSERT_TRUE(node.IsValid());
        try {
            node->SetValue(c.value);
            ADD_FAILURE() << "the packet size changed while the camera streams";
        } catch (const GenICam::GenericException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find("packet size"), std::string::npos) << e.GetDescription();
        }
        EXPECT_EQ(cameraRegister(gvbs::StreamChannelPacketSize), before);
        EXPECT_EQ(node->GetValue(), static_cast<int64_t>(before & 0xFFFF));
        tenFrames();
    }
    // The same size, or the flags beside it, are no change of the packet layout.
    GenApi::CIntegerPtr(sg.GetNode("PacketSize"))->SetValue(before & 0xFFFF);
    stop();

    // Without a stream the write goes through, and the next grab's frames use it.
    GenApi::CIntegerPtr(sg.GetNode("PacketSize"))->SetValue(8000);
    EXPECT_EQ(cameraRegister(gvbs::StreamChannelPacketSize) & 0xFFFF, 8000u);
    grabTen();
    stop();
    grabber->Close();
}

// The SDK writes some of the camera's registers itself, and Aravis writes the stream channel's when
// it makes a stream and when it destroys it: a description that caches them must read them afresh
// afterwards.
TEST_F(RealCameraGigETest, CachedNodesReadTheRegistersTheSdkAndAravisWroteBehindThem)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0006", 0, NIMBO_TEST_FIXTURES "/FakeCameraCachingStreamRegisters.xml");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    GenApi::CIntegerPtr(map.GetNode("Width"))->SetValue(256);
    GenApi::CIntegerPtr(map.GetNode("Height"))->SetValue(128);
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    GenApi::INodeMap& sg = *grabber->GetNodeMap();

    struct Register {
        const char* node;
        uint32_t address, mask;
    };
    struct Case {
        const char* what;
        std::function<void()> write;
        std::vector<Register> registers;
    };
    const Case cases[] = {
        {"the grabber's packet size",
         [&] { GenApi::CIntegerPtr(sg.GetNode("PacketSize"))->SetValue(4000); },
         {{"GevSCPSPacketSize", gvbs::StreamChannelPacketSize, 0xFFFF}}},
        {"the grabber's inter-packet delay",
         [&] { GenApi::CIntegerPtr(sg.GetNode("InterPacketDelay"))->SetValue(2500); },
         {{"GevSCPD", gvbs::StreamChannelPacketDelay, 0xFFFFFFFF}}},
        {"the stream's creation",
         [&] { grabber->PrepareGrab(); },
         {{"GevSCDA", gvbs::StreamChannelDestination, 0xFFFFFFFF},
          {"GevSCPHostPort", gvbs::StreamChannelPort, 0xFFFF}}},
        // Aravis closes the stream channel (its port 0) when it destroys the stream.
        {"the stream's end", [&] { grabber->FinishGrab(); }, {{"GevSCPHostPort", gvbs::StreamChannelPort, 0xFFFF}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int64_t> before; // now in the nodes' caches
        for (const Register& r : c.registers) {
            GenApi::CIntegerPtr node = map.GetNode(r.node);
            ASSERT_TRUE(node.IsValid()) << r.node;
            before.push_back(node->GetValue());
        }
        c.write();
        for (size_t i = 0; i < c.registers.size(); ++i) {
            const Register& r = c.registers[i];
            const int64_t now = cameraRegister(r.address) & r.mask;
            EXPECT_NE(now, before[i]) << r.node << ": the case changes the register";
            EXPECT_EQ(GenApi::CIntegerPtr(map.GetNode(r.node))->GetValue(), now) << r.node;
        }
    }
    grabber->Close();
}

// A grab whose stream cannot be made fails where it is prepared, with the reason, and leaves the
// grabber as it was; no grab may start that would never deliver a frame.
TEST_F(RealCameraGigETest, AStreamThatCannotBeMadeFailsThePrepareWithTheReason)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0007");
    ASSERT_NE(fake.device(), nullptr);
    {
        // The camera says it has no stream channel (its bootstrap register of their number).
        GError* error = nullptr;
        ArvDevice* other = arv_open_device("127.0.0.1", &error);
        ASSERT_NE(other, nullptr) << (error ? error->message : "");
        ASSERT_TRUE(arv_device_write_register(other, 0x0904, 0, nullptr));
        g_object_unref(other);
    }
    Nimbo::INimboDevice* device = fake.device();
    device->Open();
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    try {
        grabber->PrepareGrab();
        ADD_FAILURE() << "PrepareGrab succeeded without a stream";
    } catch (const GenICam::GenericException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("stream"), std::string::npos) << e.GetDescription();
    }
    std::vector<uint8_t> buffer(1024);
    EXPECT_THROW(grabber->RegisterBuffer(buffer.data(), buffer.size()), GenICam::RuntimeException)
        << "the grabber stays unprepared";
    grabber->Close();

    Nimbo::CInstantCamera camera(device, Nimbo::Cleanup_None);
    EXPECT_THROW(camera.StartGrabbing(), GenICam::GenericException);
    EXPECT_FALSE(camera.IsGrabbing());
    camera.DetachDevice();
}

// The heartbeat time-out is the camera's own: the transport layer's setting reaches it (the bandwidth
// manager hardens the link this way), also when set before the camera opens, and neither that setting
// nor the camera's feature may go below what Aravis' heartbeat, once a second, keeps alive.
TEST_F(RealCameraGigETest, TheHeartbeatTimeoutReachesTheCameraAndStaysWhereTheHeartbeatKeepsControl)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0008", 0, NIMBO_TEST_FIXTURES "/FakeCameraCachingStreamRegisters.xml");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    GenApi::CIntegerPtr tlTimeout = device->GetTLNodeMap()->GetNode("HeartbeatTimeout");
    ASSERT_TRUE(tlTimeout.IsValid());
    tlTimeout->SetValue(8000);
    device->Open();
    EXPECT_EQ(cameraRegister(gvbs::HeartbeatTimeout), 8000u) << "set before the open";
    GenApi::CIntegerPtr cameraTimeout = device->GetNodeMap()->GetNode("GevHeartbeatTimeout"); // cached
    EXPECT_EQ(cameraTimeout->GetValue(), 8000);

    struct Case {
        GenApi::CIntegerPtr node;
        int64_t value;
        bool taken;
    };
    const Case cases[] = {
        {tlTimeout, 10000, true},    {tlTimeout, 500, false},     {tlTimeout, 1999, false},
        {cameraTimeout, 500, false}, {cameraTimeout, 5000, true}, {tlTimeout, 2000, true},
    };
    uint32_t expected = 8000;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.node->GetNode()->GetName().c_str()) + " " + std::to_string(c.value));
        if (c.taken) {
            c.node->SetValue(c.value);
            expected = static_cast<uint32_t>(c.value);
        } else {
            EXPECT_THROW(c.node->SetValue(c.value), GenICam::GenericException);
        }
        EXPECT_EQ(cameraRegister(gvbs::HeartbeatTimeout), expected);
        EXPECT_EQ(tlTimeout->GetValue(), expected);
        EXPECT_EQ(cameraTimeout->GetValue(), expected);
    }
    // At the smallest time-out allowed the camera stays controlled.
    EXPECT_FALSE(testsupport::waitFor([] { return cameraRegister(gvbs::ControlChannelPrivilege) == 0; }, 3000));

    // A time-out the camera did not get, refused, is not given to it at its next open either.
    tlTimeout->SetValue(30000); // kept through the pause below
    GenApi::CIntegerPtr acquisition = device->GetNodeMap()->GetNode("AcquisitionRegister"); // read every time
    fake.camera().pause();
    EXPECT_THROW(acquisition->GetValue(), GenICam::GenericException);
    EXPECT_THROW(tlTimeout->SetValue(20000), GenICam::GenericException);
    fake.camera().resume();
    EXPECT_TRUE(testsupport::waitFor(
        [&] {
            try {
                acquisition->GetValue();
                return true;
            } catch (const GenICam::GenericException&) {
                return false;
            }
        },
        10000));
    device->Close();
    EXPECT_EQ(tlTimeout->GetValue(), 30000);
    device->Open();
    EXPECT_EQ(cameraRegister(gvbs::HeartbeatTimeout), 30000u);
}

// Aravis fixes how it talks to a real camera (it waits 500 ms for each answer and sends a request five
// times at most): those settings of the transport layer are read-only and say so, rather than taking
// values that change nothing. The heartbeat time-out reaches the camera and stays writable.
TEST_F(RealCameraGigETest, LinkSettingsThatAravisFixesAreReadOnlyAndSayWhy)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0011");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open ? "open" : "closed");
        if (open)
            device->Open();
        GenApi::INodeMap& tl = *device->GetTLNodeMap();
        testsupport::expectFixedByAravis(tl, "ReadTimeout", 500);
        testsupport::expectFixedByAravis(tl, "WriteTimeout", 500);
        testsupport::expectFixedByAravis(tl, "CommandDuplicationEnable", 0);
        testsupport::expectFixedByAravis(tl, "MaxRetryCountWrite", 4);
        EXPECT_TRUE(GenApi::IsWritable(GenApi::CIntegerPtr(tl.GetNode("HeartbeatTimeout"))));
    }
    device->Close();
}

TEST_F(RealCameraGigETest, AProbeOfACameraWithoutTestPacketsFailsAndChangesNothing)
{
    // The fake camera fires no test packets: the probe must say so rather than claim a size, and
    // must leave the camera streaming to where it did.
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0002");
    ASSERT_NE(fake.device(), nullptr);
    Nimbo::CInstantCamera camera(fake.release());
    Nimbo::IStreamGrabber* grabber = openWithGrabber(camera);
    const uint32_t packetSize = cameraRegister(gvbs::StreamChannelPacketSize);
    const uint32_t destination = cameraRegister(gvbs::StreamChannelDestination);
    const uint32_t port = cameraRegister(gvbs::StreamChannelPort);
    GenApi::CCommandPtr probe = grabber->GetNodeMap()->GetNode("ProbePacketSize");
    ASSERT_TRUE(probe.IsValid());
    EXPECT_THROW(probe->Execute(true), GenICam::GenericException);
    EXPECT_EQ(cameraRegister(gvbs::StreamChannelPacketSize), packetSize);
    EXPECT_EQ(cameraRegister(gvbs::StreamChannelDestination), destination);
    EXPECT_EQ(cameraRegister(gvbs::StreamChannelPort), port);
    grabber->Close();

    // Frames still arrive afterwards.
    GenApi::CEnumerationPtr(camera.GetNodeMap().GetNode("PixelFormat"))->FromString("Mono8");
    camera.StartGrabbing();
    Nimbo::CGrabResultPtr result;
    ASSERT_TRUE(camera.RetrieveResult(5000, result));
    EXPECT_TRUE(result->GrabSucceeded()) << result->GetErrorDescription();
    camera.StopGrabbing();
}

TEST_F(RealCameraGigETest, PersistentIpConfigurationIsWrittenToTheCamera)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0003");
    ASSERT_NE(fake.device(), nullptr);
    const Nimbo::CDeviceInfo& info = fake.info();
    Nimbo::IGigETransportLayer* tl = gige();
    ASSERT_NE(tl, nullptr);
    const Nimbo::String_t mac = info.GetMacAddress();

    // Closed: the transport layer takes control for the writes and gives it back.
    ASSERT_TRUE(tl->SetPersistentIp(mac, "192.168.5.20", "255.255.255.0", "192.168.5.1"));
    ASSERT_TRUE(tl->ChangeIpConfiguration(mac, true, false));
    EXPECT_EQ(cameraRegister(gvbs::PersistentIp), 0xC0A80514u);
    EXPECT_EQ(cameraRegister(gvbs::PersistentSubnetMask), 0xFFFFFF00u);
    EXPECT_EQ(cameraRegister(gvbs::PersistentGateway), 0xC0A80501u);
    EXPECT_EQ(cameraRegister(gvbs::IpConfigCurrent) & 0x7, 0x5u);
    EXPECT_EQ(cameraRegister(gvbs::ControlChannelPrivilege), 0u) << "control given back";
    Nimbo::String_t ip, mask, gateway;
    bool persistent = false, dhcp = true;
    ASSERT_TRUE(tl->GetPersistentIp(mac, ip, mask, gateway, &persistent, &dhcp));
    EXPECT_EQ(ip, "192.168.5.20");
    EXPECT_EQ(mask, "255.255.255.0");
    EXPECT_EQ(gateway, "192.168.5.1");
    EXPECT_TRUE(persistent);
    EXPECT_FALSE(dhcp);

    // Open here: the writes go through the program's own control channel, and the camera's
    // features read them back.
    Nimbo::CInstantCamera camera(fake.release());
    camera.Open();
    ASSERT_TRUE(tl->SetPersistentIp(mac, "10.1.2.3", "255.0.0.0", "0.0.0.0"));
    ASSERT_TRUE(tl->ChangeIpConfiguration(mac, false, true));
    GenApi::INodeMap& map = camera.GetNodeMap();
    EXPECT_EQ(GenApi::CIntegerPtr(map.GetNode("GevPersistentIPAddress"))->GetValue(), 0x0A010203);
    EXPECT_EQ(GenApi::CIntegerPtr(map.GetNode("GevPersistentSubnetMask"))->GetValue(), 0xFF000000);
    EXPECT_FALSE(GenApi::CBooleanPtr(map.GetNode("GevCurrentIPConfigurationPersistentIP"))->GetValue());
    EXPECT_TRUE(GenApi::CBooleanPtr(map.GetNode("GevCurrentIPConfigurationDHCP"))->GetValue());
    EXPECT_FALSE(tl->ForceIp(mac, "10.1.2.4", "255.0.0.0", "0.0.0.0")) << "refused while open here";
    camera.Close();
}

// The transport layer names a camera by its MAC address: its network settings go to the camera that
// discovery shows with it now, also after another camera had that address (a fake camera's MAC
// address is all zero), or the camera moved to another, and through the program's own control channel
// while it is open here.
TEST_F(RealCameraGigETest, NetworkSettingsReachTheCameraThatIsThereNow)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    ASSERT_TRUE(testsupport::addLoopbackAddress("127.0.0.2"));
    struct Case {
        const char* what;
        const char* serial;
        const char* address;
    };
    const Case cases[] = {
        {"the first camera", "RG0009", "127.0.0.1"},
        {"another camera at the same address", "RG0010", "127.0.0.1"},
        {"that camera at another address", "RG0010", "127.0.0.2"},
    };
    uint32_t host = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeCameraDevice fake(c.serial, 0, {}, c.address);
        ASSERT_NE(fake.device(), nullptr);
        EXPECT_EQ(fake.info().GetIpAddress(), c.address);
        const Nimbo::String_t mac = fake.info().GetMacAddress();
        Nimbo::IGigETransportLayer* tl = gige();
        ASSERT_NE(tl, nullptr);
        fake.device()->Open();

        const std::string ip = "192.168.5." + std::to_string(++host);
        ASSERT_TRUE(tl->SetPersistentIp(mac, ip.c_str(), "255.255.255.0", "192.168.5.1"));
        ASSERT_TRUE(tl->ChangeIpConfiguration(mac, true, false));
        EXPECT_EQ(cameraRegister(gvbs::PersistentIp, c.address), 0xC0A80500u + host);
        EXPECT_EQ(cameraRegister(gvbs::IpConfigCurrent, c.address) & 0x7, 0x5u);
        Nimbo::String_t readIp, mask, gateway;
        bool persistent = false, dhcp = true;
        ASSERT_TRUE(tl->GetPersistentIp(mac, readIp, mask, gateway, &persistent, &dhcp));
        EXPECT_EQ(readIp, ip.c_str());
        EXPECT_TRUE(persistent);
        EXPECT_FALSE(dhcp);
        EXPECT_FALSE(tl->ForceIp(mac, "10.1.2.4", "255.0.0.0", "0.0.0.0")) << "refused while open here";
        fake.device()->Close();
    }
}

// Two cameras that discovery lists with one MAC address (both fake cameras' are all zero): a setting by
// that address cannot tell which camera is meant and reaches neither, rather than one of them chosen by
// its name; once discovery lists one camera with it, the settings reach that one.
TEST_F(RealCameraGigETest, NetworkSettingsByAMacAddressThatTwoCamerasGiveReachNeither)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    ASSERT_TRUE(testsupport::addLoopbackAddress("127.0.0.2"));
    testsupport::FakeCamera first("RG0012", 0, {}, "127.0.0.1");
    auto second = std::make_unique<testsupport::FakeCamera>("RG0013", 0, std::string(), "127.0.0.2");
    Nimbo::IGigETransportLayer* tl = gige();
    ASSERT_NE(tl, nullptr);
    Nimbo::ITransportLayer& transport = *tl;
    Nimbo::CDeviceInfo a, b;
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            return testsupport::enumerate(transport, "RG0012", a) && testsupport::enumerate(transport, "RG0013", b);
        },
        20000));
    ASSERT_EQ(a.GetMacAddress(), b.GetMacAddress());
    const Nimbo::String_t mac = a.GetMacAddress();
    const uint32_t before[] = {cameraRegister(gvbs::PersistentIp, "127.0.0.1"),
                               cameraRegister(gvbs::PersistentIp, "127.0.0.2")};

    EXPECT_FALSE(tl->SetPersistentIp(mac, "192.168.6.7", "255.255.255.0", "192.168.6.1"));
    EXPECT_FALSE(tl->ChangeIpConfiguration(mac, true, false));
    EXPECT_FALSE(tl->ForceIp(mac, "10.1.2.5", "255.0.0.0", "0.0.0.0"));
    Nimbo::String_t ip, mask, gateway;
    EXPECT_FALSE(tl->GetPersistentIp(mac, ip, mask, gateway));
    EXPECT_EQ(cameraRegister(gvbs::PersistentIp, "127.0.0.1"), before[0]);
    EXPECT_EQ(cameraRegister(gvbs::PersistentIp, "127.0.0.2"), before[1]);

    second.reset();
    ASSERT_TRUE(testsupport::waitFor([&] { return !testsupport::enumerate(transport, "RG0013", b); }, 20000));
    EXPECT_TRUE(tl->SetPersistentIp(mac, "192.168.6.7", "255.255.255.0", "192.168.6.1"));
    EXPECT_EQ(cameraRegister(gvbs::PersistentIp, "127.0.0.1"), 0xC0A80607u);
}

TEST_F(RealCameraGigETest, ACameraControlledByAnotherProgramIsInUse)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RG0004");
    ASSERT_NE(fake.device(), nullptr);
    const Nimbo::CDeviceInfo& info = fake.info();
    ASSERT_TRUE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(info));

    // Another controller: an Aravis handle of its own that takes the control channel.
    GError* error = nullptr;
    ArvDevice* other = arv_open_device("127.0.0.1", &error);
    ASSERT_NE(other, nullptr) << (error ? error->message : "");
    ASSERT_TRUE(arv_gv_device_is_controller(ARV_GV_DEVICE(other)) ||
                arv_gv_device_take_control(ARV_GV_DEVICE(other), nullptr));

    EXPECT_FALSE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(info));
    Nimbo::CInstantCamera camera(fake.release());
    // The open is refused at once, saying why, also by a camera that ignores a request for control
    // rather than refusing it (as the fake camera does).
    const auto refused = [](Nimbo::INimboDevice& device) {
        const auto start = std::chrono::steady_clock::now();
        try {
            device.Open();
            ADD_FAILURE() << "opened a camera controlled elsewhere";
        } catch (const GenICam::GenericException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find("controlled elsewhere"), std::string::npos)
                << e.GetDescription();
        }
        EXPECT_LT(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
            1500);
        EXPECT_FALSE(device.IsOpen());
    };
    refused(*camera.GetDevice());
    // Nor may the transport layer write the camera's configuration behind the controller's back.
    EXPECT_FALSE(gige()->ChangeIpConfiguration(info.GetMacAddress(), true, true));

    g_object_unref(other); // gives control back
    EXPECT_TRUE(testsupport::waitFor([&] { return Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(info); }, 10000));
    camera.Open();
    EXPECT_TRUE(camera.IsOpen());
    // A second device object of this program is refused as well.
    Nimbo::INimboDevice* second = Nimbo::CTlFactory::GetInstance().CreateDevice(info);
    refused(*second);
    Nimbo::CTlFactory::GetInstance().DestroyDevice(second);
    camera.Close();
}

} // namespace
