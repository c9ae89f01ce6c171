// The error queue from several threads, its delivery order, and the message functions' reports.
#include "brasko/AsyncErrorQueue.h"
#include "brasko/MessageFunctions.h"

#include "testsupport/LogCapture.h"

#include <GenICam/GenericException.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct Delivery {
    AsyncErrorQueue::ErrorSeverity severity;
    QString message;
    QString details;
    QWidget* parent;
    QThread* thread;
};

// Records every displayError of a queue together with the thread it arrived in.
class DeliveryRecorder {
public:
    explicit DeliveryRecorder(AsyncErrorQueue* queue)
    {
        m_connection =
            QObject::connect(queue, &AsyncErrorQueue::displayError,
                             [this](AsyncErrorQueue::ErrorSeverity severity, const QString& message,
                                    const QString& details, QWidget* parent) {
                                 deliveries.push_back({severity, message, details, parent, QThread::currentThread()});
                             });
    }
    ~DeliveryRecorder() { QObject::disconnect(m_connection); }

    // Runs the event loop until n deliveries arrived (or a generous time passed).
    bool waitFor(size_t n)
    {
        return QTest::qWaitFor([&] { return deliveries.size() >= n; }, 10000);
    }
    // Lets every queued call that is already posted run.
    static void drain()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    std::vector<Delivery> deliveries;

private:
    QMetaObject::Connection m_connection;
};

void runInThread(const std::function<void()>& work)
{
    std::thread worker(work);
    worker.join();
}

} // namespace

TEST(AsyncErrorQueue, ReportsFromAWorkerArriveInTheQueueThreadNewestFirst)
{
    AsyncErrorQueue queue;
    DeliveryRecorder recorder(&queue);
    QWidget widget;
    runInThread([&] {
        EXPECT_TRUE(queue.reportErrorAsync(AsyncErrorQueue::Critical, "first", "d1", nullptr));
        EXPECT_TRUE(queue.append(AsyncErrorQueue::Warning, "second", "d2", &widget));
        EXPECT_TRUE(queue.reportErrorAsync(AsyncErrorQueue::Notice, "third", "d3", nullptr));
    });
    EXPECT_EQ(queue.count(), 3u);
    ASSERT_TRUE(recorder.waitFor(3));
    DeliveryRecorder::drain();

    ASSERT_EQ(recorder.deliveries.size(), 3u);
    const struct {
        AsyncErrorQueue::ErrorSeverity severity;
        const char* message;
        const char* details;
        QWidget* parent;
    } expected[] = {{AsyncErrorQueue::Notice, "third", "d3", nullptr},
                    {AsyncErrorQueue::Warning, "second", "d2", &widget},
                    {AsyncErrorQueue::Critical, "first", "d1", nullptr}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recorder.deliveries[i].severity, expected[i].severity);
        EXPECT_EQ(recorder.deliveries[i].message, expected[i].message);
        EXPECT_EQ(recorder.deliveries[i].details, expected[i].details);
        EXPECT_EQ(recorder.deliveries[i].parent, expected[i].parent);
        EXPECT_EQ(recorder.deliveries[i].thread, queue.thread());
    }
    EXPECT_EQ(queue.count(), 0u);
}

TEST(AsyncErrorQueue, EveryReportOfSeveralThreadsIsDeliveredOnceInReverseOrderPerThread)
{
    AsyncErrorQueue queue;
    DeliveryRecorder recorder(&queue);
    constexpr int threads = 4;
    constexpr int reportsPerThread = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&queue, t] {
            for (int i = 0; i < reportsPerThread; ++i)
                queue.reportErrorAsync(AsyncErrorQueue::Error, QString::number(t), QString::number(i), nullptr);
        });
    }
    for (auto& worker : workers)
        worker.join();
    ASSERT_TRUE(recorder.waitFor(threads * reportsPerThread));
    DeliveryRecorder::drain();

    ASSERT_EQ(recorder.deliveries.size(), static_cast<size_t>(threads * reportsPerThread));
    // All reports were in before the first delivery: each thread's reports come newest first.
    std::vector<int> next(threads, reportsPerThread - 1);
    for (const Delivery& d : recorder.deliveries) {
        const int t = d.message.toInt();
        ASSERT_GE(t, 0);
        ASSERT_LT(t, threads);
        EXPECT_EQ(d.details.toInt(), next[t]) << "thread " << t;
        --next[t];
        EXPECT_EQ(d.thread, QThread::currentThread());
    }
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(next[t], -1) << "thread " << t;
    EXPECT_EQ(queue.count(), 0u);
}

