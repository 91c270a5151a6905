#pragma once
// The one generator worker: batches queued from the front end (GUI thread or command line) run
// on the worker's own thread, one after another, strictly in queue order. Finished batches are
// kept for the history; a started and a finished event (CKSEvent::kBatchStarted and
// kBatchFinished) announce each batch through the event dispatcher.
//
// The thread is judged by a stop event (the command line's Ctrl-C event, the application's stop
// event unless told otherwise) and by Stop: once either came the worker runs what is queued (its
// generators stop at once) and ends. Shutdown waits for it a bounded time (WaitForExit); a worker
// whose thread still runs must not be destroyed, see AwaitWorkerOrEndProcess.

#include "app/KSGeneratorBatch.h"
#include "engine/StopEvent.h"
#include "support/KSManualResetEvent.h"
#include "support/KSSynchronizer.h"
#include "support/KSThread.h"

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

class GeneratorWorker final : public CKSThread, public CStopListener, public IBatchInfoProvider {
public:
    // The longest shutdown waits for the worker thread after setting the stop event.
    // A stopped generator ends after the block in hand, which even a slow device writes in well
    // under this; past it the worker is taken to be stuck in the system.
    static constexpr std::uint32_t kShutdownWaitMilliseconds = 13797;

    // Judged by the event as well as by Stop; null for Stop alone.
    explicit GeneratorWorker(const CKSManualResetEvent* stopEvent = &ApplicationStopEvent());
    explicit GeneratorWorker(const CKSManualResetEvent& stopEvent) : GeneratorWorker(&stopEvent) {}
    // Ends the thread (after the batches in hand) and joins it, without a time limit.
    ~GeneratorWorker() override;
    GeneratorWorker(const GeneratorWorker&) = delete;
    GeneratorWorker& operator=(const GeneratorWorker&) = delete;

    // Start (false when it already runs or cannot be created), IsRunning (started and the stop
    // event not set), WaitForExit (bounded wait, true once the thread has ended) and ExitedEvent
    // come from CKSThread.

    // Queues a batch; the worker owns it from now on. Answers the batch's control (its own stop
    // and live progress), null only when the batch cannot be made.
    std::shared_ptr<CKSBatchControl> SubmitBatch(std::vector<CKSString> definitionNames,
                                                 const CKSString& batchName, const CKSString& configFile,
                                                 const CKSString& destination,
                                                 std::shared_ptr<IOutput> output, CBatchOptions options = {});
    // Appends the names of the finished batches, oldest first; answers the list's size.
    std::size_t ListBatches(std::vector<CKSString>& names);
    std::unique_ptr<CKSBatchInfo> GetBatchInfo(std::u16string_view name) override;
    std::unique_ptr<CKSBatchInfo> GetBatchInfo(std::size_t index) override;
    // The same, the batch's records taken instead of copied: for a caller that asks no more of
    // that batch (the command line, once its batch is done).
    std::unique_ptr<CKSBatchInfo> TakeBatchInfo(std::size_t index);

    // Ends the worker soon, whatever event it watches: the batch in hand stops after the block in
    // hand, the queued ones create no generator, and the thread ends. Any thread.
    void Stop();

    // The level of the worker thread's logger (2 shows information lines; 3 adds debug lines).
    void SetLogLevel(int level) { m_logLevel.store(level); }

protected:
    void Run() override;

private:
    std::unique_ptr<CKSGeneratorBatch> TakeNextBatch();

    CKSSynchronizer m_lock;
    std::deque<std::unique_ptr<CKSGeneratorBatch>> m_queue;
    // The control of the batch in hand, so that Stop reaches its generators.
    std::shared_ptr<CKSBatchControl> m_running;
    bool m_stopping = false;
    std::vector<std::unique_ptr<CKSGeneratorBatch>> m_finished;
    std::atomic<int> m_logLevel{2};
};

// Ends the process at once with the exit code, deliberately: the log is flushed and closed
// first (when given), then std::_Exit skips every destructor, so that no object a running
// thread still uses is destroyed under it.
[[noreturn]] void EndProcessNow(int exitCode, CKSLogger* log);

// Shutdown's wait for the worker: up to the time for its thread to end. When it has not ended
// by then (a generator hung in a system call, say), logs why and ends the process with the exit
// code (EndProcessNow) instead of returning to destroy a worker whose thread still runs.
void AwaitWorkerOrEndProcess(GeneratorWorker& worker, std::uint32_t milliseconds, CKSLogger* log,
                             int exitCode);
