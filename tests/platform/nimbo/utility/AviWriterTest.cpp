// AVI files checked with ffprobe (frame count, size, codec) and ffmpeg (decoded pixels).
#include <nimbo/AviWriter.h>

#include <GenICam/GenericException.h>
#include <testsupport/FileSizeLimit.h>
#include <testsupport/TempDir.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <dlfcn.h>
#include <sys/uio.h>

#include <atomic>
#include <cerrno>
#include <vector>

using namespace Nimbo;

namespace {

// While set, the system refuses writes at the start of a file: the headers' rewrite meets a disk
// that is full for it (a copy-on-write file system writes nothing in place without new room).
std::atomic<bool> g_headersRefused{false};

} // namespace

// The system's own call, standing in front of it for the writer's writes.
extern "C" ssize_t pwritev(int fd, const iovec* vectors, int count, off_t offset)
{
    using System = ssize_t (*)(int, const iovec*, int, off_t);
    static const auto system = reinterpret_cast<System>(dlsym(RTLD_NEXT, "pwritev"));
    if (offset == 0 && g_headersRefused) {
        errno = ENOSPC;
        return -1;
    }
    return system(fd, vectors, count, offset);
}

namespace {

class AviWriterTest : public testsupport::TempDirTest {
protected:
    // Output of a tool run without a shell; empty when it fails.
    static QByteArray run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return {};
        return process.readAllStandardOutput();
    }

