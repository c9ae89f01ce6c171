// BMP and TIFF sequences: numbering, file contents read back by independent readers, the factory.
#include "BufferedImageSink.h"
#include "ImageSequenceMediaWriter.h"
#include "MediaWriterFactory.h"
#include "TestImageFiles.h"

#include "testsupport/Permissions.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QScopedPointer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// A Mono8 test frame whose pixel (x, y) is (x + 3y + seed) mod 256, with `padding` junk bytes per line.
std::vector<uint8_t> monoFrame(uint32_t width, uint32_t height, uint32_t padding, int seed)
{
    std::vector<uint8_t> frame((width + padding) * height, 0xEE);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            frame[y * (width + padding) + x] = uint8_t(x + 3 * y + seed);
    return frame;
}

std::vector<uint8_t> withoutPadding(const std::vector<uint8_t>& frame, uint32_t width, uint32_t height,
                                    uint32_t padding)
{
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < height; ++y)
        pixels.insert(pixels.end(), frame.begin() + y * (width + padding),
                      frame.begin() + y * (width + padding) + width);
    return pixels;
}

class ImageSequenceWriterTest : public testsupport::TempDirTest {
protected:
    GenICam::gcstring baseName() const { return (stdPath() + "/cam_20240101_120000000").c_str(); }
};

TEST_F(ImageSequenceWriterTest, TiffSequenceIsNumberedFromOneAndReadsBack)
{
    CTiffMediaWriter writer;
    EXPECT_FALSE(writer.isOpen());
    writer.open(baseName());
    EXPECT_TRUE(writer.isOpen());
    const uint32_t width = 37, height = 5, padding = 3; // odd sizes and padding catch stride mistakes
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(monoFrame(width, height, padding, 10 * i));
        writer.add(frames.back().data(), frames.back().size(), Nimbo::PixelType_Mono8, width, height, padding);
    }
    writer.close();
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(entries(), (QStringList{"cam_20240101_120000000_0001.tiff", "cam_20240101_120000000_0002.tiff",
                                      "cam_20240101_120000000_0003.tiff"}));
    EXPECT_EQ(writer.imageCount(), 3u);
    EXPECT_EQ(writer.bytesWritten(), 0u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        uint32_t w = 0, h = 0;
        const auto pixels = readTiff(writer.fileName(uint32_t(i + 1)), w, h);
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        EXPECT_EQ(pixels, withoutPadding(frames[size_t(i)], width, height, padding));
    }
}

TEST_F(ImageSequenceWriterTest, BmpSequenceReadsBackTopDown)
{
    CBitmapMediaWriter writer;
    writer.open(baseName());
    const uint32_t width = 13, height = 4, padding = 1;
    const auto frame = monoFrame(width, height, padding, 1);
    Nimbo::CNimboImage image;
    image.CopyBuffer(frame.data(), frame.size(), Nimbo::PixelType_Mono8, width, height, padding);
    writer.add(image);
    writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, width, height, padding);
    EXPECT_EQ(entries(), (QStringList{"cam_20240101_120000000_0001.bmp", "cam_20240101_120000000_0002.bmp"}));
    for (uint32_t number : {1u, 2u}) {
        const QImage read(QString::fromStdString(writer.fileName(number)), "BMP");
        ASSERT_FALSE(read.isNull());
        ASSERT_EQ(read.width(), int(width));
        ASSERT_EQ(read.height(), int(height));
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                ASSERT_EQ(qGray(read.pixel(int(x), int(y))), frame[y * (width + padding) + x]) << x << "," << y;
    }
}

TEST_F(ImageSequenceWriterTest, ReopeningGoesOnNumberingAndNumbersGrowPastFourDigits)
{
    CTiffMediaWriter writer;
    writer.open(baseName());
    const auto frame = monoFrame(4, 2, 0, 0);
    writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 4, 2, 0);
    writer.close();
    writer.open(baseName());
    writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 4, 2, 0);
    EXPECT_EQ(entries().size(), 2);
    EXPECT_TRUE(entries().contains("cam_20240101_120000000_0002.tiff"));
    EXPECT_EQ(writer.fileName(9999), std::string(baseName().c_str()) + "_9999.tiff");
    EXPECT_EQ(writer.fileName(10000), std::string(baseName().c_str()) + "_10000.tiff");
}

