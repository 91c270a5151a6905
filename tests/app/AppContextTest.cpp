// The desktop program's shared context: Stop ends the worker's batches without any process-wide
// event, and shutdown waits for the worker and for the threads of closed tool windows no longer
// than its bounds, ending the process when one of them is stuck.

#include "app/AppContext.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A tool thread stuck in a read that never returns.
class StuckToolThread : public CKSThread {
public:
    StuckToolThread() : CKSThread(nullptr) {}
    ~StuckToolThread() override { StopAndJoin(); }

protected:
    void Run() override { m_never.Wait(kWaitForever); }

private:
    CKSManualResetEvent m_never;
};

} // namespace

TEST(AppContext, StopEndsTheBatchInHandAndTheQueuedOnesWithoutTheApplicationsStopEvent) {
    TempDir dir;
    WriteFileBytes(dir.File("fakemill.ini"),
                   "[long]\nType=bin\nSize=256MB\nFiles=8\n[short]\nType=bin\nSize=1000\n");
    const CKSString config = CKSString::FromUtf8(dir.File("fakemill.ini"));
    const CKSString destination = CKSString::FromUtf8(dir.Path().string());
    CAppContext context;
    ASSERT_TRUE(context.Worker().Start());
    auto longOutput = std::make_shared<CapturingOutput>();
    auto queuedOutput = std::make_shared<CapturingOutput>();
    const auto running = context.Worker().SubmitBatch({CKSString(u"long")}, CKSString(u"long"), config,
                                                      destination, longOutput, CBatchOptions{0, 1, 1});
    const auto queued = context.Worker().SubmitBatch({CKSString(u"short")}, CKSString(u"short"), config,
                                                     destination, queuedOutput, CBatchOptions{0, 2});
    ASSERT_TRUE(running && queued);
    const auto deadline = Clock::now() + 30s;
    while (running->Read().bytes == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_GT(running->Read().bytes, 0u);

    const auto stopping = Clock::now();
    context.Worker().Stop();
    ASSERT_TRUE(context.Worker().WaitForExit(10000));
    EXPECT_LT(Clock::now() - stopping, 5s);
    EXPECT_FALSE(ApplicationStopEvent().IsSet());
    EXPECT_TRUE(running->IsFinished() && running->Read().stopRequested);
    EXPECT_LT(running->Read().files, 8u);
    EXPECT_TRUE(queued->IsFinished());
    EXPECT_EQ(queuedOutput->Count("Starting '"), 0) << "a queued batch creates nothing once stopped";
    // Queued after the end: it is stopped before it starts.
    EXPECT_TRUE(context.Worker()
                    .SubmitBatch({CKSString(u"short")}, CKSString(u"late"), config, destination, queuedOutput)
                    ->IsStopRequested());
    context.Shutdown(nullptr, 7);
}

TEST(AppContext, ShutdownEndsTheProcessWhenAToolThreadIsStuckPastItsBound) {
    TempDir dir;
    const std::string logPath = dir.File("app.log");
    const auto started = Clock::now();
    EXPECT_EXIT(
        {
            CKSLogger log;
            CKSFileLogger file;
            file.Open(CKSString::FromUtf8(logPath));
            log.SetOutput(&file);
            CAppContext context;
            auto stuck = std::make_unique<StuckToolThread>();
            if (stuck->Start()) {
                context.Reaper().Adopt(std::move(stuck));
            }
            context.Shutdown(&log, 7);
            std::_Exit(0); // not reached: the tool thread is stuck
        },
        testing::ExitedWithCode(7), "");
    const auto took = Clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(CAppContext::kToolThreadsExitMilliseconds));
    EXPECT_LT(took, std::chrono::milliseconds(CAppContext::kToolThreadsExitMilliseconds) + 5s);
    EXPECT_NE(ReadFileBytes(logPath).find("1 tool threads did not end within 3000 ms"), std::string::npos)
        << ReadFileBytes(logPath);

    // Nothing stuck: shutdown simply returns.
    CAppContext context;
    ASSERT_TRUE(context.Worker().Start());
    context.Shutdown(nullptr, 7);
    EXPECT_TRUE(context.Worker().ExitedEvent().IsSet());
    EXPECT_EQ(context.Reaper().Pending(), 0u);
}