    // "codec,width,height,frames" as ffprobe counts them by decoding.
    static QString probe(const std::string& file)
    {
        return QString::fromUtf8(run("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                                 "-show_entries", "stream=codec_name,width,height,nb_read_frames",
                                                 "-of", "csv=p=0", QString::fromStdString(file)}))
            .trimmed();
    }

    // Frame `index` decoded to packed RGB by ffmpeg.
    static QByteArray decodeRgb(const std::string& file, int index)
    {
        return run("ffmpeg",
                   {"-v", "error", "-i", QString::fromStdString(file), "-vf", QString("select=eq(n\\,%1)").arg(index),
                    "-vframes", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    }

    // What a file's header and index say, beside what the file holds.
    struct Layout {
        bool valid = false;
        uint64_t fileBytes = 0;
        uint32_t riffBytes = 0;    // the RIFF chunk's size field
        uint32_t flags = 0;        // the main header's flags
        uint32_t totalFrames = 0;  // the main header's frame count
        uint32_t streamFrames = 0; // the stream header's length
        uint32_t moviBytes = 0;    // the 'movi' list's size field
        uint64_t moviEnd = 0;      // where that size ends the list
        uint32_t chunksInMovi = 0; // frame chunks within it
        bool hasIndex = false;     // an 'idx1' chunk right after the list, within the RIFF chunk
        uint32_t indexEntries = 0;
    };

    static Layout layout(const std::string& file)
    {
        Layout result;
        QFile avi(QString::fromStdString(file));
        if (!avi.open(QIODevice::ReadOnly))
            return result;
        const QByteArray bytes = avi.readAll();
        auto u32 = [&](int at) {
            return at + 4 <= bytes.size() ? *reinterpret_cast<const uint32_t*>(bytes.constData() + at) : 0u;
        };
        const int strh = bytes.indexOf("strh");
        const int movi = bytes.indexOf("movi");
        if (!bytes.startsWith("RIFF") || strh < 0 || movi < 8)
            return result;
        result.valid = true;
        result.fileBytes = uint64_t(bytes.size());
        result.riffBytes = u32(4);
        result.flags = u32(32 + 12);
        result.totalFrames = u32(32 + 16);
        result.streamFrames = u32(strh + 8 + 32);
        result.moviBytes = u32(movi - 4);
        result.moviEnd = uint64_t(movi) + result.moviBytes;
        for (uint64_t at = uint64_t(movi) + 4; at + 8 <= result.moviEnd && at + 8 <= result.fileBytes;) {
            const uint32_t size = u32(int(at) + 4);
            ++result.chunksInMovi;
            at += 8 + size + (size & 1);
        }
        if (result.moviEnd + 8 <= result.fileBytes && bytes.mid(int(result.moviEnd), 4) == "idx1" &&
            result.moviEnd + 8 + u32(int(result.moviEnd) + 4) <= uint64_t(result.riffBytes) + 8) {
            result.hasIndex = true;
            result.indexEntries = u32(int(result.moviEnd) + 4) / 16;
        }
        return result;
    }

    // Frames and duration as ffprobe reads them; "error" when it cannot.
    static QStringList framesAndDuration(const std::string& file)
    {
        return QString::fromUtf8(
                   run("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                   "stream=nb_read_frames,duration", "-of", "csv=p=0", QString::fromStdString(file)}))
            .trimmed()
            .split(',');
    }

    // A file that tells the truth about the `frames` complete frames it holds: the header's sizes and
    // counts, the index when there is one, and what ffprobe reads.
    static void expectTrueFor(const std::string& file, uint32_t frames, double framesPerSecond, bool index)
    {
        const Layout file_ = layout(file);
        ASSERT_TRUE(file_.valid);
        EXPECT_EQ(uint64_t(file_.riffBytes) + 8, file_.fileBytes) << "the RIFF size";
        EXPECT_EQ(file_.totalFrames, frames) << "the main header's frame count";
        EXPECT_EQ(file_.streamFrames, frames) << "the stream header's length";
        EXPECT_EQ(file_.chunksInMovi, frames) << "frames within the 'movi' list";
        EXPECT_EQ(file_.hasIndex, index);
        EXPECT_EQ((file_.flags & 0x10) != 0, file_.hasIndex) << "the has-index flag";
        if (file_.hasIndex) {
            EXPECT_EQ(file_.indexEntries, frames);
            EXPECT_EQ(file_.moviEnd + 8 + 16 * uint64_t(frames), file_.fileBytes);
        } else {
            EXPECT_EQ(file_.moviEnd, file_.fileBytes);
        }
        const QStringList read = framesAndDuration(file);
        ASSERT_EQ(read.size(), 2) << read.join(',').toStdString();
        EXPECT_EQ(read[1].toUInt(), frames) << "frames ffprobe reads";
        EXPECT_NEAR(read[0].toDouble(), frames / framesPerSecond, 1e-3) << "the duration ffprobe reads";
    }

    // A 6x4 BGR8 frame whose colour depends on position and frame number.
    static std::vector<uint8_t> frame(int n)
    {
        std::vector<uint8_t> data;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                data.push_back(uint8_t(20 * x + n));   // blue
                data.push_back(uint8_t(50 * y));       // green
                data.push_back(uint8_t(250 - 10 * n)); // red
            }
        return data;
    }
};

} // namespace

TEST_F(AviWriterTest, UncompressedFilesOfEveryStoredTypeDecodeWithTheirPixels)
{
    for (EPixelType stored : {PixelType_BGR8packed, PixelType_BGRA8packed, PixelType_Mono8}) {
        for (EImageOrientation orientation : {ImageOrientation_BottomUp, ImageOrientation_TopDown}) {
            SCOPED_TRACE(testing::Message() << stored << " orientation " << orientation);
            const std::string file = stdFilePath(QString("u%1_%2.avi").arg(int(stored)).arg(int(orientation)));
            CAviWriter writer;
            writer.Open(file, 25.0, stored, 6, 4, orientation);
            ASSERT_TRUE(writer.IsOpen());
            for (int n = 0; n < 7; ++n) {
                const auto pixels = frame(n);
                writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0, ImageOrientation_TopDown,
                           KeyFrameSelection_Auto);
            }
            EXPECT_EQ(writer.GetCountOfAddedImages(), 7u);
            // DIB lines are padded to whole 4-byte words: 8, 20 and 24 bytes here.
            const uint64_t lineBytes = (6 * BitPerPixel(stored) / 8 + 3) / 4 * 4;
            EXPECT_EQ(writer.GetImageDataBytesWritten(), 7 * 4 * lineBytes);
            writer.Close();
            EXPECT_FALSE(writer.IsOpen());

            const QStringList fields = probe(file).split(',');
            ASSERT_EQ(fields.size(), 4) << probe(file).toStdString();
            EXPECT_EQ(fields[1], "6");
            EXPECT_EQ(fields[2], "4");
            EXPECT_EQ(fields[3], "7");

            const QByteArray rgb = decodeRgb(file, 3);
            ASSERT_EQ(rgb.size(), 6 * 4 * 3);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 6; ++x) {
                    const auto* p = reinterpret_cast<const uint8_t*>(rgb.constData()) + (y * 6 + x) * 3;
                    if (stored == PixelType_Mono8) {
                        const double grey = 0.299 * (250 - 30) + 0.587 * (50 * y) + 0.114 * (20 * x + 3);
                        EXPECT_NEAR(p[0], grey, 1.5) << x << "," << y;
                    } else {
                        EXPECT_EQ(p[0], 250 - 30) << x << "," << y;
                        EXPECT_EQ(p[1], 50 * y) << x << "," << y;
                        EXPECT_EQ(p[2], 20 * x + 3) << x << "," << y;
                    }
                }
        }
    }
}

