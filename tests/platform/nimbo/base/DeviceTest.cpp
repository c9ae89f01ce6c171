// Transport layers, device infos and devices of the emulated cameras, through the public SDK.
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <testsupport/EmulatedCameras.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

using namespace Nimbo;

namespace {

// These tests see the SDK alone: the plug-ins of the build folder would write their own settings
// into the cameras. Set before main, so before the factory's first use.
const int g_noPlugins = setenv("NIMBO_TL_PLUGIN_PATH", "/nonexistent-plugin-folder", 1);

const char* const kThreeCameras = "usb:qvUsb1920c:1001;usb:vxUsb1920m:1002;gige:gxGige1280c:1003";

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Emulation::Configure(kThreeCameras)); }
    void TearDown() override
    {
        for (INimboDevice* d : devices)
            CTlFactory::GetInstance().DestroyDevice(d);
        Emulation::WaitForEvents();
    }

    INimboDevice* create(const std::string& serial)
    {
        INimboDevice* d = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera(serial));
        devices.push_back(d);
        return d;
    }

    void destroy(INimboDevice* d)
    {
        devices.erase(std::remove(devices.begin(), devices.end(), d), devices.end());
        CTlFactory::GetInstance().DestroyDevice(d);
    }

    std::vector<INimboDevice*> devices;
};

bool isLocalIpv4(const std::string& address)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (ifaddrs* it = list; it; it = it->ifa_next)
        if (it->ifa_addr && it->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr, text, sizeof text);
            found = found || address == text;
        }
    freeifaddrs(list);
    return found;
}

} // namespace

TEST_F(DeviceTest, FactoryListsTransportLayersAndAppendsDevices)
{
    TlInfoList tls;
    EXPECT_EQ(CTlFactory::GetInstance().EnumerateTls(tls), 2);
    ASSERT_EQ(tls.size(), 2u);
    EXPECT_EQ(tls[0].GetDeviceClass(), "VelmarUsb");
    EXPECT_EQ(tls[1].GetDeviceClass(), "VelmarGigE");

    ITransportLayer* usb = CTlFactory::GetInstance().CreateTl(tls[0]);
    ITransportLayer* gige = CTlFactory::GetInstance().CreateTl("VelmarGigE");
    ASSERT_TRUE(usb && gige);
    EXPECT_EQ(CTlFactory::GetInstance().CreateTl("VelmarCameraLink"), nullptr);
    EXPECT_EQ(CTlFactory::GetInstance().CreateTl(CTlInfo()), nullptr);

    DeviceInfoList list(1); // appended to, not replaced
    EXPECT_EQ(usb->EnumerateDevices(list), 3);
    EXPECT_EQ(gige->EnumerateDevices(list), 4);
    list.erase(list.begin());
    std::set<std::string> fullNames;
    for (const CDeviceInfo& info : list)
        EXPECT_TRUE(fullNames.insert(info.GetFullName().str()).second);
    EXPECT_EQ(list[0].GetDeviceClass(), "VelmarUsb");
    EXPECT_EQ(list[2].GetDeviceClass(), "VelmarGigE");
    EXPECT_EQ(list[0].GetModelName(), "qvUsb1920c");
    EXPECT_EQ(list[1].GetSerialNumber(), "1002");
    EXPECT_NE(list[0].GetFriendlyName().str().find("1001"), std::string::npos);

    // The device outlives the release of the transport layer that made it.
    INimboDevice* device = usb->CreateDevice(list[0]);
    devices.push_back(device);
    CTlFactory::GetInstance().ReleaseTl(usb);
    CTlFactory::GetInstance().ReleaseTl(gige);
    device->Open();
    EXPECT_TRUE(device->IsOpen());
    EXPECT_EQ(device->GetDeviceInfo().GetFullName(), list[0].GetFullName());
    // Each CreateTl is released once; more releases, or of something the factory never gave, are errors.
    EXPECT_THROW(CTlFactory::GetInstance().ReleaseTl(usb), GenICam::LogicalErrorException);
    EXPECT_THROW(CTlFactory::GetInstance().ReleaseTl(reinterpret_cast<const ITransportLayer*>(&tls)),
                 GenICam::LogicalErrorException);
    EXPECT_NO_THROW(CTlFactory::GetInstance().ReleaseTl(nullptr));
    // The wrong transport layer refuses it.
    gige = CTlFactory::GetInstance().CreateTl("VelmarGigE");
    EXPECT_THROW(gige->CreateDevice(list[1]), GenICam::InvalidArgumentException);
    CTlFactory::GetInstance().ReleaseTl(gige);
}

