// GigE optimisation of an adapter's emulated cameras and the trigger check.
#include <orbelt/GigEOptimization.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <brasko/Formatting.h>

#include <GenApi/GenApi.h>

#include <testsupport/EmulatedCameras.h>

#include <gtest/gtest.h>

using namespace Nimbo;

namespace {

using testsupport::emulatedCamera;

GenApi::CIntegerPtr integer(CInstantCamera& camera, const char* name)
{
    return camera.GetNodeMap().GetNode(name);
}

void setEnum(CInstantCamera& camera, const char* name, const char* value)
{
    GenApi::CEnumerationPtr(camera.GetNodeMap().GetNode(name))->FromString(value);
}

class GigEOptimizationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Emulation::Configure("gige:gxGige1280c:G1;gige:gxGige1280c:G2;gige:gxGige1280c:G3;"
                                         "gige:gxGige1280c:G4;usb:vxUsb1920m:U1"));
    }
    void TearDown() override { Emulation::WaitForEvents(); }

    // One row per serial; the rows start switched off and switch on into `list`, and their limit
    // editors record the share they are given.
    std::vector<GigEOptimizationRow> rows(const std::vector<std::string>& serials)
    {
        std::vector<GigEOptimizationRow> result;
        for (const std::string& serial : serials) {
            GigEOptimizationRow row;
            row.isCameraRow = true;
            row.deviceClass = emulatedCamera(serial).GetDeviceClass().c_str();
            row.enable = [this, serial]() -> CBandwidthMeasuringCamera* {
                if (serial == "broken")
                    return nullptr;
                CBandwidthMeasuringCamera* camera = createMeasuringCamera(list, emulatedCamera(serial));
                enabled.push_back(serial);
                return camera;
            };
            row.setBandwidthShare = [this, serial](int64_t share) { shares[serial] = share; };
            result.push_back(row);
        }
        return result;
    }

    MeasuringCameraList list;
    std::vector<std::string> enabled;
    std::map<std::string, int64_t> shares;
};

} // namespace

TEST_F(GigEOptimizationTest, AllCamerasShareTheAdapterAndAreStaggered)
{
    std::vector<GigEOptimizationRow> adapter = rows({"G1", "G2", "G3"});
    SOptimizationResult result;
    ASSERT_TRUE(optimizeGigECameras(adapter, false, &result));
    EXPECT_EQ(enabled, (std::vector<std::string>{"G1", "G2", "G3"})) << "rows switched on as they come";
    for (size_t i = 0; i < adapter.size(); ++i) {
        CBandwidthMeasuringCamera* camera = adapter[i].camera;
        ASSERT_NE(camera, nullptr);
        const int64_t packet = integer(*camera, "GevSCPSPacketSize")->GetValue();
        EXPECT_EQ(packet, 1500);
        EXPECT_EQ(integer(*camera, "GevSCFTD")->GetValue(), static_cast<int64_t>(i) * (packet + 18));
    }
    EXPECT_EQ(shares, (std::map<std::string, int64_t>{{"G1", 37}, {"G2", 37}, {"G3", 37}}));
    EXPECT_FALSE(result.packetSizeChanged);
    EXPECT_TRUE(result.packetSizeAtMost1500);
    EXPECT_FALSE(result.packetSizeSetTo1500);
    EXPECT_TRUE(result.frameTransmissionDelayChanged) << "the second and third camera got a delay";
    EXPECT_FALSE(result.interPacketDelayChanged) << "the recording editors leave GevSCPD alone";
}