TEST_F(AviWriterTest, MotionJpegFilesCountTheirFrames)
{
    SAviCompressionOptions options;
    options.compressionOptions.fccType = AviFourCC('v', 'i', 'd', 's');
    options.compressionOptions.fccHandler = AviFourCC('M', 'J', 'P', 'G');
    options.compressionOptions.dwQuality = 9500;
    const std::string file = stdFilePath("m.avi");
    CAviWriter writer;
    writer.Open(file, 29.97, PixelType_BGR8packed, 6, 4, ImageOrientation_BottomUp, &options);
    EXPECT_FALSE(writer.CanAddWithoutConversion(PixelType_BGR8packed, 6, 4, 0, ImageOrientation_BottomUp));
    // Frames of other types are converted on the way: Bayer, and images.
    std::vector<uint8_t> bayer(6 * 4, 128);
    for (int n = 0; n < 12; ++n)
        writer.Add(bayer.data(), bayer.size(), PixelType_BayerRG8, 6, 4, 0);
    CNimboImage image;
    const auto pixels = frame(0);
    image.CopyBuffer(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
    writer.Add(image);
    writer.Close();
    EXPECT_EQ(probe(file), "mjpeg,6,4,13");
    // A uniform grey frame survives compression almost exactly; the colour frame within chroma subsampling.
    const QByteArray grey = decodeRgb(file, 0);
    ASSERT_EQ(grey.size(), 6 * 4 * 3);
    for (char c : grey)
        EXPECT_NEAR(uint8_t(c), 128, 3);
    const QByteArray rgb = decodeRgb(file, 12);
    ASSERT_EQ(rgb.size(), 6 * 4 * 3);
    EXPECT_NEAR(uint8_t(rgb[0]), 250, 25);
    const QByteArray rate = run("ffprobe", {"-v", "error", "-show_entries", "stream=r_frame_rate", "-of", "csv=p=0",
                                            QString::fromStdString(file)});
    EXPECT_EQ(rate.trimmed(), "2997/100"); // 299700 over 10000, reduced
}

TEST_F(AviWriterTest, FramesInTheStoredLayoutAreWrittenAsTheyAre)
{
    // BGRA8 bottom-up lines are DIB lines already.
    const std::string file = stdFilePath("raw.avi");
    CAviWriter writer;
    writer.Open(file, 10.0, PixelType_BGRA8packed, 2, 2, ImageOrientation_BottomUp);
    const std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_TRUE(writer.CanAddWithoutConversion(PixelType_BGRA8packed, 2, 2, 0, ImageOrientation_BottomUp));
    EXPECT_FALSE(writer.CanAddWithoutConversion(PixelType_BGRA8packed, 2, 2, 0, ImageOrientation_TopDown));
    writer.Add(pixels.data(), pixels.size(), PixelType_BGRA8packed, 2, 2, 0, ImageOrientation_BottomUp);
    writer.Close();
    QFile avi(QString::fromStdString(file));
    ASSERT_TRUE(avi.open(QIODevice::ReadOnly));
    const QByteArray bytes = avi.readAll();
    const int chunk = bytes.indexOf("00db");
    ASSERT_GT(chunk, 0);
    EXPECT_EQ(bytes.mid(chunk + 8, 16), QByteArray(reinterpret_cast<const char*>(pixels.data()), 16));
    EXPECT_TRUE(bytes.startsWith("RIFF"));
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(bytes.constData() + 4), uint32_t(bytes.size() - 8));
}

