#include "tools/KSHashWorker.h"

#include "support/KSWinCrypto.h"
#include "tools/FileHasher.h"
#include "tools/HashKinds.h"

#include <chrono>

CKSHashWorker::CKSHashWorker(const CKSManualResetEvent* watched) : CKSThread(watched) {}

CKSHashWorker::~CKSHashWorker() {
    StopAndJoin();
}

bool CKSHashWorker::AddJob(const CKSString& path, std::uint32_t kind, std::uint32_t rowId) {
    CAutoLock lock(m_lock);
    CKSHashJob job;
    job.path = path;
    job.kind = kind;
    job.id = rowId;
    m_jobs.push_back(std::move(job));
    if (!m_started) {
        m_started = Start();
    }
    Wake();
    return m_started;
}

bool CKSHashWorker::AddJobs(std::vector<CKSHashJob> jobs) {
    CAutoLock lock(m_lock);
    for (CKSHashJob& job : jobs) {
        job.result = CKSString();
        job.done = false;
        job.succeeded = false;
        job.error = 0;
        m_jobs.push_back(std::move(job));
    }
    if (!m_started) {
        m_started = Start();
    }
    Wake();
    return m_started;
}

bool CKSHashWorker::GetNextJob(CKSHashJob& job) {
    CAutoLock lock(m_lock);
    for (const CKSHashJob& queued : m_jobs) {
        if (!queued.done) {
            job = queued;
            return true;
        }
    }
    return false;
}

bool CKSHashWorker::NextJobOrSleep(CKSHashJob& job) {
    CAutoLock lock(m_lock);
    if (GetNextJob(job)) {
        return true;
    }
    WakeEvent().Reset();
    return false;
}

bool CKSHashWorker::SetResult(std::uint32_t rowId, const CKSString& text) {
    CAutoLock lock(m_lock);
    for (CKSHashJob& queued : m_jobs) {
        // A finished job that was never taken (a failure stays queued) may share the id of a
        // later row; storing into it would leave the later job to be hashed for ever.
        if (queued.id == rowId && !queued.done) {
            queued.result = text;
            queued.done = true;
            return true;
        }
    }
    return false;
}

bool CKSHashWorker::Finish(const CKSHashJob& job, const CKSString& text, bool success, int error) {
    CAutoLock lock(m_lock);
    for (CKSHashJob& queued : m_jobs) {
        if (queued.id == job.id && !queued.done) {
            queued.result = text;
            queued.done = true;
            queued.succeeded = success;
            queued.error = error;
            return true;
        }
    }
    return false;
}

bool CKSHashWorker::TakeResult(std::uint32_t rowId, CKSString& text) {
    CKSHashJob job;
    if (!TakeJob(rowId, job)) {
        return false;
    }
    text = job.result;
    return true;
}

bool CKSHashWorker::TakeJob(std::uint32_t rowId, CKSHashJob& job) {
    CAutoLock lock(m_lock);
    for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it) {
        if (it->id == rowId) {
            job = std::move(*it);
            m_jobs.erase(it);
            return true;
        }
    }
    return false;
}

bool CKSHashWorker::HashJob(const CKSHashJob& job, CKSString& text, int& error) {
    // CRC-32 is computed as the CRC file calculator does it (least significant byte first); one
    // reading path for every kind gives them all the same refusal of non-regular files and the
    // same progress reports.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    Clock::time_point nextReport = started + std::chrono::milliseconds(kProgressIntervalMilliseconds);
    HashFileOptions options;
    options.keepGoing = [this] { return IsRunning(); };
    options.regularFilesOnly = m_regularFilesOnly.load(std::memory_order_relaxed);
    options.progress = [&](std::uint64_t done, std::uint64_t size) {
        const Clock::time_point now = Clock::now();
        if (now < nextReport) {
            return;
        }
        nextReport = now + std::chrono::milliseconds(kProgressIntervalMilliseconds);
        const auto elapsed = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now - started).count());
        m_listener.Notify(
            [&](IHashWorkerListener& listener) { listener.OnHashProgress(job.id, done, size, elapsed); });
    };
    if (m_hashing) {
        return m_hashing(job.path, job.kind, options, text, error);
    }
    return HashFile(job.path, job.kind, &CDebugErrHandler::Instance(), text, error, options);
}

void CKSHashWorker::Run() {
    while (IsRunning()) {
        if (!WaitForWake(kWaitForever)) {
            continue;
        }
        CKSHashJob job;
        if (!NextJobOrSleep(job)) {
            continue;
        }
        CKSString text;
        int error = 0;
        const bool success = HashJob(job, text, error);
        // A job taken away meanwhile is simply gone; there is nobody left to tell.
        if (Finish(job, text, success, error)) {
            m_listener.Notify([&](IHashWorkerListener& listener) { listener.OnHashDone(job.id, success); });
        }
    }
}
