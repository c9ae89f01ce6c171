// Tests of the colour event manager against the test camera: colour matrix, lookup-table worker,
// light-source preset, mono cameras and the binding life cycle.
#include "ColorMatrixAdapter.h"
#include "TavoEventManager.h"
#include "TestCamera.h"
#include "ToneCurve.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using huvanetest::CameraOptions;
using huvanetest::TestCamera;
using huvanetest::TestPort;
using namespace huvanetest;

namespace {
using Writes = std::vector<TestPort::Access>;

bool isLut(const TestPort::Access& w)
{
    return w.address >= LutAddress;
}
size_t count(const Writes& writes, int64_t address)
{
    size_t n = 0;
    for (const TestPort::Access& w : writes)
        n += w.address == address;
    return n;
}
size_t lutWrites(const Writes& writes)
{
    size_t n = 0;
    for (const TestPort::Access& w : writes)
        n += isLut(w);
    return n;
}

template <class Pred>
bool eventually(Pred pred)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<uint32_t> expectedTable(bool linear, size_t entries, double b, double c)
{
    std::vector<uint32_t> t(entries);
    if (linear)
        Huvane::ToneCurve::fillLinear(t, b, c, uint32_t(entries - 1), 1);
    else
        Huvane::ToneCurve::fillSCurve(t, b, c, uint32_t(entries - 1), 1);
    return t;
}

void expectPortMatrix(TestPort& port, const Huvane::ColorMatrix& expected, const char* what)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(port.matrix(i, j), expected.at(i, j), 1e-9) << what << " element " << i << j;
}

// A camera's calibrated matrix, as one without a light-source preset holds it.
const double CalibratedMatrix[9] = {1.25, 0.7, -0.125, -0.25, 1.5, -0.25, 0.0, -0.5, 1.5};

Huvane::ColorMatrix calibrated()
{
    Huvane::ColorMatrix m;
    for (int k = 0; k < 9; ++k)
        m.set(k / 3, k % 3, CalibratedMatrix[k]);
    return m;
}

void setCameraMatrix(TestPort& port, const Huvane::ColorMatrix& m)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            port.setMatrix(i, j, m.at(i, j));
}

class EventManagerTest : public ::testing::Test {
protected:
    // As a grab does it: the grabber is prepared (the manager bound), then the acquisition starts. The
    // writes so far are forgotten, so that every AcquisitionStart seen later ends an upload.
    void start(const CameraOptions& options = CameraOptions())
    {
        camera = std::make_unique<TestCamera>(options);
        manager = std::make_unique<Huvane::CTavoEventManager>();
        manager->bind(camera->nodeMap());
        execute("AcquisitionStart");
        camera->port().clearWrites();
    }
    // A camera without a light-source preset that holds its calibrated matrix, and a manager not yet bound.
    void calibratedCamera(double saturation)
    {
        camera = std::make_unique<TestCamera>();
        setCameraMatrix(camera->port(), calibrated());
        setFloat("VlrSaturation", saturation);
        manager = std::make_unique<Huvane::CTavoEventManager>();
    }
    void execute(const char* command) { camera->node<GenApi::CCommandPtr>(command)->Execute(); }
    void TearDown() override
    {
        manager.reset(); // before the node map it serves
        camera.reset();
    }
    void setFloat(const char* name, double value) { camera->node<GenApi::CFloatPtr>(name)->SetValue(value); }
    double getFloat(const char* name) { return camera->node<GenApi::CFloatPtr>(name)->GetValue(); }
    // The table for the features' current values (they are stored in steps of 1/128).
    std::vector<uint32_t> currentTable(bool linear, size_t entries)
    {
        return expectedTable(linear, entries, getFloat("VlrBrightness"), getFloat("VlrContrast"));
    }
    // Waits until the worker has finished an upload (the acquisition restarted) n times in all.
    void waitForUploads(size_t n)
    {
        ASSERT_TRUE(camera->port().waitFor([n](const Writes& w) { return count(w, AcquisitionStartAddress) >= n; }))
            << "the lookup table was not uploaded " << n << " time(s)";
    }

    std::unique_ptr<TestCamera> camera;
    std::unique_ptr<Huvane::CTavoEventManager> manager;
};
} // namespace

