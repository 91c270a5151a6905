#include "support/KSWorker.h"

#include "support/KSException.h"
#include "support/KSLogger.h"

#include <algorithm>
#include <chrono>
#include <unistd.h>
#include <vector>

CKSWorkerPump::CKSWorkerPump(int index)
    : m_name(KSFormatCapped(64, std::u16string_view(u"Local\\FKMWP%d"), index)), m_index(index) {}

CKSWorkerPump::~CKSWorkerPump() {
    DeleteAll();
    if (m_thread.joinable()) {
        SignalStop();
        m_thread.join();
    }
}

void CKSWorkerPump::Add(std::unique_ptr<CKSWorker> job) {
    CAutoLock lock(m_lock);
    m_queue.push_back(std::move(job));
    m_queued.store(m_queue.size(), std::memory_order_relaxed);
    m_jobAdded.Set();
}

bool CKSWorkerPump::WaitStopOrJob() {
    const CKSManualResetEvent* const events[] = {&m_stopEvent, &m_jobAdded};
    return CKSManualResetEvent::WaitAny(events, kStopWaitMilliseconds) == 0;
}

std::unique_ptr<CKSWorker> CKSWorkerPump::PopFront() {
    CAutoLock lock(m_lock);
    if (m_queue.empty()) {
        return nullptr;
    }
    std::unique_ptr<CKSWorker> job = std::move(m_queue.front());
    m_queue.pop_front();
    m_queued.store(m_queue.size(), std::memory_order_relaxed);
    return job;
}

std::size_t CKSWorkerPump::DeleteAll() {
    std::size_t count = 0;
    while (PopFront() != nullptr) {
        ++count;
    }
    return count;
}

std::size_t CKSWorkerPump::QueueLength() const {
    return m_queued.load(std::memory_order_relaxed);
}

bool CKSWorkerPump::HasWork() {
    CAutoLock lock(m_lock);
    return !m_queue.empty() || m_jobRunning.load();
}

bool CKSWorkerPump::IsRunning() {
    CTryAutoLock lock(m_lock);
    if (!lock.IsLocked()) {
        return true;
    }
    return m_alive.load();
}

bool CKSWorkerPump::Start() {
    CAutoLock lock(m_lock);
    if (m_alive.load()) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join(); // the previous thread has ended; collect it
    }
    m_description =
        CKSString(KSFormatCapped(128, std::u16string_view(u"Batch with %u job(s)"), m_queue.size()));
    m_stopEvent.Reset(); // a stop meant for an earlier thread must not end this one
    m_alive = true;
    try {
        m_thread = std::thread(&CKSWorkerPump::ThreadMain, this);
    } catch (const std::system_error&) {
        m_alive = false;
        return false;
    }
    return true;
}

bool CKSWorkerPump::Finish(bool stopped) {
    CAutoLock lock(m_lock);
    if (m_queue.empty() || stopped || m_stopEvent.IsSet()) {
        m_stopEvent.Reset();
        // Cleared under the lock: a Start that sees the pump idle can rely on this thread never
        // taking another job, so nothing added meanwhile is left waiting for the next Start.
        m_alive = false;
        return true;
    }
    return false;
}

void CKSWorkerPump::EndAfterException() {
    JobEnded();
    CAutoLock lock(m_lock);
    m_alive = false;
}

std::unique_ptr<CKSWorker> CKSWorkerPump::TakeJob() {
    CAutoLock lock(m_lock);
    if (m_queue.empty()) {
        m_jobAdded.Reset(); // under the lock that Add sets it under: no job slips in between
        return nullptr;
    }
    std::unique_ptr<CKSWorker> job = std::move(m_queue.front());
    m_queue.pop_front();
    m_queued.store(m_queue.size(), std::memory_order_relaxed);
    m_jobRunning = true; // set under the lock, so HasWork never sees neither queue nor job
    return job;
}

void CKSWorkerPump::JobEnded() {
    m_jobRunning = false;
    if (m_activity != nullptr) {
        m_activity->Set();
    }
}