TEST_F(ImageSequenceWriterTest, SaveFailurePropagatesAsGenICamException)
{
    const auto frame = monoFrame(4, 2, 0, 0);
    const struct {
        const char* name;
        std::string folder;
        size_t size;
    } cases[] = {
        {"folder missing", stdPath() + "/missing/sub", frame.size()},
        {"buffer shorter than the frame", stdPath(), frame.size() - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CBitmapMediaWriter writer;
        writer.open((c.folder + "/cam").c_str());
        EXPECT_THROW(writer.add(frame.data(), c.size, Nimbo::PixelType_Mono8, 4, 2, 0), GenICam::GenericException);
        EXPECT_EQ(writer.imageCount(), 0u); // a file that could not be saved is no recorded frame
    }
}

// Through the sink, frames are written several at once; file n still holds the n-th frame pushed.
TEST_F(ImageSequenceWriterTest, SinkWritingSeveralFilesAtOnceKeepsFrameOrder)
{
    for (bool tiff : {true, false}) {
        SCOPED_TRACE(tiff ? "TIFF" : "BMP");
        std::unique_ptr<CImageSequenceMediaWriter> writer;
        if (tiff)
            writer = std::make_unique<CTiffMediaWriter>();
        else
            writer = std::make_unique<CBitmapMediaWriter>();
        writer->open((stdPath() + (tiff ? "/t" : "/b")).c_str());
        ASSERT_GT(writer->concurrentAdds(), 1u);
        const uint32_t width = 64, height = 48;
        const int frames = 40;
        {
            CBufferedImageSink sink(writer.get(), frames);
            for (int i = 1; i <= frames; ++i) {
                const auto frame = monoFrame(width, height, 0, i);
                ASSERT_TRUE(sink.push(frame.data(), frame.size(), Nimbo::PixelType_Mono8, width, height, 0));
            }
            ASSERT_TRUE(sink.waitUntilEmpty(std::chrono::seconds(60)));
            sink.stop();
        }
        EXPECT_EQ(writer->imageCount(), uint32_t(frames));
        for (uint32_t number = 1; number <= uint32_t(frames); ++number) {
            SCOPED_TRACE(number);
            uint8_t topLeft = 0;
            if (tiff) {
                uint32_t w = 0, h = 0;
                const auto pixels = readTiff(writer->fileName(number), w, h);
                ASSERT_EQ(pixels.size(), size_t(width) * height);
                topLeft = pixels[0];
            } else {
                const QImage read(QString::fromStdString(writer->fileName(number)), "BMP");
                ASSERT_FALSE(read.isNull());
                topLeft = uint8_t(qGray(read.pixel(0, 0)));
            }
            EXPECT_EQ(topLeft, uint8_t(number));
        }
    }
}

// Frames written at once finish in any order. One that cannot be written ends the sequence where it
// stands: frames after it that were written meanwhile are taken back, and they fail with its reason, so
// the folder holds an unbroken sequence that tools reading numbered images follow to its end.
TEST_F(ImageSequenceWriterTest, AFrameThatFailsEndsTheSequenceInOrder)
{
    CTiffMediaWriter writer;
    writer.open(baseName());
    // A folder in the way of the second file (not empty, so that nothing removes it).
    ASSERT_TRUE(QDir().mkpath(filePath("cam_20240101_120000000_0002.tiff/in the way")));
    const auto pixels = monoFrame(64, 48, 0, 0);
    Nimbo::CNimboImage image;
    image.CopyBuffer(pixels.data(), pixels.size(), Nimbo::PixelType_Mono8, 64, 48, 0);
    for (uint32_t number = 1; number <= 3; ++number)
        ASSERT_EQ(writer.claimPlace(), number);

    // The third frame is written first, while the others are still on their way.
    std::string third = "written";
    std::thread thirdWriter([&] {
        try {
            writer.addAt(image, 3);
        } catch (const GenICam::GenericException& e) {
            third = e.GetDescription();
        }
    });
    // The second frame meets the folder when it takes its number, after the first one.
    std::string second;
    std::thread secondWriter([&] {
        try {
            writer.addAt(image, 2);
        } catch (const GenICam::GenericException& e) {
            second = e.GetDescription();
        }
    });
    writer.addAt(image, 1);
    secondWriter.join();
    thirdWriter.join();

    EXPECT_NE(second.find("_0002.tiff"), std::string::npos) << second;
    EXPECT_EQ(third, second) << "the frame after the failed one";
    EXPECT_EQ(entries().join(' ').toStdString(), "cam_20240101_120000000_0001.tiff");
    EXPECT_EQ(writer.imageCount(), 1u);
    // Later frames are not written at all.
    const uint32_t fourth = writer.claimPlace();
    EXPECT_THROW(writer.addAt(image, fourth), GenICam::GenericException);
    EXPECT_EQ(entries().join(' ').toStdString(), "cam_20240101_120000000_0001.tiff");
}

// A recording killed at any moment leaves whole files numbered without a gap: a frame written while
// one before it is still on its way has no number in the folder yet, and a file gets its number only
// once it is whole. Here the second and third frames are written while the first has not come.
TEST_F(ImageSequenceWriterTest, FramesGetTheirNumbersInOrderOnceWhole)
{
    CBitmapMediaWriter writer;
    writer.open(baseName());
    const auto pixels = monoFrame(64, 48, 0, 0);
    Nimbo::CNimboImage image;
    image.CopyBuffer(pixels.data(), pixels.size(), Nimbo::PixelType_Mono8, 64, 48, 0);
    for (uint32_t number = 1; number <= 3; ++number)
        ASSERT_EQ(writer.claimPlace(), number);
    std::thread later([&] { writer.addAt(image, 3); });
    std::thread next([&] { writer.addAt(image, 2); });
    // Both written, in whatever form: what a program killed now leaves.
    const QDir folder(path());
    const auto written = [&] { return folder.entryList(QDir::Files | QDir::Hidden | QDir::System).size(); };
    const bool both = testsupport::waitFor([&] { return written() >= 2; });
    const QStringList numbered = entries({"*.bmp"});
    writer.addAt(image, 1);
    later.join();
    next.join();
    ASSERT_TRUE(both) << "the two frames were not written";
    EXPECT_TRUE(numbered.isEmpty()) << "numbered before the first frame: " << numbered.join(' ').toStdString();

    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden | QDir::System).join(' ').toStdString(),
              "cam_20240101_120000000_0001.bmp cam_20240101_120000000_0002.bmp cam_20240101_120000000_0003.bmp");
    EXPECT_EQ(writer.imageCount(), 3u);
    for (uint32_t number = 1; number <= 3; ++number)
        EXPECT_FALSE(QImage(QString::fromStdString(writer.fileName(number)), "BMP").isNull()) << number;
}

