#pragma once
// The hash calculator's background thread. The calculator adds one job per file row; the worker
// hashes the jobs one after the other, in the order they were added, stores each result in its
// job and tells its listener which row is done. The caller never waits for a hash: adding a job
// and fetching a result only take the job lock, which the worker never holds while it reads.

#include "support/KSListenerSlot.h"
#include "support/KSString.h"
#include "support/KSSynchronizer.h"
#include "support/KSThread.h"
#include "tools/FileHasher.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// One file row waiting for, or holding, its hash.
struct CKSHashJob {
    CKSString path;
    // Empty until done; after a failure whatever was produced, usually nothing.
    CKSString result;
    // The row index in the calculator's list.
    std::uint32_t id = 0;
    // Algorithm code (kHashCodeCrc ... kHashCodeSha256).
    std::uint32_t kind = 0;
    bool done = false;
    bool succeeded = false;
    // The platform error of a failed open or read; 0 otherwise.
    int error = 0;
};

// Told when a job is finished. Called on the worker thread with the listener slot's lock held (see
// KSListenerSlot; never the job lock): the calculator queues a call carrying the row id and the
// success bit (CDelivery) and returns at once, then fetches the text with TakeJob on its own
// thread.
class IHashWorkerListener {
public:
    virtual ~IHashWorkerListener() = default;
    virtual void OnHashDone(std::uint32_t rowId, bool success) = 0;
    // While a file takes long: the bytes hashed so far, the file's size (0 when unknown) and the
    // time spent on it. At most one call per progress interval, none for a quick file.
    virtual void OnHashProgress(std::uint32_t /*rowId*/, std::uint64_t /*done*/, std::uint64_t /*size*/,
                                std::uint64_t /*elapsedMilliseconds*/) {}
};

class CKSHashWorker final : public CKSThread {
public:
    // The shortest time between two progress reports of one file.
    static constexpr std::uint32_t kProgressIntervalMilliseconds = 100;

    // The thread is judged by the watched event, normally the application's stop event.
    explicit CKSHashWorker(const CKSManualResetEvent* watched);
    // Stops the thread and waits for it; a file being hashed is abandoned at its next read.
    ~CKSHashWorker() override;

    // Not owned; it must outlive the worker's thread or be replaced by null first. Replacing it
    // waits for a callback in progress to return; no callback reaches the old listener after.
    void SetListener(IHashWorkerListener* listener) { m_listener.Set(listener); }

    // A window's worker hashes regular files only: anything else (a FIFO above all, which would
    // hold the thread in open() until a writer came) fails at once. Off by default.
    void SetRegularFilesOnly(bool only) { m_regularFilesOnly.store(only, std::memory_order_relaxed); }

    // How one file is hashed: HashFile, unless a test stands in a file that never answers. Set
    // before the first job.
    using FileHashing = std::function<bool(const CKSString& path, std::uint32_t kind,
                                           const HashFileOptions& options, CKSString& text, int& error)>;
    void SetFileHashing(FileHashing hashing) { m_hashing = std::move(hashing); }

    // Appends a job; starts the thread with the first one; wakes it. False only when the thread
    // could not be started (the job stays queued for the next call).
    bool AddJob(const CKSString& path, std::uint32_t kind, std::uint32_t rowId);
    // The same for many jobs at once (one lock and one wake-up for a drop of thousands of files).
    bool AddJobs(std::vector<CKSHashJob> jobs);
    // A copy of the first job that is not done; false when there is none.
    bool GetNextJob(CKSHashJob& job);
    // Stores the text in the first unfinished job with that id and marks it done.
    bool SetResult(std::uint32_t rowId, const CKSString& text);
    // Copies the result of the first job with that id and removes the job.
    bool TakeResult(std::uint32_t rowId, CKSString& text);
    // The same, handing over the whole job (with its error code).
    bool TakeJob(std::uint32_t rowId, CKSHashJob& job);

protected:
    void Run() override;

private:
    // GetNextJob that, finding nothing, resets the wake event under the same lock, so that a job
    // added meanwhile is never left behind a reset wake-up.
    bool NextJobOrSleep(CKSHashJob& job);
    // The job's hash text; false with the error when the file is unreadable or was abandoned.
    bool HashJob(const CKSHashJob& job, CKSString& text, int& error);
    bool Finish(const CKSHashJob& job, const CKSString& text, bool success, int error);

    CKSSynchronizer m_lock;
    std::deque<CKSHashJob> m_jobs;
    bool m_started = false;
    CKSListenerSlot<IHashWorkerListener> m_listener;
    std::atomic<bool> m_regularFilesOnly{false};
    FileHashing m_hashing;
};
