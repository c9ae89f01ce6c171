// Stream buffers: lock counting and the one trip home, pixel reads and format records.
#include <lorvish/StreamBuffer.h>

#include "DebugLogging.h"

#include <testsupport/LogCapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace Lorvish {

// Reaches the buffer's private pixel access.
struct StreamBufferTestAccess {
    static const void* pixelAddress(const StreamBuffer& buffer, unsigned x, unsigned y)
    {
        return buffer.getPixelAddress(x, y);
    }
    static bool rgb(const StreamBuffer& buffer, unsigned x, unsigned y, RGBEx* out) { return buffer.getRGB(x, y, out); }
};

} // namespace Lorvish

using Lorvish::RGBEx;
using Lorvish::StreamBuffer;
using Lorvish::StreamBufferTestAccess;

namespace {

Nimbo::EPixelType pixelType(uint32_t code)
{
    return static_cast<Nimbo::EPixelType>(code);
}

constexpr uint32_t kUndefined = 0xFFFFFFFFu;
constexpr uint32_t kMono8 = 0x01080001;
constexpr uint32_t kMono10 = 0x01100003;
constexpr uint32_t kMono12 = 0x01100005;
constexpr uint32_t kMono16 = 0x01100007;
constexpr uint32_t kBayerRG8 = 0x01080009;
constexpr uint32_t kBayerRG12 = 0x01100011;
constexpr uint32_t kRGB8 = 0x02180014;
constexpr uint32_t kBGR8 = 0x02180015;
constexpr uint32_t kRGB10 = 0x02300018;
constexpr uint32_t kBGR10 = 0x02300019;
constexpr uint32_t kRGB12 = 0x0230001A;
constexpr uint32_t kBGR12 = 0x0230001B;
constexpr uint32_t kMono12p = 0x010C0047;

// Counts the trips home of one buffer, in whichever thread they happen.
struct HomeCounter {
    explicit HomeCounter(StreamBuffer& buffer)
    {
        QObject::connect(
            &buffer, &StreamBuffer::backToHome, &buffer,
            [this, &buffer](StreamBuffer* sender) {
                EXPECT_EQ(sender, &buffer);
                ++count;
            },
            Qt::DirectConnection);
    }
    std::atomic<int> count{0};
};

// A buffer of the given type and size whose bytes are 0x00, 0x01, 0x02, ...
std::unique_ptr<StreamBuffer> patterned(uint32_t type, unsigned width, unsigned height, unsigned size)
{
    auto buffer = std::make_unique<StreamBuffer>(size, pixelType(type), width, height, 0, nullptr);
    for (unsigned i = 0; i < size; ++i)
        buffer->rawData()[i] = uint8_t(i);
    return buffer;
}

} // namespace

TEST(StreamBufferTest, ANewBufferHoldsAnImageAndNoLocks)
{
    auto* nodeMap = reinterpret_cast<GenApi::INodeMap*>(0x1000);
    StreamBuffer buffer(64, pixelType(kMono8), 8, 8, 3, nodeMap);
    EXPECT_EQ(buffer.size(), 64u);
    EXPECT_NE(buffer.rawData(), nullptr);
    EXPECT_EQ(buffer.generationCount(), 3u);
    EXPECT_EQ(buffer.paddingX(), 0u);
    EXPECT_EQ(buffer.lockCount(), 0);
    EXPECT_EQ(buffer.handle(), nullptr);
    EXPECT_EQ(buffer.nodeMap(), nodeMap);
    EXPECT_EQ(buffer.parent(), nullptr);
    EXPECT_TRUE(buffer.hasImage());
    EXPECT_FALSE(buffer.isChunked());
    EXPECT_FALSE(buffer.isTestBuffer());
    buffer.markAsTestBuffer();
    EXPECT_TRUE(buffer.isTestBuffer());
    EXPECT_FALSE(buffer.hasImage());

    EXPECT_EQ(buffer.setImageWidth(4), 8u);
    EXPECT_EQ(buffer.setImageHeight(2), 8u);
    EXPECT_EQ(buffer.setPaddingX(3), 0u);
    EXPECT_EQ(buffer.setPaddingX(1), 3u);
    EXPECT_EQ(buffer.setImageFormat(pixelType(kMono16)), pixelType(kMono8));
    EXPECT_EQ(buffer.imageWidth(), 4u);
    EXPECT_EQ(buffer.bitPerPixel(), 16u);

    buffer.memset(0xAB);
    for (unsigned i = 0; i < buffer.size(); ++i)
        ASSERT_EQ(buffer.rawData()[i], 0xAB) << i;
}

TEST(StreamBufferTest, TheLastUnlockSendsTheBufferHomeOnce)
{
    testsupport::LogCapture capture;
    lorvishtest::DebugLogging debug;
    StreamBuffer buffer(16, pixelType(kMono8), 4, 4, 0, nullptr);
    buffer.setHandle(reinterpret_cast<void*>(0xBEEF));
    HomeCounter home(buffer);
    buffer.lock();
    buffer.lock();
    buffer.unlock();
    EXPECT_EQ(home.count, 0);
    buffer.unlock();
    EXPECT_EQ(home.count, 1);
    EXPECT_EQ(capture.count("back to home : beef"), 1u);
}