TEST(AsyncErrorQueue, ClearBeforeDeliveryLeavesThePendingCallsNothingToDeliver)
{
    AsyncErrorQueue queue;
    DeliveryRecorder recorder(&queue);
    queue.reportErrorAsync(AsyncErrorQueue::Critical, "a", "", nullptr);
    queue.reportErrorAsync(AsyncErrorQueue::Critical, "b", "", nullptr);
    EXPECT_EQ(queue.count(), 2u);
    queue.clear();
    EXPECT_EQ(queue.count(), 0u);
    DeliveryRecorder::drain();
    EXPECT_TRUE(recorder.deliveries.empty());

    // A report after the clear is delivered by its own call, not swallowed by the stale ones.
    queue.reportErrorAsync(AsyncErrorQueue::Information, "c", "", nullptr);
    ASSERT_TRUE(recorder.waitFor(1));
    DeliveryRecorder::drain();
    ASSERT_EQ(recorder.deliveries.size(), 1u);
    EXPECT_EQ(recorder.deliveries[0].message, "c");
}

TEST(AsyncErrorQueue, AParentWidgetDeletedBeforeDeliveryArrivesAsNone)
{
    // A dialog reports and closes itself before the GUI thread shows the message: the receiver
    // must not be handed the freed widget as the message box's parent.
    AsyncErrorQueue queue;
    DeliveryRecorder recorder(&queue);
    auto* gone = new QWidget;
    QWidget kept;
    queue.reportErrorAsync(AsyncErrorQueue::Critical, "gone", "", gone);
    runInThread([&] { queue.reportErrorAsync(AsyncErrorQueue::Warning, "kept", "", &kept); });
    delete gone;
    ASSERT_TRUE(recorder.waitFor(2));
    EXPECT_EQ(recorder.deliveries[0].message, "kept");
    EXPECT_EQ(recorder.deliveries[0].parent, &kept);
    EXPECT_EQ(recorder.deliveries[1].message, "gone");
    EXPECT_EQ(recorder.deliveries[1].parent, nullptr);
}

TEST(AsyncErrorQueue, PendingEntriesAreFreedWithTheQueue)
{
    // Run under the leak checker: entries that were never delivered belong to the queue.
    auto* queue = new AsyncErrorQueue;
    for (int i = 0; i < 10; ++i)
        queue->reportErrorAsync(AsyncErrorQueue::Error, "pending", "", nullptr);
    EXPECT_EQ(queue->count(), 10u);
    delete queue;
    DeliveryRecorder::drain();
}

TEST(AsyncErrorQueue, DefaultEntryIsUnclassified)
{
    const AsyncErrorQueue::Entry entry;
    EXPECT_EQ(entry.severity, AsyncErrorQueue::Unclassified);
    EXPECT_EQ(static_cast<int>(AsyncErrorQueue::Unclassified), 60);
    EXPECT_TRUE(entry.message.isEmpty());
    EXPECT_EQ(entry.parent, nullptr);
}

TEST(AsyncErrorQueue, QueuedReceiversGetTheSeverity)
{
    // A queued connection carries the severity only when it is registered as a meta type. The
    // receiver is queued on the queue's own thread: the program's receivers live there, and Qt's copy
    // of the argument for a receiver on another thread is made and read outside the thread checker's
    // sight (a hand-off it cannot see, which would fail the checked run now and then).
    AsyncErrorQueue queue;
    QObject receiver;
    int received = 0;
    QObject::connect(
        &queue, &AsyncErrorQueue::displayError, &receiver,
        [&](AsyncErrorQueue::ErrorSeverity severity, QString, QString, QWidget*) {
            if (severity == AsyncErrorQueue::Warning)
                ++received;
        },
        Qt::QueuedConnection);
    queue.reportErrorAsync(AsyncErrorQueue::Warning, "w", "", nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == 1; }, 60000));
}

