// Exception printers, stock icons and the extension helpers without an extension plug-in beside the program.
#include "QtPrinters.h"

#include "orbelt/Helpers.h"

#include <GenICam/GenericException.h>
#include <testsupport/LogCapture.h>

#include <QSettings>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

TEST(ExceptionPrintersTest, GenICamExceptionsShowDescriptionFileAndLine)
{
    QString text;
    QDebug(&text) << GenICam::RuntimeException("Node 'Gain' not found", "NodeMap.cpp", 42);
    EXPECT_EQ(text, QStringLiteral("Exception occurred:\n Node 'Gain' not found \n NodeMap.cpp : 42 \n "));
}

TEST(ExceptionPrintersTest, StandardExceptionsShowWhat)
{
    QString text;
    QDebug(&text) << std::runtime_error("disk full");
    EXPECT_EQ(text, QStringLiteral("Exception occurred:\n disk full \n "));
    // The printer leaves the stream's own format alone.
    QString line;
    QDebug(&line).nospace() << "f"
                            << ": " << std::runtime_error("x") << "end";
    EXPECT_TRUE(line.startsWith(QStringLiteral("f: Exception occurred:"))) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral("end"))) << line.toStdString();
}

// The second warning line of a failure: the function, then the exception as the printers write it, one
// warning a kind; a foreign type has words of its own. Nested handling inside the catch block (a failing
// first line, as reading a node's name can) leaves the line to the exception the block caught.
TEST(ExceptionPrintersTest, WarnCurrentExceptionWritesTheLineOfEachKind)
{
    const GenICam::RuntimeException genicam("Node 'Gain' not found", "NodeMap.cpp", 42);
    const struct {
        const char* name;
        std::function<void()> thrower;
        std::string line;
    } cases[] = {
        {"GenICam", [&] { throw genicam; },
         "FeatureTree::poll: Exception occurred:\n Node 'Gain' not found \n NodeMap.cpp : 42 \n"},
        {"standard", [] { throw std::runtime_error("disk full"); },
         "FeatureTree::poll: Exception occurred:\n disk full \n"},
        {"foreign", [] { throw 7; }, "FeatureTree::poll: Unspecified exception occurred."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::LogCapture capture;
        try {
            c.thrower();
        } catch (...) {
            try {
                throw std::logic_error("no name");
            } catch (...) {
            }
            warnCurrentException("FeatureTree::poll");
        }
        const std::vector<testsupport::CapturedMessage> messages = capture.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].category, "warning");
        EXPECT_EQ(messages[0].text, c.line);
    }
}

TEST(StockImageTest, ImagesByValue)
{
    struct Case {
        int icon;
        int width, height;
        QSize size; // empty: a null pixmap
    } cases[] = {
        {5, 19, 19, QSize(19, 19)}, {4, 19, 19, QSize(19, 19)}, {2, 0, 0, QSize(16, 16)}, {3, 40, -1, QSize(16, 16)},
        {7, 0, 0, QSize(32, 32)},   {8, 10, 20, QSize(10, 20)}, {1, 19, 19, QSize()},     {6, 19, 19, QSize()},
        {9, 19, 19, QSize()},       {0, 19, 19, QSize()},
    };
    for (const Case& c : cases) {
        const QPixmap pixmap = getNimboStockImage(ENimboQtStockIcon(c.icon), c.width, c.height);
        if (c.size.isEmpty()) {
            EXPECT_TRUE(pixmap.isNull()) << c.icon;
        } else {
            ASSERT_FALSE(pixmap.isNull()) << c.icon;
            EXPECT_EQ(pixmap.size(), c.size) << c.icon;
        }
    }
}

TEST(ExtensionHelpersTest, TheConfiguredNameIsReturnedWhetherOrNotSuchAPluginExists)
{
    QSettings settings;
    settings.remove(g_magicExtensionPluginSettingsName);
    EXPECT_TRUE(getExtensionPluginName().isEmpty());
    settings.setValue(g_magicExtensionPluginSettingsName, QStringLiteral("FancyPlugin"));
    EXPECT_EQ(getExtensionPluginName(), QStringLiteral("FancyPlugin"));
    settings.setValue(g_magicExtensionPluginSettingsName, QString());
    EXPECT_TRUE(getExtensionPluginName().isEmpty());
}

// The only test of this program that asks the cached helpers, so that it sees them fresh.
TEST(ExtensionHelpersTest, NodeDebuggingFollowsTheSettingOnceAndIsCached)
{
    QSettings settings;
    settings.setValue(g_magicExtensionPluginSettingsName, QStringLiteral("FancyPlugin"));
    settings.setValue(g_NodemapDebugSwitchName, true);
    EXPECT_FALSE(isExtensionPluginAvailable());
    EXPECT_FALSE(amIQuennet());
    EXPECT_TRUE(isNodeDebugModeEnabled());
    settings.setValue(g_NodemapDebugSwitchName, false);
    EXPECT_TRUE(isNodeDebugModeEnabled());
}
