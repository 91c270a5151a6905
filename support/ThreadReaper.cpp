#include "support/ThreadReaper.h"

#include <algorithm>
#include <chrono>

CThreadReaper::CThreadReaper() : m_reaper([this] { Run(); }) {}

CThreadReaper::~CThreadReaper() {
    Finish(kWaitForever);
}

void CThreadReaper::Adopt(std::unique_ptr<CKSThread> thread) {
    if (!thread) {
        return;
    }
    thread->Abandon();
    std::lock_guard lock(m_mutex);
    m_threads.push_back(std::move(thread));
    m_changed.Set();
}

std::size_t CThreadReaper::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_threads.size();
}

void CThreadReaper::ReapEnded(std::unique_lock<std::mutex>& lock) {
    std::vector<std::unique_ptr<CKSThread>> ended;
    for (auto& thread : m_threads) {
        if (thread->ExitedEvent().IsSet()) {
            ended.push_back(std::move(thread));
        }
    }
    std::erase(m_threads, nullptr);
    lock.unlock();
    ended.clear(); // each has ended: its destructor joins at once
    lock.lock();
}

void CThreadReaper::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Reset before looking: a change from here on (ReapEnded lets the lock go for a moment)
        // leaves the event set, so the wait below cannot miss it.
        m_changed.Reset();
        if (m_finishing) {
            break;
        }
        ReapEnded(lock);
        // Sleeps until a kept thread ends or the list changes; nothing is polled.
        std::vector<const CKSManualResetEvent*> events{&m_changed};
        for (const auto& thread : m_threads) {
            events.push_back(&thread->ExitedEvent());
        }
        lock.unlock();
        CKSManualResetEvent::WaitAny(events, kWaitForever);
        lock.lock();
    }
}

bool CThreadReaper::Finish(std::uint32_t milliseconds) {
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_changed.Set();
    }
    if (m_reaper.joinable()) {
        m_reaper.join();
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock lock(m_mutex);
    for (;;) {
        ReapEnded(lock);
        if (m_threads.empty()) {
            return true;
        }
        std::vector<const CKSManualResetEvent*> events;
        for (const auto& thread : m_threads) {
            events.push_back(&thread->ExitedEvent());
        }
        std::uint32_t wait = kWaitForever;
        if (milliseconds != kWaitForever) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                return false;
            }
            wait = static_cast<std::uint32_t>(std::min<long long>(left, kWaitForever - 1));
        }
        lock.unlock();
        CKSManualResetEvent::WaitAny(events, wait);
        lock.lock();
    }
}