// Without a light-source preset to load its matrix from, the camera's own matrix is the base that hue
// and saturation turn.
TEST_F(EventManagerTest, BindingWritesHueAndSaturationOverTheCamerasOwnMatrix)
{
    calibratedCamera(0.0);
    manager->bind(camera->nodeMap());
    EXPECT_TRUE(manager->isBound());
    EXPECT_EQ(camera->port().writesIn(ColourValueAddress, ColourValueAddress + 8).size(), 9u);
    expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(0.0, 0.0) * calibrated(), "grey");
    EXPECT_EQ(camera->node<GenApi::CFloatPtr>("VlrHue")->GetNode()->GetVisibility(), GenApi::Beginner);
    setFloat("VlrHue", 90.0);
    expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(90.0, 0.0) * calibrated(), "turned");
}

// The matrix the plug-in wrote is not the camera's own: the camera gets its own back when the grab ends,
// so that every grab starts from it, and a matrix someone else set meanwhile becomes the new base.
TEST_F(EventManagerTest, EveryGrabStartsFromTheCamerasOwnMatrix)
{
    calibratedCamera(0.5);
    for (int grab = 0; grab < 3; ++grab) {
        SCOPED_TRACE(grab);
        manager->bind(camera->nodeMap());
        expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(0.0, 0.5) * calibrated(), "grabbing");
        manager->stop();
        expectPortMatrix(camera->port(), calibrated(), "after the grab");
    }
    // Rebinding while bound ends the earlier binding first.
    manager->bind(camera->nodeMap());
    manager->bind(camera->nodeMap());
    expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(0.0, 0.5) * calibrated(), "bound twice");
    manager->stop();

    camera->port().setMatrix(0, 1, 0.0);
    Huvane::ColorMatrix recalibrated = calibrated();
    recalibrated.set(0, 1, 0.0);
    manager->bind(camera->nodeMap());
    expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(0.0, 0.5) * recalibrated, "recalibrated");
}

// A matrix someone else sets while the camera grabs (an element written directly, as a custom light
// source is made) is the camera's own from then on: the grab's end leaves it, and the next grab turns it.
TEST_F(EventManagerTest, AMatrixSetDirectlyWhileGrabbingStaysWhenTheGrabEnds)
{
    calibratedCamera(0.5);
    manager->bind(camera->nodeMap());
    camera->node<GenApi::CEnumerationPtr>("ColorTransformationValueSelector")->FromString("Gain01");
    setFloat("ColorTransformationValue", 0.25);
    Huvane::ColorMatrix custom = Huvane::ColorMatrix::hueSaturation(0.0, 0.5) * calibrated();
    custom.set(0, 1, 0.25);
    manager->stop();
    expectPortMatrix(camera->port(), custom, "after the grab");

    manager->bind(camera->nodeMap());
    expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(0.0, 0.5) * custom, "the next grab");
    manager->stop();
    expectPortMatrix(camera->port(), custom, "after the next grab");
}

TEST_F(EventManagerTest, HueAndSaturationChangesAreWrittenAtOnce)
{
    start();
    struct Case {
        double hue;
        double saturation;
    };
    for (const Case& c : {Case{180.0, 1.0}, Case{-45.0, 1.5}, Case{90.0, 0.25}, Case{0.0, 1.0}}) {
        setFloat("VlrHue", c.hue);
        setFloat("VlrSaturation", c.saturation);
        // No waiting: the matrix is written in the changing thread.
        expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(c.hue, c.saturation), "after change");
    }
}

TEST_F(EventManagerTest, MonoCameraHidesColourFeaturesButKeepsTone)
{
    CameraOptions options;
    options.mono = true;
    start(options);
    EXPECT_EQ(camera->node<GenApi::CFloatPtr>("VlrHue")->GetNode()->GetVisibility(), GenApi::Invisible);
    EXPECT_EQ(camera->node<GenApi::CFloatPtr>("VlrSaturation")->GetNode()->GetVisibility(), GenApi::Invisible);
    setFloat("VlrHue", 90.0);
    setFloat("VlrSaturation", 0.0);
    EXPECT_TRUE(camera->port().writesIn(ColourValueAddress, ColourValueAddress + 8).empty());

    setFloat("VlrBrightness", 0.5);
    waitForUploads(1);
    EXPECT_EQ(camera->port().lut(4096), currentTable(true, 4096));
}

