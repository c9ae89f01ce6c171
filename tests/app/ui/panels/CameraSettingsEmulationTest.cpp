// The camera settings panel on the emulated cameras' own node maps: SFNC 2 USB and SFNC 1 GigE names.
#include "CameraSettingsWidget.h"

#include "BaseParameterModel.h"
#include "FlatDoubleComboSlider.h"
#include "NodeParameterManager.h"
#include "StubCamera.h"
#include "TestSlider.h"

#include <Camera.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>
#include <orbelt/SpinBox.h>

#include <GenApi/GenApi.h>

#include <QCheckBox>
#include <QSettings>
#include <QSlider>

#include <gtest/gtest.h>
#include <testsupport/EmulatedCameras.h>
#include <testsupport/Wait.h>

#include <cmath>
#include <cstdlib>

namespace {
// The SDK alone: the colour plug-in of the build folder would add its features to the cameras.
const int g_noPlugins = setenv("NIMBO_TL_PLUGIN_PATH", "/nonexistent-plugin-folder", 1);

} // namespace

TEST(CameraSettingsEmulationTest, bindsTheExposureAndGainNamesOfEachCameraKind)
{
    ASSERT_EQ(g_noPlugins, 0);
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:3001;gige:gxGige1280c:3002"));
    Nimbo::DeviceInfoList list;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
    const struct {
        const char* serial;
        const char* exposure;
        const char* gain;
    } cases[] = {{"3001", "ExposureTime", "Gain"}, {"3002", "ExposureTimeAbs", "GainAbs"}};
    CameraSettingsWidget panel(nullptr);
    fake::StubCamera camera;
    panel.setCamera(&camera);
    for (const auto& c : cases) {
        Nimbo::INimboDevice* device = nullptr;
        for (const Nimbo::CDeviceInfo& info : list)
            if (info.GetSerialNumber() == c.serial)
                device = Nimbo::CTlFactory::GetInstance().CreateDevice(info);
        ASSERT_NE(device, nullptr) << c.serial;
        device->Open();
        GenApi::INodeMap* map = device->GetNodeMap();
        panel.addNodemap(&camera, map, "Camera", "Camera");

        const auto models = panel.manager()->models();
        ASSERT_NE(models.at(0)->node(), nullptr) << c.serial;
        EXPECT_EQ(models.at(0)->node()->GetName(), c.exposure);
        ASSERT_NE(models.at(2)->node(), nullptr) << c.serial;
        EXPECT_EQ(models.at(2)->node()->GetName(), c.gain);
        const auto sliders = panel.findChildren<FlatDoubleComboSlider*>();
        FlatDoubleComboSlider* exposure = sliders.at(0);
        EXPECT_TRUE(exposure->isEnabled()) << c.serial;
        EXPECT_TRUE(sliders.at(1)->isEnabled()) << c.serial;
        // No colour plug-in, no application feature: those rows stay off.
        for (int i = 2; i < sliders.size(); ++i)
            EXPECT_FALSE(sliders.at(i)->isEnabled()) << c.serial << " " << i;
        EXPECT_FALSE(panel.findChildren<QCheckBox*>().at(2)->isEnabled()) << c.serial;

        // The logarithmic slider drives the camera's raw exposure, and the float follows it.
        GenApi::CIntegerPtr raw = map->GetNode("ExposureTimeRaw");
        GenApi::CFloatPtr time = map->GetNode(c.exposure);
        exposure->slider()->setValue(60000);
        EXPECT_EQ(raw->GetValue(), exposure->positionToValue(60000)) << c.serial;
        // Typing a time in the edit box writes the float feature.
        typeAndEnter(exposure->editBox(), "12000");
        EXPECT_DOUBLE_EQ(time->GetValue(), 12000.0) << c.serial;
        EXPECT_EQ(raw->GetValue(), 12000) << c.serial;

        panel.onNotifyCameraShutDown(&camera);
        device->Close();
        Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
        Nimbo::Emulation::WaitForEvents();
    }
    panel.removeCamera(&camera);
}

// What the camera changes by itself reaches the panel through its own poll while the camera grabs: after
// the automatic image adjustment ("Once" for both auto functions) both boxes uncheck as the camera goes
// back to "Off", and the edit boxes show the exposure and gain it settled at; with exposure "Continuous"
// the exposure box follows the camera and its "Auto" box stays checked.
TEST(CameraSettingsEmulationTest, valuesTheCameraChangesByItselfReachTheControls)
{
    ASSERT_EQ(g_noPlugins, 0);
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:3011"));
    Nimbo::CInstantCamera camera(Nimbo::CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("3011")));
    camera.Open();
    testsupport::smallFrames(camera);
    GenApi::INodeMap& map = camera.GetNodeMap();
    GenApi::CFloatPtr(map.GetNode("ExposureTime"))->SetValue(5000.0);
    GenApi::CFloatPtr(map.GetNode("Gain"))->SetValue(6.0);

    CameraSettingsWidget panel(nullptr);
    fake::StubCamera stub;
    panel.setCamera(&stub);
    panel.addNodemap(&stub, &map, "Camera", "Camera");
    const auto sliders = panel.findChildren<FlatDoubleComboSlider*>();
    NimboQtDoubleSpinBox* exposure = sliders.at(0)->editBox();
    NimboQtDoubleSpinBox* gain = sliders.at(1)->editBox();
    QCheckBox* exposureAuto = panel.findChildren<QCheckBox*>().at(0);
    QCheckBox* gainAuto = panel.findChildren<QCheckBox*>().at(1);
    ASSERT_DOUBLE_EQ(exposure->value(), 5000.0);
    ASSERT_DOUBLE_EQ(gain->value(), 6.0);

    // Frames the program does not take: the auto functions work at every frame all the same.
    camera.StartGrabbing(Nimbo::GrabStrategy_LatestImageOnly, Nimbo::GrabLoop_ProvidedByUser);
    // Exposure first: the camera settles it before the gain in a frame, so at 6 dB whichever frame comes.
    GenApi::CEnumerationPtr(map.GetNode("ExposureAuto"))->FromString("Once");
    GenApi::CEnumerationPtr(map.GetNode("GainAuto"))->FromString("Once");
    // The camera settles with 0 dB (the lower gain limit) and the exposure for the target at 6 dB.
    const double settledGain = 0.0;
    const double settledExposure = std::round(3500.0 / std::pow(10.0, 6.0 / 20.0));
    const bool settled = testsupport::waitFor([&] {
        return !exposureAuto->isChecked() && !gainAuto->isChecked() && exposure->value() == settledExposure &&
               gain->value() == settledGain;
    });
    EXPECT_TRUE(settled) << "exposure " << exposure->value() << (exposureAuto->isChecked() ? " auto" : "") << ", gain "
                         << gain->value() << (gainAuto->isChecked() ? " auto" : "");
    EXPECT_STREQ(GenApi::CEnumerationPtr(map.GetNode("ExposureAuto"))->ToString().c_str(), "Off");

    // Continuous at 0 dB: the camera holds the nominal exposure for the target.
    exposureAuto->setChecked(true);
    EXPECT_STREQ(GenApi::CEnumerationPtr(map.GetNode("ExposureAuto"))->ToString().c_str(), "Continuous");
    EXPECT_TRUE(testsupport::waitFor([&] { return exposure->value() == 3500.0; })) << exposure->value();
    EXPECT_TRUE(exposureAuto->isChecked());

    camera.StopGrabbing();
    panel.onNotifyCameraShutDown(&stub);
    panel.removeCamera(&stub);
}
