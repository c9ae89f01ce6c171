// What the thread checker's run sees with the project's suppressions.
#include <threadcheck/HandOff.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Frame memory shown through a QImage, as the image window shows a camera's frame. One thread writes
// the frame while another copies the image; the copy is Qt's own code, which reads our memory.
void raceOfAFrameWithQtsCopyOfIt()
{
    static unsigned char frame[64 * 48];
    const QImage view(frame, 64, 48, 64, QImage::Format_Grayscale8);
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (unsigned char& pixel : frame)
            pixel = 0x40;
        written.store(true, std::memory_order_relaxed); // no hand-off: the race is the point
    });
    std::thread copier([&] {
        while (!written.load(std::memory_order_relaxed)) {
        }
        const QImage copy = view.copy();
        (void)copy;
    });
    writer.join();
    copier.join();
}

} // namespace

// Run only as the child of the test below.
TEST(ThreadCheckChild, DISABLED_RaceOfAFrameWithQtsCopyOfIt)
{
    raceOfAFrameWithQtsCopyOfIt();
}

// The suppressions let Qt's own hand-offs go, never a race of our memory with Qt's own copies of it: a
// frame written by one thread while another copies its image is reported.
TEST(ThreadCheck, ARaceOfOurFrameWithQtsCopyOfItIsReported)
{
#if !defined(THREADCHECK_TSAN)
    GTEST_SKIP() << "only the ThreadSanitizer build checks races";
#endif
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TSAN_OPTIONS", QStringLiteral("suppressions=%1 exitcode=66").arg(TSAN_SUPPRESSIONS));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=ThreadCheckChild.*"});
    ASSERT_TRUE(child.waitForFinished(60000)) << "the child did not end";
    const QByteArray report = child.readAllStandardError();
    EXPECT_EQ(child.exitCode(), 66) << report.toStdString();
    EXPECT_TRUE(report.contains("WARNING: ThreadSanitizer: data race")) << report.toStdString();
}
