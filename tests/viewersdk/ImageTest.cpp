// Images: sharing, the buffer lock held for the image's life, bitmaps and the QImage view.
#include <lorvish/Image.h>
#include <lorvish/StreamBuffer.h>

#include <testsupport/LogCapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using Lorvish::Image;
using Lorvish::StreamBuffer;

namespace {

constexpr uint32_t kMono8 = 0x01080001;

Nimbo::EPixelType mono8()
{
    return static_cast<Nimbo::EPixelType>(kMono8);
}

// A buffer that counts its trips home and remembers the thread of the last one.
class CountedBuffer : public StreamBuffer {
public:
    CountedBuffer(unsigned width, unsigned height) : StreamBuffer(width * height, mono8(), width, height, 0, nullptr)
    {
        QObject::connect(
            this, &StreamBuffer::backToHome, this,
            [this](StreamBuffer*) {
                ++trips;
                lastThread = std::this_thread::get_id();
            },
            Qt::DirectConnection);
    }
    std::atomic<int> trips{0};
    std::thread::id lastThread;
};

} // namespace

TEST(ImageTest, AnEmptyImageIsNotValid)
{
    const Image image;
    EXPECT_FALSE(image.isValid());
    EXPECT_EQ(image.format(), Image::FormatInvalid);
    EXPECT_EQ(image.width(), 0u);
    EXPECT_EQ(image.height(), 0u);
    EXPECT_EQ(image.pixelData(), nullptr);
    EXPECT_EQ(image.streamBuffer(), nullptr);
    EXPECT_EQ(image.bitmap(), nullptr);
    EXPECT_TRUE(image.qImage().isNull());
}

TEST(ImageTest, LineOffsetsAndSizesWithoutABuffer)
{
    const struct {
        unsigned width;
        int mono;
        int colour;
    } cases[] = {{1, 4, 4}, {3, 4, 12}, {4, 4, 16}, {5, 8, 20}, {640, 640, 2560}};
    for (const auto& c : cases) {
        const Image mono(c.width, 3, Image::FormatMono8, nullptr);
        const Image colour(c.width, 3, Image::FormatRgb32, nullptr);
        EXPECT_FALSE(mono.isValid()) << "no bitmap is made without a buffer";
        EXPECT_FALSE(colour.isValid());
        EXPECT_EQ(mono.lineOffset(), c.mono) << c.width;
        EXPECT_EQ(colour.lineOffset(), c.colour) << c.width;
        EXPECT_EQ(mono.sizeBytes(), size_t(c.mono) * 3);
        EXPECT_EQ(colour.sizeBytes(), size_t(c.colour) * 3);
        EXPECT_EQ(colour.dimension(), QSize(int(c.width), 3));
        EXPECT_TRUE(mono.isMono());
        EXPECT_FALSE(colour.isMono());
    }
    EXPECT_EQ(Image::bitsPerPixel(Image::FormatMono8), 8);
    EXPECT_EQ(Image::bitsPerPixel(Image::FormatRgb32), 32);
    EXPECT_TRUE(Image::isMono(Image::FormatMono8));
    EXPECT_FALSE(Image::isMono(Image::FormatRgb32));
}

TEST(ImageTest, TheBufferStaysLockedUntilTheLastCopyGoes)
{
    CountedBuffer buffer(4, 2);
    {
        Image first(4, 2, Image::FormatRgb32, &buffer);
        EXPECT_TRUE(first.isValid());
        EXPECT_EQ(first.streamBuffer(), &buffer);
        EXPECT_EQ(buffer.lockCount(), 1);
        Image second = first;
        Image third;
        third = second;
        third = third;
        EXPECT_EQ(buffer.lockCount(), 1) << "copies share one lock";
        EXPECT_EQ(third.pixelData(), first.pixelData());
        first = Image();
        second = Image();
        EXPECT_EQ(buffer.trips, 0);
    }
    EXPECT_EQ(buffer.lockCount(), 0);
    EXPECT_EQ(buffer.trips, 1);
}

