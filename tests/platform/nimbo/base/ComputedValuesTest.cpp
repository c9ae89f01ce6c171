// Values the emulated cameras compute, read through the node map as an application reads them:
// read, change what the value depends on, read again, grab.
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <testsupport/EmulatedCameras.h>
#include <testsupport/Wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace Nimbo;

namespace {

using Change = std::function<void(GenApi::INodeMap&)>;

void setInt(GenApi::INodeMap& map, const char* name, int64_t value)
{
    GenApi::CIntegerPtr node = map.GetNode(name);
    ASSERT_TRUE(node) << name;
    node->SetValue(value);
}

void setFloat(GenApi::INodeMap& map, const char* name, double value)
{
    GenApi::CFloatPtr node = map.GetNode(name);
    ASSERT_TRUE(node) << name;
    node->SetValue(value);
}

void setEnum(GenApi::INodeMap& map, const char* name, const char* symbolic)
{
    GenApi::CEnumerationPtr node = map.GetNode(name);
    ASSERT_TRUE(node) << name;
    node->FromString(symbolic);
}

double numberOf(GenApi::INodeMap& map, const std::string& name)
{
    GenApi::INode* node = map.GetNode(name.c_str());
    if (GenApi::CIntegerPtr i = node)
        return static_cast<double>(i->GetValue());
    if (GenApi::CFloatPtr f = node)
        return f->GetValue();
    ADD_FAILURE() << name << " is no number";
    return 0.0;
}

struct ComputedCase {
    const char* name;
    const char* serial;
    Change prepare;    // settings the case starts from
    const char* value; // the computed value
    double before;
    Change change; // what the value depends on
    double after;
    const char* autoFeature; // an auto function that must read "Off" again after "Once"
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const ComputedCase& c, std::ostream* os)
{
    *os << c.name;
}

class ComputedValueTest : public ::testing::TestWithParam<ComputedCase> {
protected:
    void SetUp() override { ASSERT_TRUE(Emulation::Configure("usb:qvUsb1920c:2001;gige:gxGige1280c:2003")); }
    void TearDown() override { Emulation::WaitForEvents(); }
};

} // namespace