TEST_F(DeviceTest, GigEInfosNameARealLocalInterface)
{
    const CDeviceInfo info = testsupport::emulatedCamera("1003");
    for (const char* property : {"Address", "SubnetMask", "DefaultGateway", "MacAddress", "Interface",
                                 "IpConfigCurrent", "IpConfigOptions", "SerialNumber", "VendorName", "DeviceVersion"}) {
        String_t value;
        EXPECT_TRUE(info.GetPropertyValue(property, value) && !value.empty()) << property;
    }
    EXPECT_TRUE(isLocalIpv4(info.GetInterface().str())) << info.GetInterface();
    in_addr host{}, camera{}, mask{};
    ASSERT_EQ(inet_pton(AF_INET, info.GetInterface().c_str(), &host), 1);
    ASSERT_EQ(inet_pton(AF_INET, info.GetAddress().c_str(), &camera), 1);
    ASSERT_EQ(inet_pton(AF_INET, info.GetSubnetMask().c_str(), &mask), 1);
    EXPECT_EQ(host.s_addr & mask.s_addr, camera.s_addr & mask.s_addr);
    EXPECT_NE(host.s_addr, camera.s_addr);
    EXPECT_EQ(info.GetMacAddress().size(), 12u);
    const CDeviceInfo usb = testsupport::emulatedCamera("1001");
    EXPECT_FALSE(usb.IsAddressAvailable());
    EXPECT_TRUE(usb.IsVendorIdAvailable());
}

TEST(EmulationConfigTest, CameraListsGiveTheirCameras)
{
    struct Case {
        const char* cameras;
        bool ok;
        std::vector<std::string> serials;
    };
    const Case cases[] = {
        {"", true, {"21000001"}},
        {"none", true, {}},
        {"usb:vxUsb1920m:7;gige:gxGige1280c", true, {"7", "21000002"}},
        {"usb:gxGige1280c:1", false, {}}, // a GigE model on USB
        {"firewire:qvUsb1920c;usb:qvUsb1920c:5", false, {"5"}},
        {"usb:qvUsb1920c:5;usb:vxUsb1920m:5", false, {"5"}}, // a taken serial
        {"usb:noSuchModel", false, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Emulation::Configure(c.cameras), c.ok) << c.cameras;
        EXPECT_EQ(Emulation::SerialNumbers(), c.serials) << c.cameras;
    }
    Emulation::Configure("");
    DeviceInfoList list;
    CTlFactory::GetInstance().EnumerateDevices(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].GetModelName().substr(0, 2), "qv");
    EXPECT_EQ(list[0].GetDeviceClass(), "VelmarUsb");
}

TEST_F(DeviceTest, InUseElsewhereOrOpenedDevicesCannotOpenAgain)
{
    const CDeviceInfo info = testsupport::emulatedCamera("1002");
    EXPECT_TRUE(CTlFactory::GetInstance().IsDeviceAccessible(info));
    ASSERT_TRUE(Emulation::SetInUseElsewhere("1002", true));
    EXPECT_FALSE(CTlFactory::GetInstance().IsDeviceAccessible(info));
    INimboDevice* a = create("1002");
    EXPECT_THROW(a->Open(), GenICam::RuntimeException);
    EXPECT_FALSE(a->IsOpen());
    Emulation::SetInUseElsewhere("1002", false);
    a->Open(AccessModeSet(Control) | Exclusive);
    EXPECT_TRUE(a->AccessMode().test(Exclusive));
    EXPECT_FALSE(CTlFactory::GetInstance().IsDeviceAccessible(info));
    INimboDevice* b = create("1002");
    EXPECT_THROW(b->Open(), GenICam::RuntimeException);
    a->Close();
    EXPECT_TRUE(CTlFactory::GetInstance().IsDeviceAccessible(info));
    b->Open();
    EXPECT_TRUE(b->IsOpen());
    EXPECT_FALSE(Emulation::SetInUseElsewhere("nobody", true));

    CDeviceInfo unknown;
    unknown.SetFullName("nothing#here");
    EXPECT_THROW(CTlFactory::GetInstance().CreateDevice(unknown), GenICam::InvalidArgumentException);
    EXPECT_FALSE(CTlFactory::GetInstance().IsDeviceAccessible(unknown));
}

