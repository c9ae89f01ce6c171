// Device and transport-layer infos as property bags, the version text and the trace calls.
#include <nimbo/NimboIncludes.h>

#include <testsupport/LogCapture.h>

#include <gtest/gtest.h>
#include <log4cpp/Category.hh>
#include <log4cpp/Priority.hh>

#include <string>

using namespace Nimbo;

TEST(DeviceInfoTest, NamedAccessorsAndPropertiesByNameAreTheSameStore)
{
    CDeviceInfo info;
    EXPECT_FALSE(info.IsFullNameAvailable());
    EXPECT_EQ(info.GetFullName(), "");
    String_t value = "untouched";
    EXPECT_FALSE(info.GetPropertyValue("FullName", value));
    EXPECT_EQ(value, "untouched");

    info.SetFullName("usb#1").SetFriendlyName("qvCam (1)").SetDeviceClass("VelmarUsb");
    info.SetPropertyValue("ModelName", "qvCam");
    EXPECT_TRUE(info.GetPropertyValue("FullName", value));
    EXPECT_EQ(value, "usb#1");
    EXPECT_EQ(info.GetModelName(), "qvCam");
    EXPECT_TRUE(info.IsModelNameAvailable());
    EXPECT_FALSE(info.IsSerialNumberAvailable());

    // An empty value is still a present property.
    info.SetSerialNumber("");
    EXPECT_TRUE(info.IsSerialNumberAvailable());
    EXPECT_TRUE(info.GetPropertyValue("SerialNumber", value));
    EXPECT_EQ(value, "");

    StringList_t names{"kept"};
    EXPECT_EQ(info.GetPropertyNames(names), 5u);
    EXPECT_EQ(names, (StringList_t{"kept", "DeviceClass", "FriendlyName", "FullName", "ModelName", "SerialNumber"}));
}

TEST(DeviceInfoTest, CopiesAreIndependent)
{
    CDeviceInfo a;
    a.SetFullName("x").SetAddress("192.168.0.2");
    DeviceInfoList list{a, a};
    list[1].SetAddress("10.0.0.1");
    EXPECT_EQ(list[0].GetAddress(), "192.168.0.2");
    EXPECT_EQ(a, list[0]);
    EXPECT_NE(a, list[1]);

    CTlInfo tl;
    tl.SetDeviceClass("VelmarGigE");
    TlInfoList tls{tl};
    EXPECT_EQ(tls[0].GetDeviceClass(), "VelmarGigE");
}

TEST(NimboVersionTest, VersionTextHasFourNumbers)
{
    const std::string text = GetNimboVersionString();
    int dots = 0;
    for (char c : text) {
        EXPECT_TRUE((c >= '0' && c <= '9') || c == '.') << text;
        dots += c == '.';
    }
    EXPECT_EQ(dots, 3) << text;
    unsigned major = 99, build = 99;
    GetNimboVersion(&major, nullptr, nullptr, &build);
    EXPECT_EQ(std::to_string(major) + ".", std::string(GetNimboVersionString()).substr(0, 2));
}

TEST(MivtraceTest, CategoriesAreStableAndNamed)
{
    const Mivtrace::CatID a = Mivtrace::LogGetCatID("Tesvar.Base");
    EXPECT_NE(a, 0u);
    EXPECT_EQ(Mivtrace::LogGetCatID("Tesvar.Base"), a);
    EXPECT_NE(Mivtrace::LogGetCatID("Tesvar.Other"), a);
    EXPECT_EQ(Mivtrace::LogGetCatID(""), 0u);
    EXPECT_EQ(Mivtrace::LogGetCatID(nullptr), 0u);
}

TEST(MivtraceTest, LevelsMapToPrioritiesAndTextIsFormatted)
{
    testsupport::LogCapture capture;
    const Mivtrace::CatID cat = Mivtrace::LogGetCatID("Tesvar.Base");
    // Debug lines pass only where the category lets them through, as configured by the program.
    log4cpp::Category& category = log4cpp::Category::getInstance("Tesvar.Base");
    const log4cpp::Priority::Value previous = category.getPriority();
    category.setPriority(log4cpp::Priority::DEBUG);
    struct Case {
        unsigned level;
        int priority;
    };
    const Case cases[] = {{1, log4cpp::Priority::DEBUG},   {32, log4cpp::Priority::INFO},
                          {100, log4cpp::Priority::INFO},  {256, log4cpp::Priority::WARN},
                          {512, log4cpp::Priority::ERROR}, {4096, log4cpp::Priority::ERROR}};
    for (const Case& c : cases) {
        capture.clear();
        Mivtrace::LogTrace(cat, c.level, "shot on \"%s\" %d%%", "cam", 7);
        const auto messages = capture.messages();
        ASSERT_EQ(messages.size(), 1u) << "level " << c.level;
        EXPECT_EQ(messages[0].category, "Tesvar.Base");
        EXPECT_EQ(messages[0].priority, c.priority) << "level " << c.level;
        EXPECT_EQ(messages[0].text, "shot on \"cam\" 7%");
    }
    capture.clear();
    Mivtrace::LogTrace(0, 512, "dropped");
    Mivtrace::LogTrace(12345, 512, "dropped");
    EXPECT_FALSE(capture.contains("dropped"));
    category.setPriority(log4cpp::Priority::ERROR);
    Mivtrace::LogTrace(cat, 32, "filtered");
    EXPECT_FALSE(capture.contains("filtered"));
    category.setPriority(previous);
}
