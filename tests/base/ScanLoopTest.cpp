// The scan thread's loop: requests that wait together, their options, failing scans and stopping.
#include <brasko/ScanLoop.h>

#include <testsupport/Wait.h>

#include <QThread>

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A thread running a loop whose scans note what happens; scans wait at the gate while it is closed.
class LoopThread {
public:
    explicit LoopThread(ScanLoop::OptionRule rule, bool gateOpen = true) : loop(rule), m_open(gateOpen)
    {
        thread.reset(QThread::create([this] { loop.run(steps()); }));
    }
    ~LoopThread()
    {
        open();
        loop.stop(*thread, 10000);
    }

    ScanLoop::Steps steps()
    {
        ScanLoop::Steps steps;
        steps.started = [this] { note("started"); };
        steps.scan = [this](bool option) {
            note(std::string("scan ") + (option ? "with" : "without") + " option");
            std::unique_lock<std::mutex> lock(m_mutex);
            m_condition.wait(lock, [&] { return m_open; });
            if (m_failWith.empty())
                return;
            const std::string text = m_failWith;
            m_failWith.clear();
            lock.unlock();
            throw std::runtime_error(text);
        };
        steps.failed = [this] {
            try {
                throw;
            } catch (const std::exception& e) {
                note(std::string("failed: ") + e.what());
            }
        };
        steps.finished = [this] { note("finished"); };
        return steps;
    }

    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_condition.notify_all();
    }
    void failNextScanWith(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failWith = text;
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    bool waitForEvents(size_t count)
    {
        return testsupport::waitFor([&] { return events().size() >= count; });
    }

    ScanLoop loop;
    std::unique_ptr<QThread> thread;

private:
    void note(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
    }

    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
    std::string m_failWith;
    bool m_open;
};

const std::vector<std::string> oneScanWithout = {"started", "scan without option", "finished"};

// Requests that come while a scan runs are served by one further scan; the rule says which option
// it gets from them.
TEST(ScanLoopTest, RequestsDuringAScanMakeOneFurtherScanWithTheOptionTheRuleGives)
{
    using Rule = ScanLoop::OptionRule;
    const struct Case {
        Rule rule;
        bool first, second, expected;
    } cases[] = {
        {Rule::LastRequest, true, false, false},  {Rule::LastRequest, false, true, true},
        {Rule::LastRequest, false, false, false}, {Rule::AnyRequest, true, false, true},
        {Rule::AnyRequest, false, true, true},    {Rule::AnyRequest, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rule == Rule::LastRequest ? "last" : "any") + " rule, " + std::to_string(c.first) +
                     " then " + std::to_string(c.second));
        LoopThread t(c.rule, false);
        t.thread->start();
        t.loop.request(false);
        ASSERT_TRUE(t.waitForEvents(2));
        t.loop.request(c.first);
        t.loop.request(c.second);
        t.open();
        ASSERT_TRUE(t.waitForEvents(6));
        EXPECT_TRUE(t.loop.stop(*t.thread, 10000));
        std::vector<std::string> expected = oneScanWithout;
        expected.insert(expected.end(),
                        {"started", c.expected ? "scan with option" : "scan without option", "finished"});
        EXPECT_EQ(t.events(), expected);
    }
}

// A request's option is used by its own scan only: the next request starts afresh.
TEST(ScanLoopTest, AnOptionIsUsedOnce)
{
    LoopThread t(ScanLoop::OptionRule::AnyRequest);
    t.thread->start();
    t.loop.request(true);
    ASSERT_TRUE(t.waitForEvents(3));
    t.loop.request(false);
    ASSERT_TRUE(t.waitForEvents(6));
    EXPECT_EQ(t.events()[1], "scan with option");
    EXPECT_EQ(t.events()[4], "scan without option");
}

// A request made before the thread first waits is served.
TEST(ScanLoopTest, ARequestBeforeTheLoopRunsIsServed)
{
    LoopThread t(ScanLoop::OptionRule::LastRequest);
    t.loop.request(false);
    t.thread->start();
    ASSERT_TRUE(t.waitForEvents(3));
    EXPECT_TRUE(t.loop.stop(*t.thread, 10000));
    EXPECT_EQ(t.events(), oneScanWithout);
}

// A failing scan is reported inside its handler, still ends with finished, and the loop serves the
// next request.
TEST(ScanLoopTest, AFailingScanIsReportedAndTheLoopGoesOn)
{
    LoopThread t(ScanLoop::OptionRule::LastRequest);
    t.failNextScanWith("no transport layer");
    t.thread->start();
    t.loop.request(false);
    ASSERT_TRUE(t.waitForEvents(4));
    t.loop.request(false);
    ASSERT_TRUE(t.waitForEvents(7));
    EXPECT_TRUE(t.loop.stop(*t.thread, 10000));
    EXPECT_EQ(t.events(), (std::vector<std::string>{"started", "scan without option", "failed: no transport layer",
                                                    "finished", "started", "scan without option", "finished"}));
}

// A stop ends an idle loop at once and wins over a request that waits with it; a stop during a scan
// lets the scan finish, and times out while the scan is held.
TEST(ScanLoopTest, StopEndsTheLoopAfterTheScanUnderWay)
{
    {
        LoopThread t(ScanLoop::OptionRule::LastRequest);
        t.thread->start();
        EXPECT_TRUE(t.loop.stop(*t.thread, 10000));
        EXPECT_TRUE(t.events().empty());
    }
    {
        LoopThread t(ScanLoop::OptionRule::LastRequest);
        t.loop.request(false);
        t.loop.requestStop();
        t.thread->start();
        EXPECT_TRUE(t.thread->wait(10000));
        EXPECT_TRUE(t.events().empty());
    }
    {
        LoopThread t(ScanLoop::OptionRule::LastRequest, false);
        t.thread->start();
        t.loop.request(false);
        ASSERT_TRUE(t.waitForEvents(2));
        t.loop.request(true);
        EXPECT_FALSE(t.loop.stop(*t.thread, 50));
        t.open();
        EXPECT_TRUE(t.thread->wait(10000));
        EXPECT_EQ(t.events(), oneScanWithout);
    }
}

} // namespace