namespace {

// Before main makes the application object, a worker thread asks for the global queue first (as a
// library's worker may at start-up); every test of this program runs with the queue made that way.
AsyncErrorQueue* const askedBeforeTheApplication = [] {
    AsyncErrorQueue* queue = nullptr;
    std::thread([&queue] { queue = GetTheGlobalAsyncErrorQueue(); }).join();
    return queue;
}();

} // namespace

TEST(GlobalAsyncErrorQueue, LivesInTheApplicationThreadWhoeverAsksFirst)
{
    EXPECT_EQ(askedBeforeTheApplication, GetTheGlobalAsyncErrorQueue());
    AsyncErrorQueue* fromWorker = nullptr;
    runInThread([&] {
        fromWorker = GetTheGlobalAsyncErrorQueue();
        fromWorker->reportErrorAsync(AsyncErrorQueue::Critical, "from a worker", "", nullptr);
    });
    ASSERT_NE(fromWorker, nullptr);
    EXPECT_EQ(fromWorker, GetTheGlobalAsyncErrorQueue());
    EXPECT_EQ(fromWorker->thread(), QCoreApplication::instance()->thread());

    DeliveryRecorder recorder(fromWorker);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.deliveries[0].message, "from a worker");
    EXPECT_EQ(recorder.deliveries[0].thread, QCoreApplication::instance()->thread());
}

namespace {

struct MessageCase {
    const char* name;
    std::function<void(QWidget*)> call;
    const char* logType; // "critical" or "warning"
    const char* logText;
    AsyncErrorQueue::ErrorSeverity severity;
    const char* message;
    const char* details;
    bool keepsParent;
};

} // namespace

TEST(MessageFunctions, LogOneLineAndReportToTheGlobalQueue)
{
    const GenICam::RuntimeException genicam("Node not writable", "File.cpp", 12);
    const std::runtime_error standard("disk full");
    const MessageCase cases[] = {
        {"critical with details",
         [](QWidget* w) { showCriticalMessage("Caption", "Context", "Message", "Details", w); }, "critical",
         "Critical message: Context : Caption : Message : Details", AsyncErrorQueue::Critical, "Message", "Details",
         true},
        {"critical without details", [](QWidget* w) { showCriticalMessage("Caption", "Context", "Message", w); },
         "critical", "Critical message: Context : Caption : Message : ", AsyncErrorQueue::Critical, "Message", "",
         true},
        {"warning with details", [](QWidget* w) { showWarningMessage("Caption", "Context", "Message", "Details", w); },
         "warning", "Warning: Context: Caption : Message", AsyncErrorQueue::Warning, "Message", "Details", true},
        {"warning without details", [](QWidget* w) { showWarningMessage("Caption", "Context", "Message", w); },
         "warning", "Warning: Context: Caption : Message", AsyncErrorQueue::Warning, "Message", "", true},
        {"GenICam exception with message",
         [&](QWidget* w) { showException("Context", genicam, "Failed to open the camera.", w); }, "critical",
         "Critical message: Context : Error : Failed to open the camera. : Node not writable",
         AsyncErrorQueue::Critical, "Failed to open the camera.", "Node not writable", false},
        {"GenICam exception", [&](QWidget* w) { showException("Context", genicam, w); }, "critical",
         "Critical message: Context : Error : Node not writable : ", AsyncErrorQueue::Critical, "Node not writable", "",
         false},
        {"standard exception with message",
         [&](QWidget* w) { showException("Context", standard, "Saving failed.", w); }, "critical",
         "Critical message: Context : Error : Saving failed. : disk full", AsyncErrorQueue::Critical, "Saving failed.",
         "disk full", false},
        {"standard exception", [&](QWidget* w) { showException("Context", standard, w); }, "critical",
         "Critical message: Context : Error : disk full : ", AsyncErrorQueue::Critical, "disk full", "", false},
        {"unexpected exception", [](QWidget* w) { showUnexpectedException("Context", "Message", w); }, "critical",
         "Critical message: Context : Unexpected exception occurred : Message : ", AsyncErrorQueue::Critical, "Message",
         "", false},
    };
    QWidget widget;
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeliveryRecorder recorder(GetTheGlobalAsyncErrorQueue());
        testsupport::LogCapture capture;
        c.call(&widget);
        ASSERT_TRUE(recorder.waitFor(1));
        DeliveryRecorder::drain();

        const auto messages = capture.messages();
        size_t matching = 0;
        for (const auto& m : messages) {
            if (m.source == testsupport::CapturedMessage::Source::Qt && m.category == c.logType && m.text == c.logText)
                ++matching;
        }
        EXPECT_EQ(matching, 1u) << "log line \"" << c.logText << "\" not found once";
        EXPECT_FALSE(capture.contains("Details") && c.severity == AsyncErrorQueue::Warning)
            << "warnings do not log their details";

        ASSERT_EQ(recorder.deliveries.size(), 1u);
        EXPECT_EQ(recorder.deliveries[0].severity, c.severity);
        EXPECT_EQ(recorder.deliveries[0].message, c.message);
        EXPECT_EQ(recorder.deliveries[0].details, c.details);
        EXPECT_EQ(recorder.deliveries[0].parent, c.keepsParent ? &widget : nullptr);
    }
}

