#include "app/GeneratorWorker.h"
#include "engine/KSObserver.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::size_t FilesIn(const std::filesystem::path& folder) {
    std::error_code error;
    std::size_t count = 0;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        ++count;
    }
    return count;
}

// An output whose first line blocks its writer until released: a worker thread held inside a
// batch.
class BlockingOutput : public IOutput {
public:
    void Write(std::u16string_view, bool) override {
        m_entered.Set();
        m_release.Wait(kWaitForever);
    }
    void WriteA(std::string_view) override { Write(u"", false); }
    CKSManualResetEvent m_entered;
    CKSManualResetEvent m_release;
};

} // namespace

TEST(BatchControl, StoppingOneBatchLeavesTheOthersAndTheProgramRunning) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    // "long" writes large files at full speed, one at a time; "short" three small ones.
    WriteFileBytes(config, "[long]\nType=bin\nSize=256MB\nFiles=4\nFolder=long\n"
                           "[short]\nType=bin\nSize=1000\nFiles=3\nFolder=short\n");
    const CKSString configFile = CKSString::FromUtf8(config);
    const CKSString destination = CKSString::FromUtf8(dir.Path().string());
    auto longOutput = std::make_shared<CapturingOutput>();
    auto queuedOutput = std::make_shared<CapturingOutput>();
    auto shortOutput = std::make_shared<CapturingOutput>();

    GeneratorWorker worker;
    ASSERT_TRUE(worker.Start());
    const auto longBatch = worker.SubmitBatch({CKSString(u"long")}, CKSString(u"same name"), configFile,
                                              destination, longOutput, CBatchOptions{0, 1, 1});
    const auto queued = worker.SubmitBatch({CKSString(u"short")}, CKSString(u"queued"), configFile,
                                           destination, queuedOutput, CBatchOptions{0, 2});
    const auto shortBatch = worker.SubmitBatch({CKSString(u"short")}, CKSString(u"same name"), configFile,
                                               destination, shortOutput, CBatchOptions{0, 3});
    ASSERT_TRUE(longBatch && queued && shortBatch);
    queued->RequestStop(); // still waiting behind "long"

    // Stopped in the middle of its first file, whose bytes already show as they are written.
    ASSERT_TRUE(WaitUntil([&] { return longBatch->Read().bytes > 0; }));
    const CKSBatchControl::Snapshot writing = longBatch->Read();
    EXPECT_EQ(writing.files, 0u);
    EXPECT_TRUE(writing.started && !writing.finished);
    EXPECT_EQ(FilesIn(dir.Path() / "long"), 1u);
    const auto stoppedAt = std::chrono::steady_clock::now();
    longBatch->RequestStop();
    ASSERT_TRUE(longBatch->FinishedEvent().Wait(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, 5s) << "the stop ends the file in hand";
    ASSERT_TRUE(shortBatch->FinishedEvent().Wait(30000));

    EXPECT_FALSE(ApplicationStopEvent().IsSet());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_LT(longBatch->Read().files, 4u);
    EXPECT_TRUE(longOutput->Contains("Batch stopped"));
    EXPECT_EQ(queuedOutput->Count("Starting '"), 0) << "a batch stopped while queued creates nothing";
    EXPECT_EQ(FilesIn(dir.Path() / "short"), 3u) << "only the last batch made files of 'short'";

    const CKSBatchControl::Snapshot done = shortBatch->Read();
    EXPECT_TRUE(done.started && done.finished && !done.stopRequested);
    EXPECT_EQ(done.files, 3u);
    EXPECT_EQ(done.bytes, 3000u);
    EXPECT_GT(done.seconds, 0.0);

    // The history in finished order; same-named batches are told apart by their place.
    std::vector<CKSString> names;
    ASSERT_EQ(worker.ListBatches(names), 3u);
    const auto first = worker.GetBatchInfo(std::size_t{0});
    const auto second = worker.GetBatchInfo(std::size_t{1});
    const auto third = worker.GetBatchInfo(std::size_t{2});
    ASSERT_TRUE(first && second && third);
    EXPECT_FALSE(worker.GetBatchInfo(std::size_t{3}));
    EXPECT_TRUE(first->WasStopped());
    EXPECT_TRUE(second->WasStopped());
    EXPECT_TRUE(second->GetFolders().empty());
    EXPECT_FALSE(third->WasStopped());
    ASSERT_EQ(third->GetFolders().size(), 1u);
    EXPECT_EQ(third->GetFolders()[0].second.ToUtf8(), "short");
    EXPECT_EQ(first->GetFolders()[0].second.ToUtf8(), "long");
}

TEST(BatchControl, ShutdownEndsTheProcessWhenTheWorkerDoesNotEndInTime) {
    TempDir dir;
    const std::string logPath = dir.File("app.log");
    EXPECT_EXIT(
        {
            CKSLogger log;
            CKSFileLogger file;
            file.Open(CKSString::FromUtf8(logPath));
            log.SetOutput(&file);
            auto output = std::make_shared<BlockingOutput>();
            GeneratorWorker worker;
            worker.Start();
            worker.SubmitBatch({CKSString(u"x")}, CKSString(u"held"), CKSString(u"none.ini"), CKSString(u""),
                               output);
            output->m_entered.Wait(kWaitForever);
            ApplicationStopEvent().Set();
            AwaitWorkerOrEndProcess(worker, 200, &log, 7);
            std::_Exit(0); // not reached: the worker is held
        },
        testing::ExitedWithCode(7), "");
    EXPECT_NE(ReadFileBytes(logPath).find("ERROR:The generator worker did not end within 200 ms"),
              std::string::npos);

    // A worker that ends in time is simply waited for.
    GeneratorWorker worker;
    ASSERT_TRUE(worker.Start());
    ApplicationStopEvent().Set();
    AwaitWorkerOrEndProcess(worker, GeneratorWorker::kShutdownWaitMilliseconds, nullptr, 7);
    EXPECT_TRUE(worker.ExitedEvent().IsSet());
    ApplicationStopEvent().Reset();
}