TEST_F(AviWriterTest, MisuseIsRefused)
{
    CAviWriter writer;
    const std::vector<uint8_t> pixels(6 * 4 * 3);
    EXPECT_THROW(writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0), GenICam::RuntimeException);
    EXPECT_THROW(writer.Open(stdFilePath("a.avi"), 25, PixelType_BayerRG8, 6, 4), GenICam::InvalidArgumentException);
    EXPECT_THROW(writer.Open(stdFilePath("a.avi"), 0.0, PixelType_Mono8, 6, 4), GenICam::InvalidArgumentException);
    EXPECT_THROW(writer.Open(stdFilePath("a.avi"), 25, PixelType_Mono8, 0, 4), GenICam::InvalidArgumentException);
    EXPECT_THROW(writer.Open(stdFilePath("no/such/dir/a.avi"), 25, PixelType_Mono8, 6, 4), AviWriterFatalException);
    EXPECT_FALSE(writer.IsOpen());

    writer.Open(stdFilePath("b.avi"), 25, PixelType_Mono8, 6, 4);
    EXPECT_THROW(writer.Open(stdFilePath("c.avi"), 25, PixelType_Mono8, 6, 4), GenICam::InvalidArgumentException);
    EXPECT_THROW(writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 5, 0),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(writer.Add(pixels.data(), pixels.size() - 1, PixelType_BGR8packed, 6, 4, 0),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(writer.Add(nullptr, pixels.size(), PixelType_BGR8packed, 6, 4, 0), GenICam::InvalidArgumentException);
    EXPECT_EQ(writer.GetCountOfAddedImages(), 0u);
    // An empty file is still a valid AVI, closed again by the destructor if need be.
    writer.Close();
    writer.Close();
    EXPECT_TRUE(probe(stdFilePath("b.avi")).startsWith("rawvideo,6,4,")) << probe(stdFilePath("b.avi")).toStdString();
}

// The disk fills: a frame that cannot be written and a file that cannot be completed fail with the
// system's reason, as failures to write, not as the codec's.
TEST_F(AviWriterTest, AFullDiskIsAWriteFailureWithItsReason)
{
    const auto pixels = frame(0);
    for (const bool atClose : {false, true}) {
        SCOPED_TRACE(atClose ? "at close" : "frame");
        const std::string file = stdFilePath(atClose ? "close.avi" : "frame.avi");
        CAviWriter writer;
        writer.Open(file, 25, PixelType_BGR8packed, 6, 4);
        writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
        std::string failure;
        {
            testsupport::FileSizeLimit full(uint64_t(QFileInfo(QString::fromStdString(file)).size()));
            ASSERT_TRUE(full.isActive());
            try {
                if (atClose)
                    writer.Close();
                else // frames are written in blocks: enough of them for one block to reach the disk
                    for (int i = 0; i < 1000; ++i)
                        writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
                ADD_FAILURE() << "no failure";
            } catch (const AviWriterFatalException& e) {
                ADD_FAILURE() << "told as the codec's failure: " << e.GetDescription();
            } catch (const GenICam::RuntimeException& e) {
                failure = e.GetDescription();
            }
        }
        EXPECT_NE(failure.find(atClose ? "cannot complete the file: File too large" : ": File too large"),
                  std::string::npos)
            << failure;
        EXPECT_FALSE(writer.IsOpen());
    }
}

