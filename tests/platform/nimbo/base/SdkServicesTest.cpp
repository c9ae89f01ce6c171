// The safe node pointer and the real-time thread priority calls.
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace Nimbo;

TEST(SafeNodePtrTest, EmptiesItselfWhenTheNodeMapGoes)
{
    ASSERT_TRUE(Emulation::Configure("usb:vxUsb1920m:31"));
    DeviceInfoList list;
    CTlFactory::GetInstance().EnumerateDevices(list);
    ASSERT_EQ(list.size(), 1u);
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(list[0]);
    CSafeNodeMapPtr map = device->GetNodeMap();
    CSafeIntegerPtr width = map->GetNode("Width");
    CSafeIntegerPtr copy = width;
    CSafeIntegerPtr reassigned;
    reassigned = copy;
    CSafeFloatPtr wrongType = map->GetNode("Width"); // an integer is no float
    ASSERT_TRUE(map && width && copy && reassigned);
    EXPECT_FALSE(wrongType);
    EXPECT_EQ(width->GetValue(), 1920);

    CTlFactory::GetInstance().DestroyDevice(device);
    EXPECT_FALSE(map);
    EXPECT_FALSE(width);
    EXPECT_FALSE(copy);
    EXPECT_FALSE(reassigned);
    try {
        width->GetValue();
        FAIL() << "an empty safe pointer was dereferenced";
    } catch (const GenICam::LogicalErrorException& e) {
        EXPECT_STREQ(e.GetDescription(), "NULL pointer dereferenced");
    }
    EXPECT_THROW(map->GetNode("Width"), GenICam::LogicalErrorException);
}

TEST(ThreadPriorityTest, RealTimePriorityIsSetOrRefusedWithAReason)
{
    int minPriority = 0, maxPriority = 0;
    GetRTThreadPriorityCapabilities(minPriority, maxPriority);
    EXPECT_GE(minPriority, 1);
    EXPECT_GT(maxPriority, minPriority);
    std::thread worker([=] {
        EXPECT_THROW(SetRTThreadPriority(maxPriority + 1), GenICam::OutOfRangeException);
        try {
            SetRTThreadPriority(minPriority);
            EXPECT_EQ(GetRTThreadPriority(), minPriority);
        } catch (const GenICam::RuntimeException& e) {
            // Without the right to real-time scheduling: reported, the thread goes on as before.
            EXPECT_NE(std::strstr(e.GetDescription(), "Cannot set real-time priority"), nullptr);
            EXPECT_EQ(GetRTThreadPriority(), 0);
        }
    });
    worker.join();
}