TEST_F(EventManagerTest, UploadsTheTableInPausedChunksBetweenStopAndStart)
{
    start();
    setFloat("VlrBrightness", 0.25);
    waitForUploads(1);
    const Writes writes = camera->port().writes();
    std::vector<TestPort::Access> sequence;
    for (const TestPort::Access& w : writes)
        if (isLut(w) || w.address == AcquisitionStartAddress || w.address == AcquisitionStopAddress)
            sequence.push_back(w);
    ASSERT_EQ(sequence.size(), 18u);
    EXPECT_EQ(sequence.front().address, AcquisitionStopAddress);
    EXPECT_EQ(sequence.back().address, AcquisitionStartAddress);
    for (size_t k = 0; k < 16; ++k) {
        EXPECT_EQ(sequence[k + 1].address, LutAddress + int64_t(k) * 1024) << k;
        EXPECT_EQ(sequence[k + 1].length, 1024) << k;
    }
    // A pause of 10 ms follows every chunk; only the lower bound is safe to check.
    EXPECT_GE(sequence.back().time - sequence[1].time, std::chrono::milliseconds(160));
    EXPECT_EQ(camera->port().lut(4096), currentTable(true, 4096));
    EXPECT_TRUE(camera->node<GenApi::CBooleanPtr>("LUTEnable")->GetValue());
    // The register shows what the port wrote, not a stale cached value.
    std::vector<uint8_t> bytes(16384);
    camera->node<GenApi::CRegisterPtr>("LUTValueAll")->Get(bytes.data(), int64_t(bytes.size()));
    std::vector<uint32_t> read(4096);
    std::memcpy(read.data(), bytes.data(), bytes.size());
    EXPECT_EQ(read, currentTable(true, 4096));
}

TEST_F(EventManagerTest, NeutralToneSwitchesTheTableOffWithoutRewritingIt)
{
    start();
    setFloat("VlrContrast", 0.3);
    waitForUploads(1);
    const std::vector<uint32_t> uploaded = camera->port().lut(4096);
    EXPECT_EQ(uploaded, currentTable(true, 4096));
    const size_t before = lutWrites(camera->port().writes());
    setFloat("VlrContrast", 0.0);
    const GenApi::CBooleanPtr enable = camera->node<GenApi::CBooleanPtr>("LUTEnable");
    ASSERT_TRUE(eventually([&] { return !enable->GetValue(); }));
    // Give the worker room to do anything it should not.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lutWrites(camera->port().writes()), before);
    EXPECT_EQ(camera->port().lut(4096), uploaded);
}

TEST_F(EventManagerTest, ContrastModeAloneStartsANewUpload)
{
    start();
    setFloat("VlrBrightness", -0.2);
    setFloat("VlrContrast", 0.4);
    ASSERT_TRUE(camera->port().waitFor([](const Writes& w) {
        return count(w, AcquisitionStartAddress) >= 1 && w.back().address == AcquisitionStartAddress;
    }));
    ASSERT_TRUE(eventually([&] { return camera->port().lut(4096) == currentTable(true, 4096); }));
    const size_t uploads = count(camera->port().writes(), AcquisitionStartAddress);
    camera->node<GenApi::CEnumerationPtr>("VlrContrastMode")->FromString("SCurve");
    waitForUploads(uploads + 1);
    ASSERT_TRUE(eventually([&] { return camera->port().lut(4096) == currentTable(false, 4096); }));
}

