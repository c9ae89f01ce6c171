// The shared trace categories: names, order and one-time construction from several threads.
#include <lorvish/Trace.h>

#include "DebugLogging.h"

#include <testsupport/LogCapture.h>

#include <gtest/gtest.h>
#include <log4cpp/Category.hh>

#include <array>
#include <thread>
#include <vector>

using Lorvish::GetLazyTraceStructInstance_;
using Lorvish::Trace;

TEST(TraceTest, FirstUseFromManyThreadsGivesOneRecord)
{
    std::vector<std::thread> threads;
    std::array<Trace*, 8> seen{};
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &GetLazyTraceStructInstance_(); });
    for (auto& thread : threads)
        thread.join();
    for (Trace* trace : seen)
        EXPECT_EQ(trace, &GetLazyTraceStructInstance_());
}

TEST(TraceTest, CategoriesHaveTheirNamesInOrder)
{
    const Trace& trace = GetLazyTraceStructInstance_();
    const log4cpp::Category* const categories[] = {trace.misc,
                                                   trace.decoupler,
                                                   trace.decouplerBuffers,
                                                   trace.camera,
                                                   trace.cameraBuffers,
                                                   trace.quarnCamera,
                                                   trace.imageWindow,
                                                   trace.imageWindowBuffers,
                                                   trace.renderWidget,
                                                   trace.streamBuffer,
                                                   trace.recordingControllerBuffer,
                                                   trace.bufferedImageSink,
                                                   trace.sequence,
                                                   trace.sequenceRemoveCamera};
    const char* const names[] = {"Ardenmoor.Misc",
                                 "Ardenmoor.Decoupler",
                                 "Ardenmoor.Decoupler.buffers",
                                 "Ardenmoor.Camera",
                                 "Ardenmoor.Camera.buffers",
                                 "Ardenmoor.QuarnCamera",
                                 "Ardenmoor.ImageWindow",
                                 "Ardenmoor.ImageWindow.buffers",
                                 "Ardenmoor.ImageWindow.RenderWidget",
                                 "Ardenmoor.StreamBuffer",
                                 "Ardenmoor.RecordingController.buffer",
                                 "Ardenmoor.BufferedImageSink",
                                 "Ardenmoor.Sequence",
                                 "Ardenmoor.Sequence.RemoveCamera"};
    static_assert(sizeof(Trace) == sizeof(categories), "every category is checked");
    for (size_t i = 0; i < std::size(names); ++i) {
        ASSERT_NE(categories[i], nullptr) << names[i];
        EXPECT_EQ(categories[i]->getName(), names[i]);
    }
}

TEST(TraceTest, DebugLinesReachTheLog)
{
    testsupport::LogCapture capture;
    lorvishtest::DebugLogging debug;
    GetLazyTraceStructInstance_().misc->debug("selecting '%s'", "cam");
    EXPECT_TRUE(capture.contains("selecting 'cam'"));
}