// A disk that fills during the recording or at its close leaves a file that says what it holds: the
// frames written whole, counted in both headers and in the sizes, with their index where the disk
// still had room for it (a frame cut short gives its room back), without one where it had none.
TEST_F(AviWriterTest, AFileCutShortByAFullDiskSaysWhatItHolds)
{
    constexpr uint32_t kSide = 64; // Mono8 frames of 4096 bytes, chunks of 4104
    constexpr uint64_t kChunk = 8 + kSide * kSide;
    constexpr int kBefore = 5;
    const std::vector<uint8_t> pixels(kSide * kSide, 90);
    const struct {
        const char* name;
        bool atClose;
        uint64_t room; // bytes the disk still takes after the frames added before it fills
        uint32_t frames;
        bool index;
    } cases[] = {
        {"a frame cut short, room for the index", false, kChunk + kChunk / 2, kBefore + 1, true},
        {"no room for a frame or the index", false, 0, kBefore, false},
        {"at close, no room for the index", true, 0, kBefore, false},
        {"at close, room for part of the index", true, 40, kBefore, false},
        {"at close, room for the index", true, 8 + 16 * kBefore, kBefore, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = stdFilePath(QString("full%1.avi").arg(&c - cases));
        CAviWriter writer;
        writer.Open(file, 25, PixelType_Mono8, kSide, kSide);
        for (int i = 0; i < kBefore; ++i)
            writer.Add(pixels.data(), pixels.size(), PixelType_Mono8, kSide, kSide, 0);
        bool failed = false;
        {
            testsupport::FileSizeLimit full(uint64_t(QFileInfo(QString::fromStdString(file)).size()) + c.room);
            ASSERT_TRUE(full.isActive());
            try {
                if (!c.atClose)
                    for (int i = 0; i < 1000; ++i)
                        writer.Add(pixels.data(), pixels.size(), PixelType_Mono8, kSide, kSide, 0);
                writer.Close();
            } catch (const GenICam::RuntimeException& e) {
                failed = true;
                EXPECT_NE(std::string(e.GetDescription()).find(": File too large"), std::string::npos)
                    << e.GetDescription();
            }
        }
        EXPECT_EQ(failed, !c.index || !c.atClose);
        EXPECT_FALSE(writer.IsOpen());
        expectTrueFor(file, c.frames, 25, c.index);
    }
}

// A disk that refuses the headers' rewrite, after a frame has been written or after the index at the
// close: what the headers cannot count is taken off, so the file ends where they say and the writer's
// count agrees with them.
TEST_F(AviWriterTest, HeadersThatCannotBeRewrittenCountTheFramesTheFileKeeps)
{
    const auto pixels = frame(0);
    for (const bool atClose : {false, true}) {
        SCOPED_TRACE(atClose ? "at the close" : "after a frame");
        const std::string file = stdFilePath(atClose ? "close.avi" : "frame.avi");
        CAviWriter writer;
        writer.Open(file, 25, PixelType_BGR8packed, 6, 4);
        for (int i = 0; i < 3; ++i)
            writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
        g_headersRefused = true;
        try {
            if (atClose)
                writer.Close();
            else
                writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
            ADD_FAILURE() << "the refused rewrite went unnoticed";
        } catch (const AviWriterIoException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find(": No space left on device"), std::string::npos)
                << e.GetDescription();
        }
        g_headersRefused = false;
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_EQ(writer.GetCountOfAddedImages(), 3u);
        expectTrueFor(file, 3, 25, false);
    }
}

// A recording killed while it runs leaves the file as it was written so far: its headers, brought up
// to date with every frame, count the frames written and size them, so players read them and know the
// film's length. The file says it has no index, as it has none yet.
TEST_F(AviWriterTest, AFileCutOffWhileRecordingSaysWhatItHolds)
{
    const std::string file = stdFilePath("live.avi");
    const auto pixels = frame(0);
    CAviWriter writer;
    writer.Open(file, 10, PixelType_BGR8packed, 6, 4);
    const std::string empty = stdFilePath("empty.avi");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(file), QString::fromStdString(empty)));
    for (int i = 0; i < 5; ++i)
        writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
    const std::string cut = stdFilePath("cut.avi");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(file), QString::fromStdString(cut)));
    writer.Close();

    {
        SCOPED_TRACE("cut before the first frame");
        const Layout header = layout(empty);
        ASSERT_TRUE(header.valid);
        EXPECT_EQ(uint64_t(header.riffBytes) + 8, header.fileBytes) << "the RIFF size";
        EXPECT_EQ(header.totalFrames, 0u);
        EXPECT_EQ(header.moviEnd, header.fileBytes) << "the 'movi' list's size";
        EXPECT_FALSE(header.flags & 0x10) << "a file without an index says it has one";
    }
    {
        SCOPED_TRACE("cut after five frames");
        expectTrueFor(cut, 5, 10, false);
    }
    expectTrueFor(file, 5, 10, true);
}

// A file removed while it is written (its folder deleted, say) takes the frames still written into it
// with it: the writer says so at the next frame, or at the close, instead of counting frames that no
// file holds.
TEST_F(AviWriterTest, AFileRemovedWhileRecordingIsAFailure)
{
    const auto pixels = frame(0);
    for (const bool atClose : {false, true}) {
        SCOPED_TRACE(atClose ? "removed before the close" : "removed while recording");
        ASSERT_TRUE(QDir().mkpath(filePath("out")));
        const std::string file = stdFilePath("out/removed.avi");
        CAviWriter writer;
        writer.Open(file, 25, PixelType_BGR8packed, 6, 4);
        writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
        ASSERT_TRUE(QDir(filePath("out")).removeRecursively());
        try {
            if (!atClose)
                writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
            writer.Close();
            ADD_FAILURE() << "the removal went unnoticed";
        } catch (const AviWriterIoException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find("the file was removed"), std::string::npos)
                << e.GetDescription();
        }
        EXPECT_FALSE(writer.IsOpen());
    }
}