void CKSWorkerPump::ThreadMain() {
    // No output is attached: the pump's own messages reach no sink, as intended.
    CKSAuxLogger logger("ai");
    logger.InfoF("Running pump: %s on thread 0x%X", m_name, static_cast<std::uint32_t>(::gettid()));
    try {
        for (;;) {
            int idle = 0;
            bool stopped = false;
            for (;;) {
                if (std::unique_ptr<CKSWorker> job = TakeJob()) {
                    job->Run();
                    job.reset();
                    JobEnded();
                    idle = 0;
                    // The next queued job starts at once: a wait here would cost every job of
                    // a long queue (thousands of small definitions) the whole pause.
                    if (m_stopEvent.IsSet()) {
                        stopped = true;
                        break;
                    }
                    continue;
                }
                if (++idle > kIdlePassesBeforeEnd) {
                    break;
                }
                if (WaitStopOrJob()) {
                    stopped = true;
                    break;
                }
            }
            // A job queued after the idle count ran out would otherwise wait for the next Start.
            if (Finish(stopped)) {
                if (m_activity != nullptr) {
                    m_activity->Set();
                }
                return;
            }
        }
    } catch (const CKSException& exception) {
        logger.ErrorF("EXCEPTION: %s", exception);
    } catch (const std::exception& exception) {
        // Anything else a job lets escape (out of memory, say) ends this pump, not the process.
        logger.ErrorF("EXCEPTION: %s", exception.what());
    } catch (...) {
        logger.ErrorF("EXCEPTION: %s", "unknown");
    }
    // The remaining jobs stay queued, as after any failed job.
    EndAfterException();
    if (m_activity != nullptr) {
        m_activity->Set();
    }
}

CKSWorkerList::CKSWorkerList() {
    for (int i = 0; i < kPumpCount; ++i) {
        m_pumps[static_cast<std::size_t>(i)] = std::make_unique<CKSWorkerPump>(i);
        m_pumps[static_cast<std::size_t>(i)]->SetActivityEvent(&m_activity);
    }
}

CKSWorkerList::~CKSWorkerList() = default;

void CKSWorkerList::Add(std::unique_ptr<CKSWorker> job) {
    CAutoLock lock(m_lock);
    Pump(m_next).Add(std::move(job));
    m_next = (m_next + 1) % m_spread;
}

void CKSWorkerList::SetSpread(int pumps) {
    CAutoLock lock(m_lock);
    m_spread = std::clamp(pumps, 1, kPumpCount);
    m_next = 0;
}

void CKSWorkerList::StartAll() {
    for (auto& pump : m_pumps) {
        if (pump->QueueLength() > 0) {
            pump->Start();
        }
    }
}

bool CKSWorkerList::StopAll() {
    bool any = false;
    for (auto& pump : m_pumps) {
        if (pump->IsRunning()) {
            pump->SignalStop();
            any = true;
        }
    }
    return any;
}

int CKSWorkerList::CountRunning() {
    int running = 0;
    for (auto& pump : m_pumps) {
        running += pump->IsRunning() ? 1 : 0;
    }
    return running;
}

bool CKSWorkerList::AnyWork() {
    for (auto& pump : m_pumps) {
        if (pump->HasWork()) {
            return true;
        }
    }
    return false;
}

void CKSWorkerList::WaitForRoom(std::size_t jobs, std::span<const CKSManualResetEvent* const> stopEvents) {
    const auto queued = [this] {
        std::size_t count = 0;
        for (auto& pump : m_pumps) {
            count += pump->QueueLength();
        }
        return count;
    };
    // Looks now and then instead of being woken by every job that ends: the pumps drain half the
    // queue in far more than a pause, and a wake-up per job would cost more than the job.
    for (std::size_t limit = jobs; queued() > limit; limit = jobs / 2) {
        if (CKSManualResetEvent::WaitAny(stopEvents, kRoomPollMilliseconds) != kWaitTimeout) {
            return;
        }
    }
}

bool CKSWorkerList::WaitAll(const CKSManualResetEvent* stopEvent, std::uint32_t timeoutMilliseconds) {
    const CKSManualResetEvent* const stopEvents[] = {stopEvent};
    return WaitAll(stopEvents, timeoutMilliseconds);
}

bool CKSWorkerList::WaitAll(std::span<const CKSManualResetEvent* const> stopEvents,
                            std::uint32_t timeoutMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    bool stopped = false;
    for (;;) {
        // Reset before looking, so that a pump finishing after the look wakes the wait below.
        m_activity.Reset();
        if (stopped || !AnyWork()) {
            // Nothing left to run (or a stop): idle pumps end now instead of waiting out their
            // idle passes, and stopped ones after the job in hand.
            StopAll();
            if (CountRunning() == 0) {
                return true;
            }
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        // The stop events and the pumps' activity wake the wait; nothing needs polling.
        const auto wait = static_cast<std::uint32_t>(std::min<long long>(left, kWaitForever - 1));
        // Once stopped, the stop event stays set: then only the pumps' activity is waited for.
        std::vector<const CKSManualResetEvent*> events;
        if (!stopped) {
            events.assign(stopEvents.begin(), stopEvents.end());
        }
        const auto stopCount = static_cast<int>(events.size());
        events.push_back(&m_activity);
        const int woken = CKSManualResetEvent::WaitAny(events, wait);
        if (woken >= 0 && woken < stopCount) {
            stopped = true;
        }
    }
}