TEST_F(GigEOptimizationTest, OnlyTheCheckedCamerasAreTouched)
{
    std::vector<GigEOptimizationRow> adapter = rows({"G1", "G2", "G3", "G4"});
    for (GigEOptimizationRow& row : adapter)
        row.camera = row.enable();
    for (CBandwidthMeasuringCamera* camera : list.cameras)
        integer(*camera, "GevSCFTD")->SetValue(123);
    adapter[1].checked = adapter[3].checked = true;
    SOptimizationResult result;
    ASSERT_TRUE(optimizeGigECameras(adapter, true, &result));
    EXPECT_EQ(shares, (std::map<std::string, int64_t>{{"G2", 56}, {"G4", 56}}));
    EXPECT_EQ(integer(*adapter[0].camera, "GevSCFTD")->GetValue(), 123);
    EXPECT_EQ(integer(*adapter[1].camera, "GevSCFTD")->GetValue(), 0);
    EXPECT_EQ(integer(*adapter[2].camera, "GevSCFTD")->GetValue(), 123);
    EXPECT_EQ(integer(*adapter[3].camera, "GevSCFTD")->GetValue(), 1518);

    // Nothing checked: nothing to do, nothing reported.
    for (GigEOptimizationRow& row : adapter)
        row.checked = false;
    shares.clear();
    EXPECT_FALSE(optimizeGigECameras(adapter, true, &result));
    EXPECT_TRUE(shares.empty());
}

TEST_F(GigEOptimizationTest, PacketSizeOutcomes)
{
    // The camera in slot 1 waits for one packet of the size it ends with, plus 18 bytes.
    enum Refusal { Takes, ReadOnly, MaximumBelow1500 };
    const struct {
        int64_t start;
        Refusal refusal;
        int64_t after;
        bool changed, atMost1500, setTo1500;
    } cases[] = {
        {1476, Takes, 1500, true, true, true},              // the probe left it small: raised to 1500
        {1500, Takes, 1500, false, true, false},            // the usual Ethernet frame
        {8192, Takes, 8192, false, false, false},           // jumbo frames count as large
        {1476, ReadOnly, 1476, false, true, false},         // the raise is refused: nothing changed
        {1400, MaximumBelow1500, 1400, false, true, false}, // 1500 lies beyond the node's range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " refusal " << c.refusal);
        std::vector<GigEOptimizationRow> adapter = rows({"G1"});
        adapter[0].camera = adapter[0].enable();
        GenApi::CIntegerPtr packetSize = integer(*adapter[0].camera, "GevSCPSPacketSize");
        packetSize->SetValue(c.start);
        if (c.refusal == ReadOnly)
            packetSize->GetNode()->ImposeAccessMode(GenApi::RO);
        if (c.refusal == MaximumBelow1500)
            packetSize->ImposeMax(c.start);
        SOptimizationResult result;
        optimizeGigECamera(adapter[0], 112.5, 1, &result);
        EXPECT_EQ(packetSize->GetValue(), c.after);
        EXPECT_EQ(result.packetSizeChanged, c.changed);
        EXPECT_EQ(result.packetSizeAtMost1500, c.atMost1500);
        EXPECT_EQ(result.packetSizeSetTo1500, c.setTo1500);
        EXPECT_EQ(integer(*adapter[0].camera, "GevSCFTD")->GetValue(), c.after + 18);
        removeMeasuringCamera(list, adapter[0].camera);
    }
}

TEST_F(GigEOptimizationTest, InterPacketDelayAtItsLimitAndRefusedDelays)
{
    std::vector<GigEOptimizationRow> adapter = rows({"G1"});
    adapter[0].camera = adapter[0].enable();
    CBandwidthMeasuringCamera* camera = adapter[0].camera;
    adapter[0].setBandwidthShare = [camera](int64_t) {
        GenApi::CIntegerPtr delay = integer(*camera, "GevSCPD");
        delay->SetValue(delay->GetMax() - 1);
    };
    SOptimizationResult result;
    // A slot so late that its delay lies beyond the node's range: refused, the run goes on.
    optimizeGigECamera(adapter[0], 10.0, 1000, &result);
    EXPECT_FALSE(result.frameTransmissionDelayChanged);
    EXPECT_EQ(integer(*camera, "GevSCFTD")->GetValue(), 0);
    EXPECT_TRUE(result.interPacketDelayChanged);
    EXPECT_TRUE(result.interPacketDelayAtLimit);
}

