// The extension helpers with a "QuennetPlugin" beside the program.
#include "orbelt/Helpers.h"

#include <QSettings>

#include <gtest/gtest.h>

TEST(QuennetTest, WithoutASettingTheQuennetPluginIsTheExtensionAndNodeDebuggingIsOn)
{
    QSettings settings;
    settings.remove(g_magicExtensionPluginSettingsName);
    settings.remove(g_NodemapDebugSwitchName);
    EXPECT_EQ(getExtensionPluginName(), QStringLiteral("QuennetPlugin"));
    const bool available = isExtensionPluginAvailable();
    const bool quennet = amIQuennet();
    const bool debug = isNodeDebugModeEnabled();
    EXPECT_TRUE(available);
    EXPECT_TRUE(quennet);
    EXPECT_TRUE(debug);
    // Later settings do not change the cached answers.
    settings.setValue(g_magicExtensionPluginSettingsName, QString());
    EXPECT_EQ(isExtensionPluginAvailable(), available);
    EXPECT_EQ(amIQuennet(), quennet);
    EXPECT_EQ(isNodeDebugModeEnabled(), debug);
}

TEST(QuennetTest, AnEmptySettingChoosesNoExtensionEvenWithQuennetPresent)
{
    QSettings settings;
    settings.setValue(g_magicExtensionPluginSettingsName, QString());
    EXPECT_TRUE(getExtensionPluginName().isEmpty());
    settings.setValue(g_magicExtensionPluginSettingsName, QStringLiteral("OtherPlugin"));
    EXPECT_EQ(getExtensionPluginName(), QStringLiteral("OtherPlugin"));
}