// A file at a frame's name that may not be written over (read-only, here for a writer without root's
// power over permissions) ends the sequence there and stays as it was; a writable one is written over.
TEST_F(ImageSequenceWriterTest, AReadOnlyFileAtAFramesNameEndsTheSequenceAndIsKept)
{
    const auto frame = monoFrame(8, 4, 0, 0);
    const auto stand = [&](const QString& name, QFileDevice::Permissions permissions) {
        QFile file(filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("kept");
        file.close();
        ASSERT_TRUE(file.setPermissions(permissions));
    };
    stand("cam_20240101_120000000_0001.bmp", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    stand("cam_20240101_120000000_0002.bmp", QFileDevice::ReadOwner);
    CBitmapMediaWriter writer;
    writer.open(baseName());
    testsupport::WithoutPowerOverPermissions guard;
    ASSERT_TRUE(guard.isActive());
    writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 8, 4, 0);
    try {
        writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 8, 4, 0);
        ADD_FAILURE() << "the read-only file was written over";
    } catch (const GenICam::GenericException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("_0002.bmp': Permission denied"), std::string::npos)
            << e.GetDescription();
    }
    EXPECT_THROW(writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 8, 4, 0), GenICam::GenericException);
    EXPECT_EQ(writer.imageCount(), 1u);
    EXPECT_EQ(QDir(path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString(),
              "cam_20240101_120000000_0001.bmp cam_20240101_120000000_0002.bmp");
    EXPECT_FALSE(QImage(QString::fromStdString(writer.fileName(1)), "BMP").isNull());
    QFile kept(QString::fromStdString(writer.fileName(2)));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("kept"));
}