TEST_F(GigEOptimizationTest, RowsThatDoNotQualifyOrCannotBeSwitchedOnAreSkipped)
{
    std::vector<GigEOptimizationRow> adapter = rows({"U1", "G1"});
    adapter.push_back(adapter[1]);
    adapter[2].enable = [] { return static_cast<CBandwidthMeasuringCamera*>(nullptr); };
    SOptimizationResult result;
    ASSERT_TRUE(optimizeGigECameras(adapter, false, &result));
    EXPECT_EQ(adapter[0].camera, nullptr) << "a USB row is no GigE row";
    EXPECT_EQ(adapter[2].camera, nullptr);
    EXPECT_EQ(shares.size(), 1u);
    // Three rows share the adapter, though only one could be tuned.
    EXPECT_EQ(shares["G1"], 37);
    EXPECT_EQ(integer(*adapter[1].camera, "GevSCFTD")->GetValue(), 1518) << "slot 1";
}

TEST_F(GigEOptimizationTest, ProbeOpensTheStreamGrabberOnlyForItself)
{
    CBandwidthMeasuringCamera* camera = createMeasuringCamera(list, emulatedCamera("G1"));
    IStreamGrabber* grabber = camera->GetDevice()->GetStreamGrabber(0);
    ASSERT_FALSE(grabber->IsOpen());
    int64_t after = -5, before = -5;
    EXPECT_TRUE(probePacketSize(*camera, &after, &before));
    EXPECT_FALSE(grabber->IsOpen());
    EXPECT_EQ(before, 1500);
    EXPECT_EQ(after, 1500);
    EXPECT_TRUE(probePacketSize(*camera, nullptr, nullptr));
    // A USB camera has no probe and no packet size: both stay as they were.
    CBandwidthMeasuringCamera* usb = createMeasuringCamera(list, emulatedCamera("U1"));
    after = before = -5;
    EXPECT_FALSE(probePacketSize(*usb, &after, &before));
    EXPECT_EQ(after, -5);
    EXPECT_EQ(before, -5);
    EXPECT_EQ(frameTransmissionDelay(*usb), -1);
    EXPECT_FALSE(setFrameTransmissionDelay(*usb, 0));
    EXPECT_FALSE(setPacketSize(*usb, 1500));
}

TEST_F(GigEOptimizationTest, TriggeredCamerasAreListedBySourceAndTheSelectorIsKept)
{
    CBandwidthMeasuringCamera* line = createMeasuringCamera(list, emulatedCamera("G1"));
    CBandwidthMeasuringCamera* software = createMeasuringCamera(list, emulatedCamera("U1"));
    CBandwidthMeasuringCamera* free = createMeasuringCamera(list, emulatedCamera("G2"));
    QList<QString> softwareTriggered, otherTriggered;
    EXPECT_FALSE(checkTriggerState(list, &softwareTriggered, &otherTriggered));

    setEnum(*line, "TriggerSelector", "FrameStart");
    setEnum(*line, "TriggerMode", "On");
    setEnum(*line, "TriggerSource", "Line1");
    setEnum(*line, "TriggerSelector", "AcquisitionStart");
    setEnum(*software, "TriggerSelector", "FrameStart");
    setEnum(*software, "TriggerMode", "On");
    setEnum(*software, "TriggerSource", "Software");

    EXPECT_TRUE(isAnyTriggerModeOn(*line));
    EXPECT_FALSE(hasSoftwareTrigger(*line));
    EXPECT_FALSE(isAnyTriggerModeOn(*free));
    EXPECT_TRUE(checkTriggerState(list, &softwareTriggered, &otherTriggered));
    EXPECT_EQ(otherTriggered, QList<QString>{formatDeviceName(&line->GetDeviceInfo())});
    EXPECT_EQ(softwareTriggered, QList<QString>{formatDeviceName(&software->GetDeviceInfo())});
    EXPECT_EQ(GenApi::CEnumerationPtr(line->GetNodeMap().GetNode("TriggerSelector"))->ToString(), "AcquisitionStart");
    EXPECT_TRUE(checkTriggerState(list, nullptr, nullptr));
}