TEST_F(EventManagerTest, NewerRequestCancelsTheUploadInProgress)
{
    CameraOptions options;
    options.lutBytes = 65536; // 64 chunks: a long enough upload to interrupt
    start(options);
    setFloat("VlrContrast", 0.5);
    ASSERT_TRUE(camera->port().waitFor([](const Writes& w) { return lutWrites(w) >= 1; }));
    setFloat("VlrContrast", 0.8);
    ASSERT_TRUE(eventually([&] { return camera->port().lut(16384) == currentTable(true, 16384); }));
    waitForUploads(2);

    // Split the writes into uploads, each from a stop to the next start.
    std::vector<size_t> chunksPerUpload;
    size_t chunks = 0;
    for (const TestPort::Access& w : camera->port().writes()) {
        if (isLut(w))
            ++chunks;
        if (w.address == AcquisitionStartAddress) {
            chunksPerUpload.push_back(chunks);
            chunks = 0;
        }
    }
    ASSERT_GE(chunksPerUpload.size(), 2u);
    EXPECT_LT(chunksPerUpload[0], 64u) << "the first upload ran to its end";
    EXPECT_EQ(chunksPerUpload.back(), 64u);
}

TEST_F(EventManagerTest, TableThatIsNoChunkMultipleIsSetWhole)
{
    CameraOptions options;
    options.lutBytes = 1000;
    start(options);
    setFloat("VlrBrightness", 0.1);
    ASSERT_TRUE(camera->port().waitFor([](const Writes& w) { return lutWrites(w) >= 1; }));
    ASSERT_TRUE(eventually([&] { return camera->port().lut(250) == currentTable(true, 250); }));
    const Writes lut = camera->port().writesIn(LutAddress, LutAddress + 0x10000);
    ASSERT_EQ(lut.size(), 1u);
    EXPECT_EQ(lut[0].length, 1000);
    EXPECT_EQ(count(camera->port().writes(), AcquisitionStopAddress), 0u);
}

TEST_F(EventManagerTest, CameraWithoutTableOnlySwitchesItOn)
{
    CameraOptions options;
    options.lutBytes = 0;
    start(options);
    setFloat("VlrBrightness", 0.1);
    const GenApi::CBooleanPtr enable = camera->node<GenApi::CBooleanPtr>("LUTEnable");
    ASSERT_TRUE(eventually([&] { return enable->GetValue(); }));
    EXPECT_EQ(count(camera->port().writes(), AcquisitionStopAddress), 0u);
}

TEST_F(EventManagerTest, PresetKeepsTheWhiteBalanceWhileTheBaseMatrixIsCaptured)
{
    CameraOptions options;
    options.lightSourcePreset = true;
    camera = std::make_unique<TestCamera>(options);
    TestPort& port = camera->port();
    const double preset[9] = {1.25, -0.125, -0.125, -0.25, 1.5, -0.25, 0.0, -0.5, 1.5};
    std::copy(preset, preset + 9, port.presetMatrix);
    camera->node<GenApi::CEnumerationPtr>("LightSourcePreset")->FromString("Daylight5000K");
    // The operator's white balance, set after the preset.
    port.setBalanceRatio(0, 1.5);
    port.setBalanceRatio(1, 1.0);
    port.setBalanceRatio(2, 2.25);
    setFloat("VlrSaturation", 0.5);

    manager = std::make_unique<Huvane::CTavoEventManager>();
    manager->bind(camera->nodeMap());

    EXPECT_DOUBLE_EQ(port.balanceRatio(0), 1.5);
    EXPECT_DOUBLE_EQ(port.balanceRatio(1), 1.0);
    EXPECT_DOUBLE_EQ(port.balanceRatio(2), 2.25);
    EXPECT_EQ(camera->node<GenApi::CEnumerationPtr>("LightSourcePreset")->ToString(), "Daylight5000K");
    Huvane::ColorMatrix base;
    for (int k = 0; k < 9; ++k)
        base.set(k / 3, k % 3, preset[k]);
    expectPortMatrix(port, Huvane::ColorMatrix::hueSaturation(0.0, 0.5) * base, "saturation over the preset");

    // Switching the preset off makes the identity the base.
    camera->node<GenApi::CEnumerationPtr>("LightSourcePreset")->FromString("Off");
    expectPortMatrix(port, Huvane::ColorMatrix::hueSaturation(0.0, 0.5), "preset off");
}