// A step run through reportExceptions reports what it throws, by kind, with the step's message; a step that
// runs through reports nothing.
TEST(MessageFunctions, ReportExceptionsReportsWhatTheStepThrows)
{
    struct Case {
        const char* name;
        std::function<void()> step;
        const char* logText; // empty: the step runs through
    };
    const Case cases[] = {
        {"GenICam exception", [] { throw GenICam::RuntimeException("Node not writable", "File.cpp", 12); },
         "Critical message: Step : Error : Failed. : Node not writable"},
        {"standard exception", [] { throw std::runtime_error("disk full"); },
         "Critical message: Step : Error : Failed. : disk full"},
        {"anything else", [] { throw 42; }, "Critical message: Step : Unexpected exception occurred : Failed. : "},
        {"nothing thrown", [] {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeliveryRecorder recorder(GetTheGlobalAsyncErrorQueue());
        testsupport::LogCapture capture;
        const bool ranThrough = reportExceptions("Step", "Failed.", c.step);
        EXPECT_EQ(ranThrough, *c.logText == 0);
        if (*c.logText) {
            ASSERT_TRUE(recorder.waitFor(1));
            EXPECT_TRUE(capture.contains(c.logText));
        } else {
            EXPECT_TRUE(capture.messages().empty());
        }
        DeliveryRecorder::drain();
    }
}

TEST(MessageFunctions, PercentSignsInTextsAreLoggedLiterally)
{
    DeliveryRecorder recorder(GetTheGlobalAsyncErrorQueue());
    testsupport::LogCapture capture;
    showCriticalMessage("%s%s", "ctx %d", "100% done %n %s", "%x", nullptr);
    showWarningMessage("%p", "%s", "50%", nullptr);
    ASSERT_TRUE(recorder.waitFor(2));
    EXPECT_TRUE(capture.contains("Critical message: ctx %d : %s%s : 100% done %n %s : %x"));
    EXPECT_TRUE(capture.contains("Warning: %s: %p : 50%"));
}

TEST(MessageFunctions, CanBeCalledFromWorkerThreads)
{
    DeliveryRecorder recorder(GetTheGlobalAsyncErrorQueue());
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t)
        workers.emplace_back([t] { showWarningMessage("Caption", "Worker", QString::number(t), nullptr); });
    for (auto& worker : workers)
        worker.join();
    ASSERT_TRUE(recorder.waitFor(3));
    for (const Delivery& d : recorder.deliveries)
        EXPECT_EQ(d.thread, QCoreApplication::instance()->thread());
}