TEST_F(DeviceTest, NodeMapsReachTheCameraRegisters)
{
    for (const char* serial : {"1001", "1002", "1003"}) {
        INimboDevice* d = create(serial);
        d->Open();
        GenApi::INodeMap* map = d->GetNodeMap();
        ASSERT_TRUE(map) << serial;
        const bool gige = std::string(serial) == "1003";
        GenApi::CIntegerPtr width = map->GetNode("Width");
        GenApi::CIntegerPtr payload = map->GetNode("PayloadSize");
        GenApi::CEnumerationPtr format = map->GetNode("PixelFormat");
        GenApi::CFloatPtr exposure = map->GetNode(gige ? "ExposureTimeAbs" : "ExposureTime");
        GenApi::CIntegerPtr exposureRaw = map->GetNode("ExposureTimeRaw");
        GenApi::CFloatPtr gain = map->GetNode(gige ? "GainAbs" : "Gain");
        GenApi::CIntegerPtr gainRaw = map->GetNode("GainRaw");
        ASSERT_TRUE(width && payload && format && exposure && exposureRaw && gain && gainRaw) << serial;
        width->SetValue(640);
        EXPECT_EQ(width->GetValue(), 640);
        format->FromString("Mono8");
        GenApi::CIntegerPtr height = map->GetNode("Height");
        EXPECT_EQ(payload->GetValue(), 640 * height->GetValue());
        exposure->SetValue(1234.0);
        EXPECT_EQ(exposureRaw->GetValue(), 1234);
        gain->SetValue(6.0);
        EXPECT_EQ(gainRaw->GetValue(), 60);
        EXPECT_THROW(width->SetValue(641), GenICam::GenericException);
        EXPECT_EQ(GenApi::CStringPtr(map->GetNode("DeviceSerialNumber") ? map->GetNode("DeviceSerialNumber")
                                                                        : map->GetNode("DeviceID"))
                      ->GetValue(),
                  serial);
        GenApi::CIntegerPtr major = map->GetNode("DeviceSFNCVersionMajor");
        EXPECT_EQ(major->GetValue(), gige ? 1 : 2);

        ASSERT_TRUE(d->GetTLNodeMap());
        IStreamGrabber* g = d->GetStreamGrabber(0);
        ASSERT_TRUE(g && g->GetNodeMap());
        EXPECT_EQ(d->GetNumStreamGrabberChannels(), 1u);
        EXPECT_EQ(d->GetStreamGrabber(1), nullptr);
        GenApi::CIntegerPtr maxNum = g->GetNodeMap()->GetNode("MaxNumBuffer");
        ASSERT_TRUE(maxNum);
        maxNum->SetValue(450);
        EXPECT_EQ(maxNum->GetValue(), 450);
        EXPECT_TRUE(
            g->GetNodeMap()->GetNode(gige ? "Statistic_Missed_Frame_Count" : "Statistic_Buffer_Underrun_Count"));
    }
    GenApi::INodeMap* tl = devices.back()->GetTLNodeMap();
    for (const char* name : {"HeartbeatTimeout", "WriteTimeout", "CommandDuplicationEnable", "MaxRetryCountWrite"})
        EXPECT_TRUE(tl->GetNode(name)) << name;
}