TEST(StreamBufferTest, AnUnlockWithoutLockIsRefusedAndTheNextTripStillComesHome)
{
    testsupport::LogCapture capture;
    StreamBuffer buffer(16, pixelType(kMono8), 4, 4, 0, nullptr);
    HomeCounter home(buffer);
    buffer.unlock();
    buffer.unlock();
    EXPECT_EQ(buffer.lockCount(), 0);
    EXPECT_EQ(home.count, 0);
    EXPECT_EQ(capture.count("unlock without lock refused"), 2u);
    buffer.lock();
    buffer.unlock();
    EXPECT_EQ(home.count, 1);
}

TEST(StreamBufferTest, ConcurrentHoldersDoNotSendItHomeEarly)
{
    StreamBuffer buffer(16, pixelType(kMono8), 4, 4, 0, nullptr);
    HomeCounter home(buffer);
    buffer.lock(); // the grab thread's lock, held throughout
    std::vector<std::thread> holders;
    for (int t = 0; t < 8; ++t)
        holders.emplace_back([&buffer] {
            for (int i = 0; i < 20000; ++i) {
                buffer.lock();
                buffer.unlock();
            }
        });
    for (auto& holder : holders)
        holder.join();
    EXPECT_EQ(home.count, 0);
    EXPECT_EQ(buffer.lockCount(), 1);
    buffer.unlock();
    EXPECT_EQ(home.count, 1);
}

TEST(StreamBufferTest, ConcurrentLastUnlocksSendItHomeOncePerRound)
{
    StreamBuffer buffer(16, pixelType(kMono8), 4, 4, 0, nullptr);
    std::atomic<int> trips{0};
    std::atomic<int> wrongThread{0};
    const auto mainThread = std::this_thread::get_id();
    QObject::connect(
        &buffer, &StreamBuffer::backToHome, &buffer,
        [&](StreamBuffer*) {
            ++trips;
            if (std::this_thread::get_id() == mainThread)
                ++wrongThread;
        },
        Qt::DirectConnection);
    constexpr int kRounds = 200;
    constexpr int kHolders = 6;
    for (int round = 0; round < kRounds; ++round) {
        for (int h = 0; h < kHolders; ++h)
            buffer.lock();
        std::atomic<bool> go{false};
        std::vector<std::thread> holders;
        for (int h = 0; h < kHolders; ++h)
            holders.emplace_back([&] {
                while (!go.load())
                    std::this_thread::yield();
                buffer.unlock();
            });
        go = true;
        for (auto& holder : holders)
            holder.join();
        ASSERT_EQ(trips.load(), round + 1) << "round " << round;
    }
    EXPECT_EQ(wrongThread.load(), 0) << "the signal comes in the thread that let go last";
}

TEST(StreamBufferTest, LineBytesOfTheFormatRecord)
{
    const struct {
        uint32_t type;
        unsigned width;
        uint32_t lineBytes;
    } cases[] = {
        {kMono8, 5, 5},
        {kMono12, 5, 10},
        {kRGB8, 5, 15},
        {kRGB12, 3, 18},
        {kUndefined, 5, 0}, // no bits per pixel for the undefined type
        // Every packed type gives 0, whatever the width.
        {0x010A0046, 8, 0},
        {0x010C0004, 8, 0},
        {0x010C0006, 8, 0},
        {0x010C0047, 8, 0},
        {0x8101000C, 8, 0},
        {0x8102000D, 8, 0},
        {0x8104000E, 8, 0},
        {0x010A0052, 8, 0},
        {0x010A0054, 8, 0},
        {0x010A0056, 8, 0},
        {0x010A0058, 8, 0},
        {0x010C002A, 8, 0},
        {0x010C002B, 8, 0},
        {0x010C002C, 8, 0},
        {0x010C002D, 8, 0},
        {0x010C0053, 8, 0},
        {0x010C0055, 8, 0},
        {0x010C0057, 8, 0},
        {0x010C0059, 8, 0},
        {0x02240034, 8, 0},
        {0x0220001C, 8, 0},
        {0x0220001D, 8, 0},
    };
    auto* nodeMap = reinterpret_cast<GenApi::INodeMap*>(0x2000);
    for (const auto& c : cases) {
        StreamBuffer buffer(256, pixelType(c.type), c.width, 2, 0, nodeMap);
        Lorvish::SImageFormatEx format;
        StreamBuffer::SImageFormatExFromBuffer(format, buffer);
        EXPECT_EQ(format.width, c.width) << std::hex << c.type;
        EXPECT_EQ(format.height, 2u) << std::hex << c.type;
        EXPECT_EQ(format.pixelType, pixelType(c.type)) << std::hex << c.type;
        EXPECT_EQ(format.lineBytes, c.lineBytes) << std::hex << c.type;
        EXPECT_EQ(format.nodeMap, nodeMap);
        EXPECT_EQ(Lorvish::isPackedPixelType(pixelType(c.type)), c.lineBytes == 0 && c.type != kUndefined)
            << std::hex << c.type;
    }
    EXPECT_EQ(StreamBuffer(4, pixelType(kUndefined), 2, 2, 0, nullptr).bitPerPixel(), 0u);
}

