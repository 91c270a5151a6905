#pragma once
// The one generator worker: batches queued from the front end (GUI thread or command line) run
// on the worker's own thread, one after another, strictly in queue order. Finished batches are
// kept for the history; a started and a finished event announce each batch through the event
// dispatcher.

#include "app/KSGeneratorBatch.h"
#include "engine/StopEvent.h"
#include "support/KSManualResetEvent.h"
#include "support/KSSynchronizer.h"

#include <atomic>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

class GeneratorWorker : public CStopListener, public IBatchInfoProvider {
public:
    static constexpr std::uint32_t kWakeWaitMilliseconds = 4441;
    static constexpr std::int32_t kBatchStartedEvent = 2;
    static constexpr std::int32_t kBatchFinishedEvent = 3;

    explicit GeneratorWorker(const CKSManualResetEvent& stopEvent = ApplicationStopEvent());
    // Ends the thread (after the batch in hand) and joins it.
    ~GeneratorWorker() override;
    GeneratorWorker(const GeneratorWorker&) = delete;
    GeneratorWorker& operator=(const GeneratorWorker&) = delete;

    // Starts the worker thread; false when it already runs or cannot be created.
    bool Start();
    bool IsRunning() const { return m_running.load(); }

    // Queues a batch; the worker owns it from now on. False only when it cannot be made.
    bool SubmitBatch(std::vector<CKSString> definitionNames, const CKSString& batchName,
                     const CKSString& configFile, const CKSString& destination,
                     std::shared_ptr<IOutput> output, CBatchOptions options = {});
    // Appends the names of the finished batches, oldest first; answers the list's size.
    std::size_t ListBatches(std::vector<CKSString>& names);
    std::unique_ptr<CKSBatchInfo> GetBatchInfo(std::u16string_view name) override;

    // The level of the worker thread's logger (2 shows information lines; 3 adds debug lines).
    void SetLogLevel(int level) { m_logLevel.store(level); }

private:
    void ThreadMain();
    std::unique_ptr<CKSGeneratorBatch> TakeNextBatch();

    const CKSManualResetEvent& m_stopEvent;
    CKSManualResetEvent m_newWork;
    CKSManualResetEvent m_exit;
    CKSSynchronizer m_lock;
    std::deque<std::unique_ptr<CKSGeneratorBatch>> m_queue;
    std::vector<std::unique_ptr<CKSGeneratorBatch>> m_finished;
    std::atomic<int> m_logLevel{2};
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
