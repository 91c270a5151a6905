#include "app/GeneratorWorker.h"
#include "engine/KSObserver.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

// Records the batch events in the order they arrive.
class EventLog : public CKSSubscriber {
public:
    void Notify(const CKSEvent& event) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::to_string(event.GetKind()) + " " + event.GetText().ToUtf8());
        m_changed.notify_all();
    }
    std::vector<std::string> WaitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_events.size() >= count; });
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

} // namespace

TEST(GeneratorWorker, BatchesRunInQueueOrderAndAreKept) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    WriteFileBytes(config, "[a]\nType=bin\nSize=10\nFolder=a\n[b]\nType=bin\nSize=10\nFolder=b\n");
    CKSObserver::Instance().StartDispatch();
    EventLog events;
    auto output = std::make_shared<CapturingOutput>();
    {
        GeneratorWorker worker;
        ASSERT_TRUE(worker.Start());
        EXPECT_FALSE(worker.Start());
        const CKSString destination = CKSString::FromUtf8(dir.Path().string());
        worker.SubmitBatch({CKSString(u"a")}, CKSString(u"first"), CKSString::FromUtf8(config), destination,
                           output, CBatchOptions{0, {}});
        worker.SubmitBatch({CKSString(u"b"), CKSString(u"a")}, CKSString(u"second"),
                           CKSString::FromUtf8(config), destination, output, CBatchOptions{0, {}});
        worker.SubmitBatch({CKSString(u"b")}, CKSString(u"first"), CKSString::FromUtf8(config), destination,
                           output, CBatchOptions{0, {}});
        const auto seen = events.WaitFor(6);
        EXPECT_EQ(seen, (std::vector<std::string>{"2 first", "3 first", "2 second", "3 second", "2 first",
                                                  "3 first"}));

        std::vector<CKSString> names;
        EXPECT_EQ(worker.ListBatches(names), 3u);
        EXPECT_EQ(names[1].ToUtf8(), "second");
        // Two batches of the same name: the older one answers.
        const auto info = worker.GetBatchInfo(u"first");
        ASSERT_TRUE(info);
        ASSERT_EQ(info->GetFolders().size(), 1u);
        EXPECT_EQ(info->GetFolders()[0].second.ToUtf8(), "a");
        EXPECT_FALSE(worker.GetBatchInfo(u"FIRST")); // names match exactly
    }
    EXPECT_EQ(output->Count("Starting '"), 4) << output->All();
}

TEST(GeneratorWorker, TheStopEventEndsTheThread) {
    CKSManualResetEvent stop;
    GeneratorWorker worker(stop);
    ASSERT_TRUE(worker.Start());
    stop.Set();
    for (int i = 0; i < 200 && worker.IsRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(worker.IsRunning());
}