TEST(StreamBufferTest, PixelReadsByType)
{
    // Each buffer is 3 x 2 pixels with bytes 0x00, 0x01, ...; the pixel read is (1, 1).
    const struct {
        const char* label;
        uint32_t type;
        bool addressed;
        bool rgb;
        RGBEx expected;
    } cases[] = {
        {"Mono8", kMono8, true, false, {}},
        {"BayerRG8", kBayerRG8, true, false, {}},
        {"BayerRG12", kBayerRG12, true, false, {}},
        {"RGB8", kRGB8, true, false, {}},
        {"BGR8", kBGR8, true, false, {}},
        {"Mono12p", kMono12p, false, false, {}},
        // 16-bit words at byte 8: 0x0908; RGB pixels at byte 24: 0x1918, 0x1B1A, 0x1D1C.
        {"Mono10", kMono10, true, true, {0x108, 0x108, 0x108}},
        {"Mono12", kMono12, true, true, {0x908, 0x908, 0x908}},
        {"Mono16", kMono16, true, true, {0x0908, 0x0908, 0x0908}},
        {"RGB10packed", kRGB10, true, true, {0x118, 0x31A, 0x11C}},
        {"BGR10packed", kBGR10, true, true, {0x11C, 0x31A, 0x118}},
        {"RGB12packed", kRGB12, true, true, {0x918, 0xB1A, 0xD1C}},
        {"BGR12packed", kBGR12, true, true, {0xD1C, 0xB1A, 0x918}},
    };
    for (const auto& c : cases) {
        auto buffer = patterned(c.type, 3, 2, 64);
        const void* address = StreamBufferTestAccess::pixelAddress(*buffer, 1, 1);
        EXPECT_EQ(address != nullptr, c.addressed) << c.label;
        if (address) {
            const size_t pixelBytes = buffer->bitPerPixel() / 8;
            EXPECT_EQ(static_cast<const uint8_t*>(address) - buffer->rawData(), ptrdiff_t(4 * pixelBytes)) << c.label;
        }
        RGBEx out(7, 7, 7);
        EXPECT_EQ(StreamBufferTestAccess::rgb(*buffer, 1, 1, &out), c.rgb) << c.label;
        const RGBEx expected = c.rgb ? c.expected : RGBEx(7, 7, 7);
        EXPECT_EQ(out.red, expected.red) << c.label;
        EXPECT_EQ(out.green, expected.green) << c.label;
        EXPECT_EQ(out.blue, expected.blue) << c.label;
        EXPECT_FALSE(StreamBufferTestAccess::rgb(*buffer, 0, 0, nullptr)) << c.label;
    }
}

TEST(StreamBufferTest, PixelAddressesHonourPaddingAndStayInsideTheBuffer)
{
    auto buffer = patterned(kMono16, 3, 2, 16);
    buffer->setPaddingX(2);
    // Lines are 3 * 2 + 2 = 8 bytes: (0, 1) starts at byte 8, (2, 1) at byte 12.
    EXPECT_EQ(StreamBufferTestAccess::pixelAddress(*buffer, 0, 1), buffer->rawData() + 8);
    EXPECT_EQ(StreamBufferTestAccess::pixelAddress(*buffer, 2, 1), buffer->rawData() + 12);
    RGBEx out;
    ASSERT_TRUE(StreamBufferTestAccess::rgb(*buffer, 0, 1, &out));
    EXPECT_EQ(out.red, 0x0908u);

    const struct {
        unsigned x;
        unsigned y;
    } outside[] = {{3, 0}, {0, 2}, {3, 2}, {~0u, 0}};
    for (const auto& p : outside)
        EXPECT_EQ(StreamBufferTestAccess::pixelAddress(*buffer, p.x, p.y), nullptr) << p.x << "," << p.y;

    // A buffer smaller than its format: the last line is cut short.
    auto small = patterned(kMono16, 3, 2, 10);
    EXPECT_NE(StreamBufferTestAccess::pixelAddress(*small, 1, 1), nullptr);
    EXPECT_EQ(StreamBufferTestAccess::pixelAddress(*small, 2, 1), nullptr);
    EXPECT_FALSE(StreamBufferTestAccess::rgb(*small, 2, 1, &out));
    auto smallRgb = patterned(kRGB12, 2, 1, 11);
    EXPECT_EQ(StreamBufferTestAccess::pixelAddress(*smallRgb, 1, 0), nullptr);
}