TEST_F(EventManagerTest, WhiteBalanceIsRestoredEvenWhenThePresetMatrixCannotBeRead)
{
    CameraOptions options;
    options.lightSourcePreset = true;
    options.colourMatrix = false;
    camera = std::make_unique<TestCamera>(options);
    camera->node<GenApi::CEnumerationPtr>("LightSourcePreset")->FromString("Daylight5000K");
    camera->port().setBalanceRatio(0, 2.5);
    camera->port().setBalanceRatio(2, 0.75);
    manager = std::make_unique<Huvane::CTavoEventManager>();
    EXPECT_NO_THROW(manager->bind(camera->nodeMap()));
    EXPECT_DOUBLE_EQ(camera->port().balanceRatio(0), 2.5);
    EXPECT_DOUBLE_EQ(camera->port().balanceRatio(1), 1.0);
    EXPECT_DOUBLE_EQ(camera->port().balanceRatio(2), 0.75);
}

TEST_F(EventManagerTest, CameraWithoutPixelFormatCannotBeBound)
{
    CameraOptions options;
    options.pixelFormat = false;
    camera = std::make_unique<TestCamera>(options);
    manager = std::make_unique<Huvane::CTavoEventManager>();
    try {
        manager->bind(camera->nodeMap());
        FAIL() << "bind succeeded";
    } catch (const GenICam::LogicalErrorException& e) {
        EXPECT_STREQ(e.GetDescription(), "NULL pointer dereferenced");
    }
    EXPECT_FALSE(manager->isBound());
    setFloat("VlrSaturation", 0.0);
    EXPECT_TRUE(camera->port().writes().empty());
}