// Through the sink and its writer threads: the recording reports the failure once, the folder holds
// the frames before the failed one, and the status counts every other frame as lost.
TEST_F(ImageSequenceWriterTest, SinkEndsTheSequenceInOrderAtTheFirstFailure)
{
    struct Callee : CBufferedImageSink::IWriteFrameFailedCallee {
        std::atomic<int> failures{0};
        void onFrameWriteFailed(const char*) override { ++failures; }
        void onFileLimitReached() override { ++failures; }
        void onCodecFatal(const char*) override { ++failures; }
    } callee;
    CTiffMediaWriter writer;
    writer.open(baseName());
    ASSERT_GT(writer.concurrentAdds(), 1u);
    ASSERT_TRUE(QDir().mkpath(filePath("cam_20240101_120000000_0002.tiff/in the way")));
    constexpr int kFrames = 12;
    const uint32_t width = 640, height = 480; // big enough to take a while each
    {
        CBufferedImageSink sink(&writer, kFrames);
        sink.setWriteFailedCallee(&callee);
        for (int i = 1; i <= kFrames; ++i) {
            const auto frame = monoFrame(width, height, 0, i);
            sink.push(frame.data(), frame.size(), Nimbo::PixelType_Mono8, width, height, 0);
        }
        ASSERT_TRUE(sink.waitUntilEmpty(std::chrono::seconds(60)));
        sink.stop();
        EXPECT_EQ(sink.recordedCount(), 1u);
        EXPECT_EQ(sink.lostCount() + sink.droppedCount(), uint64_t(kFrames - 1));
    }
    EXPECT_EQ(callee.failures.load(), 1);
    EXPECT_EQ(entries().join(' ').toStdString(), "cam_20240101_120000000_0001.tiff");
}

TEST(MediaWriterFactoryTest, VideoBitRate)
{
    const struct {
        uint32_t width, height;
        double fps;
        int32_t quality;
        int64_t expected;
    } cases[] = {
        {1920, 1080, 25.0, 85, 12337920},
        {640, 480, 30.0, 100, 2580480},
        // Beyond 32 bits: kept as a 64-bit value, not narrowed.
        {8192, 8192, 200.0, 100, 3758096384LL},
        {640, 480, 0.0, 100, 0},
        {640, 480, -25.0, 100, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.fps << " " << c.quality);
        EXPECT_EQ(videoBitRate(c.width, c.height, c.fps, c.quality), c.expected);
    }
}

TEST(MediaWriterFactoryTest, ImageSequenceWritersByImageType)
{
    CRecordingOptions options;
    options.OutputType = CRecordingOptions::OutputTypeImageSequence;
    const struct {
        int32_t outputType, imageType;
        const char* expected;
    } cases[] = {
        {CRecordingOptions::OutputTypeImageSequence, CRecordingOptions::ImageOutputTypeBmp, "bmp"},
        {CRecordingOptions::OutputTypeImageSequence, CRecordingOptions::ImageOutputTypeTiff, "tiff"},
        {CRecordingOptions::OutputTypeImageSequence, 2, nullptr},
        {CRecordingOptions::OutputTypeImageSequence, -1, nullptr},
        {3, CRecordingOptions::ImageOutputTypeTiff, nullptr},
        {-1, CRecordingOptions::ImageOutputTypeTiff, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.outputType << "/" << c.imageType);
        options.OutputType = c.outputType;
        options.ImageOutputType = c.imageType;
        std::unique_ptr<IMediaWriter> writer(createMediaWriter(options, Nimbo::PixelType_Mono8, 64, 48));
        if (!c.expected) {
            EXPECT_EQ(writer, nullptr);
            continue;
        }
        auto* sequence = dynamic_cast<CImageSequenceMediaWriter*>(writer.get());
        ASSERT_NE(sequence, nullptr);
        EXPECT_FALSE(sequence->isOpen()); // the factory opens nothing
        sequence->open("x");
        EXPECT_EQ(sequence->fileName(1), std::string("x_0001.") + c.expected);
    }
}

TEST(MediaWriterFactoryTest, LibavFolderFromEnvironmentElseProgramFolder)
{
    qputenv("LIBAV_LIB_ROOT", "/opt/libav");
    EXPECT_EQ(libavFolder(), "/opt/libav");
    qunsetenv("LIBAV_LIB_ROOT");
    EXPECT_EQ(libavFolder(), QCoreApplication::applicationDirPath());
}

} // namespace