TEST_P(ComputedValueTest, IsReadAfreshAfterItsDependencyChanged)
{
    const ComputedCase& c = GetParam();
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera(c.serial)));
    camera.Open();
    GenApi::INodeMap& map = camera.GetNodeMap();
    if (c.prepare)
        c.prepare(map);
    // The first read fills whatever the node map caches.
    EXPECT_DOUBLE_EQ(numberOf(map, c.value), c.before);
    c.change(map);
    EXPECT_DOUBLE_EQ(numberOf(map, c.value), c.after);
    if (c.autoFeature) {
        EXPECT_EQ(GenApi::CEnumerationPtr(map.GetNode(c.autoFeature))->ToString(), "Off");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, ComputedValueTest,
    ::testing::Values(
        ComputedCase{"PayloadSizeAfterPixelFormat", "2001", nullptr, "PayloadSize", 1920.0 * 1200,
                     [](GenApi::INodeMap& m) { setEnum(m, "PixelFormat", "RGB8"); }, 1920.0 * 1200 * 3, nullptr},
        ComputedCase{"PayloadSizeAfterHeight", "2001", nullptr, "PayloadSize", 1920.0 * 1200,
                     [](GenApi::INodeMap& m) { setInt(m, "Height", 100); }, 1920.0 * 100, nullptr},
        ComputedCase{"WidthMaxAfterOffsetX", "2001", [](GenApi::INodeMap& m) { setInt(m, "Width", 1600); },
                     "WidthMax", 1920, [](GenApi::INodeMap& m) { setInt(m, "OffsetX", 200); }, 1720, nullptr},
        ComputedCase{"OffsetXMaxAfterWidth", "2001", nullptr, "OffsetXMax", 0,
                     [](GenApi::INodeMap& m) { setInt(m, "Width", 1600); }, 320, nullptr},
        ComputedCase{"LUTValueAfterLUTIndex", "2001", nullptr, "LUTValue", 0,
                     [](GenApi::INodeMap& m) { setInt(m, "LUTIndex", 100); }, 100, nullptr},
        ComputedCase{"LUTValueAfterTheWholeTable", "2001", [](GenApi::INodeMap& m) { setInt(m, "LUTIndex", 5); },
                     "LUTValue", 5,
                     [](GenApi::INodeMap& m) {
                         GenApi::CRegisterPtr all = m.GetNode("LUTValueAll");
                         std::vector<uint8_t> table(static_cast<size_t>(all->GetLength()));
                         all->Get(table.data(), all->GetLength());
                         const uint32_t entry = 77;
                         std::memcpy(&table[5 * 4], &entry, 4);
                         all->Set(table.data(), all->GetLength());
                     },
                     77, nullptr},
        ComputedCase{"PixelDynamicRangeMaxAfterPixelFormat", "2001", nullptr, "PixelDynamicRangeMax", 255,
                     [](GenApi::INodeMap& m) { setEnum(m, "PixelFormat", "BayerRG12"); }, 4095, nullptr},
        ComputedCase{"ColorTransformationValueAfterLightSourcePreset", "2001", nullptr, "ColorTransformationValue",
                     1.5625, [](GenApi::INodeMap& m) { setEnum(m, "LightSourcePreset", "Tungsten2800K"); }, 1.25,
                     nullptr},
        // Twice the target brightness at 0 dB: twice the nominal exposure.
        ComputedCase{"ExposureTimeAfterExposureAutoOnce", "2001",
                     [](GenApi::INodeMap& m) { setFloat(m, "AutoTargetBrightness", 0.6); }, "ExposureTime", 3500,
                     [](GenApi::INodeMap& m) { setEnum(m, "ExposureAuto", "Once"); }, 7000, "ExposureAuto"},
        ComputedCase{"GainAfterGainAutoOnce", "2001", [](GenApi::INodeMap& m) { setFloat(m, "AutoGainLowerLimit", 6); },
                     "Gain", 0, [](GenApi::INodeMap& m) { setEnum(m, "GainAuto", "Once"); }, 6, "GainAuto"},
        ComputedCase{"BalanceRatioAfterBalanceWhiteAutoOnce", "2001",
                     [](GenApi::INodeMap& m) {
                         setEnum(m, "BalanceRatioSelector", "Blue");
                         setFloat(m, "BalanceRatio", 2.5);
                     },
                     "BalanceRatio", 2.5, [](GenApi::INodeMap& m) { setEnum(m, "BalanceWhiteAuto", "Once"); }, 1.0,
                     "BalanceWhiteAuto"},
        ComputedCase{"GainAbsAfterGainAutoOnceOnAnOlderCamera", "2003",
                     [](GenApi::INodeMap& m) { setInt(m, "AutoGainRawLowerLimit", 30); }, "GainAbs", 0,
                     [](GenApi::INodeMap& m) { setEnum(m, "GainAuto", "Once"); }, 3, "GainAuto"},
        ComputedCase{"ColorTransformationValueAfterLightSourceSelector", "2003", nullptr, "ColorTransformationValue",
                     1.5625, [](GenApi::INodeMap& m) { setEnum(m, "LightSourceSelector", "Off"); }, 1.0, nullptr}),
    [](const ::testing::TestParamInfo<ComputedCase>& info) { return std::string(info.param.name); });

// The buffers of a grab are as large as the payload the camera computes for the pixel format set just before.
TEST_F(ComputedValueTest, GrabAfterAPixelFormatChangeFitsItsFrames)
{
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("2001")));
    camera.Open();
    GenApi::INodeMap& map = camera.GetNodeMap();
    EXPECT_EQ(GenApi::CIntegerPtr(map.GetNode("PayloadSize"))->GetValue(), 1920 * 1200);
    setEnum(map, "PixelFormat", "RGB8");
    camera.StartGrabbing(10);
    for (int i = 0; i < 10; ++i) {
        CGrabResultPtr result;
        ASSERT_TRUE(camera.RetrieveResult(10000, result, TimeoutHandling_Return)) << "after " << i;
        ASSERT_TRUE(result->GrabSucceeded()) << result->GetErrorDescription();
        EXPECT_EQ(result->GetPayloadSize(), 1920u * 1200u * 3u);
    }
    camera.StopGrabbing();
}