TEST_F(EventManagerTest, SameNamedCameraFeaturesAreNotDriven)
{
    CameraOptions options;
    options.pluginFeatures = false;
    options.cameraToneFeatures = true;
    // The camera's own lookup table is on: the plug-in must neither switch it off nor rewrite it.
    options.lutEnabled = true;
    camera = std::make_unique<TestCamera>(options);
    ASSERT_TRUE(camera->node<GenApi::CBooleanPtr>("LUTEnable")->GetValue());
    setFloat("VlrBrightness", 0.5);
    manager = std::make_unique<Huvane::CTavoEventManager>();
    manager->bind(camera->nodeMap());
    setFloat("VlrContrast", 0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(lutWrites(camera->port().writes()), 0u);
    EXPECT_TRUE(camera->node<GenApi::CBooleanPtr>("LUTEnable")->GetValue());
}

TEST_F(EventManagerTest, StopReleasesEverythingAndABindStartsAfresh)
{
    start();
    setFloat("VlrBrightness", 0.5);
    waitForUploads(1);
    manager->stop();
    EXPECT_FALSE(manager->isBound());
    EXPECT_EQ(manager->errorText(), "Internal error.");
    camera->port().clearWrites();
    setFloat("VlrSaturation", 0.0);
    setFloat("VlrBrightness", -0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(camera->port().writes().empty()) << "a callback outlived stop";

    // The next grab carries the current values out again.
    manager->bind(camera->nodeMap());
    execute("AcquisitionStart");
    expectPortMatrix(camera->port(), Huvane::ColorMatrix::hueSaturation(0.0, 0.0), "after rebinding");
    ASSERT_TRUE(eventually([&] { return camera->port().lut(4096) == currentTable(true, 4096); }));
    // Binding again while bound replaces the binding cleanly.
    manager->bind(camera->nodeMap());
    EXPECT_TRUE(manager->isBound());
}

TEST_F(EventManagerTest, StopEndsAnUploadEarly)
{
    CameraOptions options;
    options.lutBytes = 65536;
    start(options);
    setFloat("VlrContrast", 0.5);
    ASSERT_TRUE(camera->port().waitFor([](const Writes& w) { return lutWrites(w) >= 1; }));
    manager->stop();
    const Writes writes = camera->port().writes();
    EXPECT_LT(lutWrites(writes), 64u);
    EXPECT_EQ(count(writes, AcquisitionStartAddress), 1u) << "acquisition restarts after a cut-short upload";
}

// Whatever the order of the grab's start and stop around an upload, the camera ends as the grab last
// asked for. Each case binds with a tone that needs a long upload (64 chunks), so the grab's commands
// fall inside it; the manager's stop (the grab's finish) then ends or awaits the upload.
TEST_F(EventManagerTest, AnUploadLeavesTheAcquisitionAsTheGrabLastAskedFor)
{
    enum Step { Start, Stop, AwaitUpload };
    struct Case {
        const char* name;
        std::vector<Step> steps; // the grab's commands, after the upload's first chunk
        bool acquiring;
    };
    const Case cases[] = {
        {"finished without ever starting (the grab failed to start)", {}, false},
        {"stopped during the upload, then finished", {Start, Stop}, false},
        {"started during an upload begun at preparation", {Start, AwaitUpload}, true},
        {"started and stopped during the upload, upload completed", {Start, Stop, AwaitUpload}, false},
        {"stopped and started again during the upload", {Start, Stop, Start, AwaitUpload}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CameraOptions options;
        options.lutBytes = 65536;
        camera = std::make_unique<TestCamera>(options);
        setFloat("VlrContrast", 0.5);
        manager = std::make_unique<Huvane::CTavoEventManager>();
        manager->bind(camera->nodeMap());
        ASSERT_TRUE(camera->port().waitFor([](const Writes& w) { return lutWrites(w) >= 1; }));
        for (const Step step : c.steps) {
            if (step == AwaitUpload)
                ASSERT_TRUE(eventually([&] { return camera->port().lut(16384) == currentTable(true, 16384); }));
            else
                execute(step == Start ? "AcquisitionStart" : "AcquisitionStop");
        }
        manager->stop();
        EXPECT_EQ(camera->port().acquiring(), c.acquiring);
        // No restart the grab did not ask for: the camera was never started twice in a row.
        size_t startsInARow = 0;
        for (const TestPort::Access& w : camera->port().writes()) {
            if (w.address == AcquisitionStartAddress)
                EXPECT_LE(++startsInARow, 1u);
            else if (w.address == AcquisitionStopAddress)
                startsInARow = 0;
        }
        manager.reset();
        camera.reset();
    }
}

class ColorMatrixAdapterTest : public EventManagerTest {};

TEST_F(ColorMatrixAdapterTest, ClampsToTheValueNodeLimits)
{
    camera = std::make_unique<TestCamera>();
    Huvane::CColorMatrixAdapter adapter;
    adapter.bind(camera->nodeMap());
    adapter.set(0, 0, 5.0);
    adapter.set(1, 2, -9.0);
    adapter.set(2, 1, 0.5);
    EXPECT_TRUE(adapter.writeToCamera());
    EXPECT_DOUBLE_EQ(camera->port().matrix(0, 0), 3.99);
    EXPECT_DOUBLE_EQ(camera->port().matrix(1, 2), -8.0);
    EXPECT_DOUBLE_EQ(camera->port().matrix(2, 1), 0.5);

    // Reading gives the camera's values back, element by element.
    camera->port().setMatrix(1, 0, -1.75);
    Huvane::CColorMatrixAdapter reader;
    reader.bind(camera->nodeMap());
    reader.readFromCamera();
    EXPECT_DOUBLE_EQ(reader.at(0, 0), 3.99);
    EXPECT_DOUBLE_EQ(reader.at(1, 0), -1.75);
    EXPECT_DOUBLE_EQ(reader.at(2, 2), 1.0);
}

TEST_F(ColorMatrixAdapterTest, ReadOnlySelectorMeansNoWriteAtAll)
{
    camera = std::make_unique<TestCamera>();
    camera->node<GenApi::CEnumerationPtr>("ColorTransformationValueSelector")->GetNode()->ImposeAccessMode(GenApi::RO);
    Huvane::CColorMatrixAdapter adapter;
    adapter.bind(camera->nodeMap());
    adapter.set(0, 0, 2.0);
    EXPECT_TRUE(adapter.writeToCamera()) << "nothing to write counts as done";
    EXPECT_TRUE(camera->port().writes().empty());
    EXPECT_DOUBLE_EQ(camera->port().matrix(0, 0), 1.0);
}

TEST(ColorMatrixAdapterUnboundTest, ReadingWithoutNodesRaisesTheNullPointerError)
{
    Huvane::CColorMatrixAdapter adapter;
    adapter.set(0, 1, 3.0);
    try {
        adapter.readFromCamera();
        FAIL() << "read without nodes";
    } catch (const GenICam::LogicalErrorException& e) {
        EXPECT_STREQ(e.GetDescription(), "NULL pointer dereferenced");
    }
    EXPECT_TRUE(adapter.writeToCamera());
}