TEST(ImageTest, TheLastCopyReleasedInAnotherThreadSendsTheBufferHomeThere)
{
    CountedBuffer buffer(8, 8);
    auto* image = new Image(8, 8, Image::FormatMono8, &buffer);
    auto* copy = new Image(*image);
    delete image; // the copy is now the last one
    std::thread::id releaser;
    std::thread worker([&releaser, copy] {
        releaser = std::this_thread::get_id();
        delete copy;
    });
    worker.join();
    EXPECT_EQ(buffer.trips, 1);
    EXPECT_EQ(buffer.lastThread, releaser);
}

TEST(ImageTest, CopiesMadeAndDroppedInManyThreadsReleaseTheBufferOnce)
{
    CountedBuffer buffer(8, 8);
    auto* original = new Image(8, 8, Image::FormatRgb32, &buffer);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([original] {
            for (int i = 0; i < 5000; ++i) {
                Image copy = *original;
                Image other;
                other = copy;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(buffer.lockCount(), 1);
    EXPECT_EQ(buffer.trips, 0);
    delete original;
    EXPECT_EQ(buffer.trips, 1);
}

TEST(ImageTest, TestBuffersAndFailedBitmapsGiveInvalidImagesThatStillLock)
{
    CountedBuffer test(4, 4);
    test.markAsTestBuffer();
    {
        const Image image(4, 4, Image::FormatRgb32, &test);
        EXPECT_FALSE(image.isValid());
        EXPECT_EQ(test.lockCount(), 1);
    }
    EXPECT_EQ(test.trips, 1);

    testsupport::LogCapture capture;
    CountedBuffer buffer(4, 4);
    {
        const Image image(0, 4, Image::FormatRgb32, &buffer);
        EXPECT_FALSE(image.isValid());
        EXPECT_EQ(image.pixelData(), nullptr);
        EXPECT_TRUE(image.qImage().isNull());
    }
    EXPECT_TRUE(capture.contains("Failed to create a DIBSection. GetLastError="));
    EXPECT_EQ(buffer.trips, 1);
}

TEST(ImageTest, ImageFromBufferTakesTheBufferSize)
{
    CountedBuffer buffer(6, 3);
    EXPECT_FALSE(Image::ImageFromBuffer(Image::FormatMono8, nullptr).isValid());
    EXPECT_FALSE(Image::ImageFromBuffer(Image::FormatInvalid, &buffer).isValid());
    EXPECT_EQ(buffer.lockCount(), 0) << "no image, no lock";
    const Image image = Image::ImageFromBuffer(Image::FormatMono8, &buffer);
    EXPECT_TRUE(image.isValid());
    EXPECT_EQ(image.dimension(), QSize(6, 3));
    EXPECT_EQ(image.lineOffset(), 8);
    EXPECT_EQ(buffer.lockCount(), 1);
}

TEST(ImageTest, QImageIsAViewOverTheBitmap)
{
    CountedBuffer buffer(3, 2);
    const Image mono(3, 2, Image::FormatMono8, &buffer);
    const QImage grey = mono.qImage();
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.format(), QImage::Format_Indexed8);
    EXPECT_EQ(grey.size(), QSize(3, 2));
    EXPECT_EQ(grey.bytesPerLine(), mono.lineOffset());
    EXPECT_EQ(grey.constBits(), mono.pixelData()) << "no copy";
    ASSERT_EQ(grey.colorCount(), 256);
    for (int i : {0, 1, 128, 255})
        EXPECT_EQ(grey.color(i), qRgba(i, i, i, 0xFF));
    mono.pixelData()[mono.lineOffset() + 2] = 200;
    EXPECT_EQ(mono.qImage().pixel(2, 1), qRgb(200, 200, 200));

    const Image colour(3, 2, Image::FormatRgb32, &buffer);
    const QImage rgb = colour.qImage();
    EXPECT_EQ(rgb.format(), QImage::Format_RGB32);
    EXPECT_EQ(rgb.constBits(), colour.pixelData());
    reinterpret_cast<uint32_t*>(colour.pixelData())[1] = 0x00102030; // blue, green, red, unused in memory
    EXPECT_EQ(colour.qImage().pixel(1, 0), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(colour.bitmap()->header.biHeight, -2) << "top-down";
}