TEST_F(DeviceTest, ThousandFramesThroughTheDeviceComeBackInOrder)
{
    INimboDevice* d = create("1001");
    d->Open();
    GenApi::INodeMap* map = d->GetNodeMap();
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(64);
    GenApi::CIntegerPtr(map->GetNode("Height"))->SetValue(32);
    GenApi::CFloatPtr(map->GetNode("ExposureTime"))->SetValue(50.0);
    GenApi::CBooleanPtr(map->GetNode("AcquisitionFrameRateEnable"))->SetValue(true);
    GenApi::CFloatPtr(map->GetNode("AcquisitionFrameRate"))->SetValue(2000.0);
    const int64_t payload = GenApi::CIntegerPtr(map->GetNode("PayloadSize"))->GetValue();

    IStreamGrabber* g = d->GetStreamGrabber(0);
    g->Open();
    GenApi::CIntegerPtr(g->GetNodeMap()->GetNode("MaxBufferSize"))->SetValue(payload);
    GenApi::CIntegerPtr(g->GetNodeMap()->GetNode("MaxNumBuffer"))->SetValue(10);
    g->PrepareGrab();
    EXPECT_FALSE(GenApi::IsWritable(GenApi::CIntegerPtr(map->GetNode("Width")))) << "locked while grabbing";
    std::vector<std::vector<uint8_t>> buffers(10, std::vector<uint8_t>(static_cast<size_t>(payload)));
    std::vector<StreamBufferHandle> handles;
    for (auto& b : buffers) {
        handles.push_back(g->RegisterBuffer(b.data(), b.size()));
        g->QueueBuffer(handles.back(), &b);
    }
    GenApi::CCommandPtr(map->GetNode("AcquisitionStart"))->Execute();
    size_t expected = 0;
    for (int n = 0; n < 1000; ++n) {
        GrabResult r;
        bool got = false;
        for (int tries = 0; tries < 50 && !got; ++tries)
            got = g->GetWaitObject().Wait(100) && g->RetrieveResult(r);
        ASSERT_TRUE(got) << n;
        ASSERT_EQ(r.Status(), Grabbed);
        ASSERT_EQ(r.Context(), &buffers[expected]);
        g->QueueBuffer(r.Handle(), r.Context());
        expected = (expected + 1) % buffers.size();
    }
    GenApi::CCommandPtr(map->GetNode("AcquisitionStop"))->Execute();
    g->CancelGrab();
    int cancelled = 0;
    GrabResult r;
    while (g->RetrieveResult(r))
        cancelled += r.Status() == Canceled;
    EXPECT_GE(cancelled, 1);
    g->FinishGrab();
    EXPECT_TRUE(GenApi::IsWritable(GenApi::CIntegerPtr(map->GetNode("Width"))));
    g->Close();
    d->Close();
}

// A direct user of the stream grabber sizes its buffers by PayloadSize: MaxBufferSize follows the
// payload as the region changes, until the user sets it, and follows again once the grabber closes.
TEST_F(DeviceTest, MaxBufferSizeFollowsThePayloadSizeUntilSet)
{
    for (const char* serial : {"1001", "1003"}) {
        SCOPED_TRACE(serial);
        INimboDevice* d = create(serial);
        d->Open();
        GenApi::INodeMap* map = d->GetNodeMap();
        GenApi::CIntegerPtr width = map->GetNode("Width"), height = map->GetNode("Height");
        GenApi::CIntegerPtr payload = map->GetNode("PayloadSize");
        IStreamGrabber* g = d->GetStreamGrabber(0);
        g->Open();
        GenApi::CIntegerPtr maxBufferSize = g->GetNodeMap()->GetNode("MaxBufferSize");
        width->SetValue(64);
        height->SetValue(32);
        EXPECT_EQ(maxBufferSize->GetValue(), payload->GetValue());
        width->SetValue(width->GetMax());
        height->SetValue(height->GetMax());
        const int64_t full = payload->GetValue();
        EXPECT_EQ(maxBufferSize->GetValue(), full);

        g->PrepareGrab();
        std::vector<uint8_t> buffer(static_cast<size_t>(full));
        EXPECT_NO_THROW(g->RegisterBuffer(buffer.data(), buffer.size()));
        g->FinishGrab();

        // Set, the value holds whatever the region; the grabber's close lets it follow again.
        maxBufferSize->SetValue(4096);
        EXPECT_EQ(maxBufferSize->GetValue(), 4096);
        g->PrepareGrab();
        EXPECT_THROW(g->RegisterBuffer(buffer.data(), buffer.size()), GenICam::OutOfRangeException);
        g->FinishGrab();
        g->Close();
        EXPECT_EQ(maxBufferSize->GetValue(), full);
        destroy(d);
    }
}