// A start that fails leaves no file behind: the disk full before the headers are written.
TEST_F(AviWriterTest, AStartThatFailsLeavesNoFile)
{
    const std::string file = stdFilePath("start.avi");
    CAviWriter writer;
    {
        testsupport::FileSizeLimit full(64);
        ASSERT_TRUE(full.isActive());
        try {
            writer.Open(file, 25, PixelType_Mono8, 6, 4);
            ADD_FAILURE() << "the full disk went unnoticed";
        } catch (const AviWriterFatalException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find(": File too large"), std::string::npos)
                << e.GetDescription();
        }
    }
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
}

// Any positive playback rate is stored as it is: the rates of a time-lapse, one frame an hour or every
// four hours, play as slowly as they were asked to.
TEST_F(AviWriterTest, AnyPositiveRateIsStoredExactly)
{
    const struct {
        double fps;
        const char* rate;
    } cases[] = {{29.97, "2997/100"}, {25.0, "25/1"}, {0.3, "3/10"}, {1.0 / 3600, "1/3600"}, {1.0 / 14400, "1/14400"}};
    const auto pixels = frame(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const std::string file = stdFilePath("rate.avi");
        CAviWriter writer;
        writer.Open(file, c.fps, PixelType_BGR8packed, 6, 4);
        for (int i = 0; i < 2; ++i)
            writer.Add(pixels.data(), pixels.size(), PixelType_BGR8packed, 6, 4, 0);
        writer.Close();
        const QStringList entries =
            QString::fromUtf8(run("ffprobe", {"-v", "error", "-show_entries", "stream=r_frame_rate,duration", "-of",
                                              "csv=p=0", QString::fromStdString(file)}))
                .trimmed()
                .split(',');
        ASSERT_EQ(entries.size(), 2) << entries.join(',').toStdString();
        EXPECT_EQ(entries[0].toStdString(), c.rate);
        EXPECT_NEAR(entries[1].toDouble(), 2 / c.fps, 2 / c.fps * 1e-4);
        QFile::remove(QString::fromStdString(file));
    }
}

// Empty frames stand for frames the recording lost: they count in the film's length, not as pictures,
// and players show the picture before for their time.
TEST_F(AviWriterTest, EmptyFramesKeepTheFilmsLength)
{
    const std::string file = stdFilePath("empty.avi");
    CAviWriter writer;
    EXPECT_THROW(writer.AddEmptyFrames(1), GenICam::RuntimeException);
    writer.Open(file, 10.0, PixelType_BGR8packed, 6, 4);
    const auto first = frame(0), second = frame(5);
    writer.Add(first.data(), first.size(), PixelType_BGR8packed, 6, 4, 0);
    writer.AddEmptyFrames(3);
    writer.Add(second.data(), second.size(), PixelType_BGR8packed, 6, 4, 0);
    writer.AddEmptyFrames(0);
    EXPECT_EQ(writer.GetCountOfAddedImages(), 2u);
    EXPECT_EQ(writer.GetCountOfFrames(), 5u);
    EXPECT_EQ(writer.GetImageDataBytesWritten(), 2u * 4u * 20u);
    writer.Close();
    EXPECT_TRUE(probe(file).endsWith(",6,4,2")) << probe(file).toStdString();
    const QStringList times = QString::fromUtf8(run("ffprobe", {"-v", "error", "-show_entries", "packet=pts_time",
                                                                "-of", "csv=p=0", QString::fromStdString(file)}))
                                  .split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(times.size(), 2) << times.join(' ').toStdString();
    EXPECT_DOUBLE_EQ(times[0].split(',').front().toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(times[1].split(',').front().toDouble(), 0.4);
    const QByteArray duration = run(
        "ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", QString::fromStdString(file)});
    EXPECT_DOUBLE_EQ(duration.trimmed().toDouble(), 0.5);
    // Played at its rate, the film shows the first picture through the gap, then the second one.
    const QByteArray played = run("ffmpeg", {"-v", "error", "-i", QString::fromStdString(file), "-vf", "fps=10", "-f",
                                             "rawvideo", "-pix_fmt", "rgb24", "-"});
    const int frameBytes = 6 * 4 * 3;
    ASSERT_EQ(played.size(), 5 * frameBytes);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(played.mid(i * frameBytes, frameBytes), played.left(frameBytes)) << "frame " << i;
    EXPECT_NE(played.mid(4 * frameBytes, frameBytes), played.left(frameBytes));
}
