// The libav loader: loading from a folder or the system, incomplete libraries, reloading, and the
// wrappers' answers while nothing is loaded.
#include "LibavAdapter.h"

#include <testsupport/LogCapture.h>
#include <testsupport/TempDir.h>

#include <QFile>
#include <QString>

#include <gtest/gtest.h>
#include <log4cpp/Priority.hh>

#include <dlfcn.h>

#include <fstream>
#include <string>

namespace {

// Restores the program-wide library names that a test changes.
class LibavAdapterTest : public testsupport::TempDirTest {
protected:
    void TearDown() override
    {
        libavfiles::encodeLibrary = m_encode;
        libavfiles::utilLibrary = m_util;
        libavfiles::formatLibrary = m_format;
    }

private:
    std::string m_encode = libavfiles::encodeLibrary;
    std::string m_util = libavfiles::utilLibrary;
    std::string m_format = libavfiles::formatLibrary;
};

TEST_F(LibavAdapterTest, WrappersAnswerNeutrallyWhileNothingIsLoaded)
{
    LibavAdapter adapter;
    EXPECT_FALSE(adapter.isLoaded());
    EXPECT_EQ(adapter.resolvedEntryPoints(), 0u);
    EXPECT_EQ(adapter.avcodec_open2(nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(adapter.avformat_write_header(nullptr, nullptr), -1);
    EXPECT_EQ(adapter.av_frame_alloc(), nullptr);
    EXPECT_EQ(adapter.av_guess_format(nullptr, "video.mp4", nullptr), nullptr);
    const AVRational rate = adapter.av_d2q(25.0, 1000);
    EXPECT_EQ(rate.num, 0);
    EXPECT_EQ(rate.den, 1);
    AVCodecContext* context = nullptr;
    adapter.avcodec_free_context(&context); // does nothing
}

TEST_F(LibavAdapterTest, MissingLibrariesLeaveNothingLoaded)
{
    libavfiles::encodeLibrary = "libavcodec-absent.so.59";
    testsupport::LogCapture log;
    LibavAdapter adapter;
    EXPECT_FALSE(adapter.load(stdPath().c_str()));
    EXPECT_FALSE(adapter.isLoaded());
    EXPECT_EQ(adapter.resolvedEntryPoints(), 0u);
    EXPECT_TRUE(log.contains("Loading libav encode " + stdPath() + "/libavcodec-absent.so.59") ||
                log.contains("Loading libav encode libavcodec-absent.so.59"));
    EXPECT_TRUE(log.contains("Error loading libavcodec-absent.so.59"));
}

TEST_F(LibavAdapterTest, LibraryLackingEntryPointsIsRefused)
{
    // The folder's own libavcodec is taken over the system's, and it lacks most entry points.
    testsupport::LogCapture log;
    LibavAdapter adapter;
    EXPECT_FALSE(adapter.load(KALMUTH_FAKE_LIBAV_DIR));
    EXPECT_TRUE(log.contains("Loading libav encode " KALMUTH_FAKE_LIBAV_DIR "/libavcodec.so.59"));
    EXPECT_TRUE(log.contains("Error loading one or more functions"));
    EXPECT_TRUE(log.contains("Entry point avcodec_send_frame is missing"));
    EXPECT_FALSE(adapter.isLoaded());
    EXPECT_EQ(adapter.resolvedEntryPoints(), 0u);
    // The first missing entry point and its library are the reason kept for the user.
    EXPECT_EQ(adapter.loadError().rfind("Entry point ", 0), 0u) << adapter.loadError();
    EXPECT_NE(adapter.loadError().find(" is missing in " KALMUTH_FAKE_LIBAV_DIR "/libavcodec.so.59"), std::string::npos)
        << adapter.loadError();
}

// A folder given through an environment reference is expanded before its libraries are looked for.
TEST_F(LibavAdapterTest, FolderWithEnvironmentReference)
{
    setenv("KALMUTH_FAKE_LIBAV", KALMUTH_FAKE_LIBAV_DIR, 1);
    testsupport::LogCapture log;
    LibavAdapter adapter;
    EXPECT_FALSE(adapter.load("$(KALMUTH_FAKE_LIBAV)"));
    EXPECT_TRUE(log.contains("Loading libav encode $(KALMUTH_FAKE_LIBAV)/libavcodec.so.59"));
    EXPECT_TRUE(log.contains("Error loading one or more functions"));
    unsetenv("KALMUTH_FAKE_LIBAV");
}

// Whether a library whose file name contains `name` is mapped into this process.
bool isMapped(const std::string& name)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(name) != std::string::npos)
            return true;
    return false;
}

// MP4 recording needs exactly the libraries that LIBAV_LIB_ROOT must hold: a folder with only those
// three loads, each one taken from the folder, and no other libav library comes into the process.
TEST_F(LibavAdapterTest, LoadsExactlyTheThreeLibrariesFromTheFolder)
{
    const char* const system = "/usr/lib/x86_64-linux-gnu/";
    const std::string names[] = {"libavcodec.so.59", "libavformat.so.59", "libavutil.so.57"};
    for (const std::string& name : names) {
        if (!QFile::exists(QString::fromStdString(system + name)))
            GTEST_SKIP() << "no " << name << " in " << system;
        ASSERT_TRUE(QFile::link(QString::fromStdString(system + name), filePath(QString::fromStdString(name))));
    }
    testsupport::LogCapture log;
    LibavAdapter adapter;
    ASSERT_TRUE(adapter.load(stdPath().c_str()));
    for (const std::string& name : names)
        EXPECT_EQ(log.count(stdPath() + "/" + name), 1u) << name;
    EXPECT_EQ(log.count("Loading libav "), 3u);
    EXPECT_FALSE(isMapped("libswscale"));
}

// libav's log lines, which may come in pieces and be longer than any buffer, reach the recording's log
// at debug level one whole line each; the lines libav itself would not print stay out.
TEST_F(LibavAdapterTest, LibavLogLinesReachTheRecordingLogOneEach)
{
    LibavAdapter adapter;
    ASSERT_TRUE(adapter.load(stdPath().c_str()));
    void* util = dlopen(libavfiles::utilLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(util, nullptr);
    const auto avLog = reinterpret_cast<void (*)(void*, int, const char*, ...)>(dlsym(util, "av_log"));
    ASSERT_NE(avLog, nullptr);
    testsupport::LogCapture log;
    avLog(nullptr, AV_LOG_INFO, "first %s", "half");
    avLog(nullptr, AV_LOG_INFO, " and the rest\n");
    avLog(nullptr, AV_LOG_WARNING, "%s\n", std::string(5000, 'x').c_str());
    avLog(nullptr, AV_LOG_ERROR, "after the long line\n");
    avLog(nullptr, AV_LOG_DEBUG, "too detailed\n");
    dlclose(util);
    std::vector<std::string> lines;
    for (const testsupport::CapturedMessage& message : log.messages()) {
        EXPECT_EQ(message.category, "Tesvar.Recording");
        EXPECT_EQ(message.priority, log4cpp::Priority::DEBUG);
        lines.push_back(message.text);
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "first half and the rest");
    EXPECT_EQ(lines[1].find_first_not_of('x'), std::string::npos);
    EXPECT_GT(lines[1].size(), 1000u);
    EXPECT_EQ(lines[2], "after the long line");
}

TEST_F(LibavAdapterTest, LoadsFromTheSystemAndReloads)
{
    LibavAdapter adapter;
    // The temporary folder holds no library, so every one comes from the system's path.
    ASSERT_TRUE(adapter.load(stdPath().c_str()));
    EXPECT_TRUE(adapter.isLoaded());
    const size_t all = adapter.resolvedEntryPoints();
    EXPECT_GT(all, 20u);
    EXPECT_NE(adapter.av_guess_format(nullptr, "video.mp4", nullptr), nullptr);

    testsupport::LogCapture log;
    ASSERT_TRUE(adapter.load(stdPath().c_str()));
    EXPECT_TRUE(log.contains("Unloaded libav encode Adapter ID="));
    EXPECT_TRUE(log.contains(": Successfully loaded libav format Adapter ID="));
    EXPECT_EQ(adapter.resolvedEntryPoints(), all);

    adapter.unload();
    EXPECT_FALSE(adapter.isLoaded());
    EXPECT_EQ(adapter.resolvedEntryPoints(), 0u);
    EXPECT_EQ(adapter.av_frame_alloc(), nullptr);
}

} // namespace