TEST_F(DeviceTest, UnplugDuringGrabCallsBackOnceAndCancels)
{
    INimboDevice* d = create("1002");
    d->Open();
    std::atomic<int> calls{0};
    std::atomic<bool> onOtherThread{false};
    const auto testThread = std::this_thread::get_id();
    d->RegisterRemovalCallback([&](INimboDevice* device) {
        EXPECT_EQ(device, d);
        onOtherThread = std::this_thread::get_id() != testThread;
        ++calls;
    });
    GenApi::INodeMap* map = d->GetNodeMap();
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(64);
    GenApi::CIntegerPtr(map->GetNode("Height"))->SetValue(32);
    IStreamGrabber* g = d->GetStreamGrabber(0);
    g->Open();
    GenApi::CIntegerPtr(g->GetNodeMap()->GetNode("MaxBufferSize"))->SetValue(64 * 32);
    g->PrepareGrab();
    std::vector<std::vector<uint8_t>> buffers(4, std::vector<uint8_t>(64 * 32));
    for (auto& b : buffers)
        g->QueueBuffer(g->RegisterBuffer(b.data(), b.size()), &b);
    GenApi::CCommandPtr(map->GetNode("AcquisitionStart"))->Execute();
    WaitObject wait = g->GetWaitObject();
    ASSERT_TRUE(wait.Wait(5000));

    ASSERT_TRUE(Emulation::Unplug("1002"));
    EXPECT_FALSE(Emulation::Unplug("1002"));
    Emulation::WaitForEvents();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(onOtherThread.load());
    EXPECT_TRUE(d->IsRemoved());
    int results = 0;
    GrabResult r;
    while (g->RetrieveResult(r))
        ++results;
    EXPECT_EQ(results, 4) << "every queued buffer comes back";
    EXPECT_THROW(GenApi::CIntegerPtr(map->GetNode("Width"))->GetValue(), GenICam::GenericException);
    g->CancelGrab();
    g->FinishGrab();
    g->Close();
    d->Close();
    DeviceInfoList list;
    CTlFactory::GetInstance().EnumerateDevices(list);
    EXPECT_EQ(list.size(), 2u);

    // Replugged, it is found again and a new device works; the old one stays removed.
    ASSERT_TRUE(Emulation::Replug("1002"));
    INimboDevice* fresh = create("1002");
    fresh->Open();
    EXPECT_FALSE(fresh->IsRemoved());
    EXPECT_TRUE(d->IsRemoved());
    destroy(d);
    Emulation::WaitForEvents();
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(DeviceTest, InjectedDescriptionsJoinTheNodeMapAndBadOnesThrow)
{
    const char* tool =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<RegisterDescription ModelName=\"Tool\" VendorName=\"Tests\" StandardNameSpace=\"None\" "
        "SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" "
        "MinorVersion=\"0\" SubMinorVersion=\"0\" ProductGuid=\"00000000-0000-0000-0000-000000000011\" "
        "VersionGuid=\"00000000-0000-0000-0000-000000000012\" xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n"
        "<Category Name=\"Root\"><pFeature>ToolControl</pFeature></Category>\n"
        "<Category Name=\"ToolControl\"><pFeature>ToolValue</pFeature></Category>\n"
        "<Integer Name=\"ToolValue\"><Value>3</Value><Min>0</Min><Max>9</Max></Integer>\n"
        "</RegisterDescription>\n";
    const CDeviceInfo info = testsupport::emulatedCamera("1001");
    INimboDevice* d = CTlFactory::GetInstance().CreateDevice(info, GenICam::gcstring_vector{tool});
    devices.push_back(d);
    GenApi::CIntegerPtr value = d->GetNodeMap()->GetNode("ToolValue");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->GetValue(), 3);
    EXPECT_TRUE(d->GetNodeMap()->GetNode("Width"));
    EXPECT_THROW(CTlFactory::GetInstance().CreateDevice(info, GenICam::gcstring_vector{"<not xml"}),
                 GenICam::GenericException);
    EXPECT_TRUE(CTlFactory::GetInstance().IsDeviceAccessible(info)) << "a failed creation left the camera taken";
}

