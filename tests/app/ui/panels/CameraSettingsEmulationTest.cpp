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