// Counters that run on while the grabber works are never served from a cache.
TEST_F(ComputedValueTest, StreamStatisticsCountOnBetweenReads)
{
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("2001")));
    camera.Open();
    setInt(camera.GetNodeMap(), "Width", 64);
    setInt(camera.GetNodeMap(), "Height", 32);
    GenApi::CIntegerPtr total = camera.GetStreamGrabberNodeMap().GetNode("Statistic_Total_Buffer_Count");
    ASSERT_TRUE(total);
    EXPECT_EQ(total->GetValue(), 0);
    camera.StartGrabbing(3);
    for (int i = 0; i < 3; ++i) {
        CGrabResultPtr result;
        ASSERT_TRUE(camera.RetrieveResult(10000, result, TimeoutHandling_Return));
    }
    EXPECT_GE(total->GetValue(), 3);
}

namespace {
// What node callbacks delivered: the value each callback read, by node, from threads other than the test's
// (the grab loop's poll), so that the writes' own notices do not count.
class CallbackLog {
public:
    void watch(GenApi::INodeMap& map, const char* name)
    {
        GenApi::INode* node = map.GetNode(name);
        ASSERT_TRUE(node) << name;
        m_handles.push_back(GenApi::Register(node, *this, &CallbackLog::onChange));
    }
    ~CallbackLog()
    {
        for (GenApi::CallbackHandleType handle : m_handles)
            GenApi::Deregister(handle);
    }
    void onChange(GenApi::INode* node)
    {
        if (std::this_thread::get_id() == m_testThread)
            return;
        const std::string value = GenApi::CValuePtr(node)->ToString().str();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen[node->GetName().str()].push_back(value);
    }
    // True once a callback of the node read a value for which `accept` holds.
    template <class Accept>
    bool saw(const std::string& name, Accept accept)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const std::string& value : m_seen[name])
            if (accept(value))
                return true;
        return false;
    }
    std::string dump()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string text;
        for (const auto& node : m_seen) {
            text += node.first + ":";
            for (const std::string& value : node.second)
                text += " " + value;
            text += "\n";
        }
        return text;
    }

private:
    const std::thread::id m_testThread = std::this_thread::get_id();
    std::mutex m_mutex;
    std::map<std::string, std::vector<std::string>> m_seen;
    std::vector<GenApi::CallbackHandleType> m_handles;
};

bool differsFrom(const std::string& text, double value)
{
    return std::fabs(std::stod(text) - value) > 1e-6;
}
} // namespace

// A client that watches the auto functions and the values they move, while the camera grabs: the camera
// settles "Once" with its next frame, goes back to "Off" by itself and moves exposure and gain; with
// "Continuous" it keeps moving them. Each change reaches the callbacks through the grab loop's poll.
TEST_F(ComputedValueTest, ValuesTheCameraChangesByItselfReachNodeCallbacksWhileItGrabs)
{
    struct Case {
        const char* name;
        const char* serial;
        const char* exposure;
        const char* gain;
        const char* mode;
    };
    const Case cases[] = {{"SFNC 2, once", "2001", "ExposureTime", "Gain", "Once"},
                          {"SFNC 2, continuous", "2001", "ExposureTime", "Gain", "Continuous"},
                          {"SFNC 1, once", "2003", "ExposureTimeAbs", "GainAbs", "Once"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera(c.serial)));
        camera.Open();
        testsupport::smallFrames(camera);
        GenApi::INodeMap& map = camera.GetNodeMap();
        setFloat(map, c.exposure, 5000.0);
        setFloat(map, c.gain, 6.0);
        CallbackLog log;
        for (const char* name : {"ExposureAuto", "GainAuto", c.exposure, c.gain})
            log.watch(map, name);
        camera.StartGrabbing(GrabStrategy_LatestImageOnly, GrabLoop_ProvidedByInstantCamera);
        setEnum(map, "ExposureAuto", c.mode);
        setEnum(map, "GainAuto", c.mode);

        const bool once = std::string(c.mode) == "Once";
        const auto isOff = [](const std::string& v) { return v == "Off"; };
        const auto settled = [&] {
            return log.saw(c.exposure, [](const std::string& v) { return differsFrom(v, 5000.0); }) &&
                   log.saw(c.gain, [](const std::string& v) { return differsFrom(v, 6.0); }) &&
                   (!once || (log.saw("ExposureAuto", isOff) && log.saw("GainAuto", isOff)));
        };
        EXPECT_TRUE(testsupport::waitFor(settled, 20000)) << log.dump();
        camera.StopGrabbing();
    }
}