TEST_F(DeviceTest, CameraSettingsVisiblyChangeTheGrabbedPicture)
{
    INimboDevice* d = create("1001");
    d->Open();
    GenApi::INodeMap* map = d->GetNodeMap();
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(128);
    GenApi::CIntegerPtr(map->GetNode("Height"))->SetValue(64);
    GenApi::CEnumerationPtr(map->GetNode("PixelFormat"))->FromString("RGB8");
    GenApi::CFloatPtr(map->GetNode("ExposureTime"))->SetValue(2000.0);
    IStreamGrabber* g = d->GetStreamGrabber(0);
    g->Open();
    std::vector<uint8_t> buffer(128 * 64 * 3);
    auto grabOne = [&]() {
        GenApi::CIntegerPtr(g->GetNodeMap()->GetNode("MaxBufferSize"))->SetValue(static_cast<int64_t>(buffer.size()));
        g->PrepareGrab();
        g->QueueBuffer(g->RegisterBuffer(buffer.data(), buffer.size()), nullptr);
        GenApi::CEnumerationPtr(map->GetNode("AcquisitionMode"))->FromString("SingleFrame");
        GenApi::CCommandPtr(map->GetNode("AcquisitionStart"))->Execute();
        GrabResult r;
        bool got = false;
        for (int i = 0; i < 50 && !got; ++i)
            got = g->GetWaitObject().Wait(100) && g->RetrieveResult(r);
        EXPECT_TRUE(got && r.Status() == Grabbed);
        g->FinishGrab();
        double sum[3] = {0, 0, 0};
        for (size_t i = 0; i < buffer.size(); ++i)
            sum[i % 3] += buffer[i];
        return std::vector<double>{sum[0], sum[1], sum[2]};
    };
    const auto reference = grabOne();

    GenApi::CFloatPtr(map->GetNode("ExposureTime"))->SetValue(4000.0);
    const auto brighter = grabOne();
    EXPECT_GT(brighter[1], reference[1] * 1.3);
    GenApi::CFloatPtr(map->GetNode("ExposureTime"))->SetValue(2000.0);

    GenApi::CEnumerationPtr(map->GetNode("BalanceRatioSelector"))->FromString("Blue");
    GenApi::CFloatPtr(map->GetNode("BalanceRatio"))->SetValue(0.25);
    const auto lessBlue = grabOne();
    EXPECT_LT(lessBlue[2], reference[2] * 0.8);
    GenApi::CFloatPtr(map->GetNode("BalanceRatio"))->SetValue(1.0);

    GenApi::CEnumerationPtr(map->GetNode("ColorTransformationValueSelector"))->FromString("Gain00");
    GenApi::CFloatPtr(map->GetNode("ColorTransformationValue"))->SetValue(0.0);
    GenApi::CEnumerationPtr(map->GetNode("ColorTransformationValueSelector"))->FromString("Gain01");
    GenApi::CFloatPtr(map->GetNode("ColorTransformationValue"))->SetValue(0.0);
    GenApi::CEnumerationPtr(map->GetNode("ColorTransformationValueSelector"))->FromString("Gain02");
    GenApi::CFloatPtr(map->GetNode("ColorTransformationValue"))->SetValue(0.0);
    const auto noRed = grabOne();
    EXPECT_EQ(noRed[0], 0.0);
    GenApi::CEnumerationPtr(map->GetNode("LightSourcePreset"))->FromString("Daylight5000K");

    // An inverting lookup table written in one piece.
    GenApi::CRegisterPtr lut = map->GetNode("LUTValueAll");
    ASSERT_TRUE(lut);
    std::vector<uint8_t> table(static_cast<size_t>(lut->GetLength()));
    for (uint32_t i = 0; i < table.size() / 4; ++i) {
        const uint32_t v = 4095 - i;
        std::memcpy(&table[i * 4], &v, 4);
    }
    lut->Set(table.data(), static_cast<int64_t>(table.size()));
    GenApi::CBooleanPtr(map->GetNode("LUTEnable"))->SetValue(true);
    const auto inverted = grabOne();
    EXPECT_GT(inverted[1], reference[1] * 1.3);
    g->Close();
}

TEST_F(DeviceTest, TransportLayerSettingsSurviveASaveAndRestore)
{
    INimboDevice* d = create("1003");
    d->Open();
    GenApi::INodeMap* tl = d->GetTLNodeMap();
    GenICam::gcstring saved;
    CFeaturePersistence::SaveToString(saved, tl);
    GenApi::CIntegerPtr heartbeat = tl->GetNode("HeartbeatTimeout");
    const int64_t before = heartbeat->GetValue();
    heartbeat->SetValue(10000);
    GenApi::CIntegerPtr(tl->GetNode("WriteTimeout"))->SetValue(50);
    EXPECT_EQ(heartbeat->GetValue(), 10000);
    CFeaturePersistence::LoadFromString(saved, tl, true);
    EXPECT_EQ(heartbeat->GetValue(), before);
}

TEST_F(DeviceTest, RemovalCallbackMayDestroyItsDevice)
{
    INimboDevice* d = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("1001"));
    d->Open();
    std::atomic<int> calls{0};
    d->RegisterRemovalCallback([&calls](INimboDevice* device) {
        ++calls;
        CTlFactory::GetInstance().DestroyDevice(device);
    });
    d->RegisterRemovalCallback([&calls](INimboDevice*) { ++calls; }); // never runs on a destroyed device
    ASSERT_TRUE(Emulation::Unplug("1001"));
    Emulation::WaitForEvents();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_THROW(CTlFactory::GetInstance().DestroyDevice(d), GenICam::InvalidArgumentException) << "destroyed twice";
}
