#include "support/KSManualResetEvent.h"

#include <algorithm>
#include <chrono>

namespace {

std::chrono::steady_clock::time_point DeadlineAfter(std::uint32_t milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

} // namespace

void CKSManualResetEvent::Set() {
    std::lock_guard lock(m_mutex);
    m_set.store(true, std::memory_order_release);
    m_changed.notify_all();
    for (Waiter* waiter : m_waiters) {
        std::lock_guard waiterLock(waiter->mutex);
        waiter->signalled = true;
        waiter->wake.notify_all();
    }
}

void CKSManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_set.store(false, std::memory_order_release);
}

bool CKSManualResetEvent::Wait(std::uint32_t milliseconds) const {
    std::unique_lock lock(m_mutex);
    auto isSet = [this] { return m_set.load(std::memory_order_acquire); };
    if (milliseconds == kWaitForever) {
        m_changed.wait(lock, isSet);
        return true;
    }
    return m_changed.wait_until(lock, DeadlineAfter(milliseconds), isSet);
}

void CKSManualResetEvent::AddWaiter(Waiter* waiter) const {
    std::lock_guard lock(m_mutex);
    m_waiters.push_back(waiter);
    if (IsSet()) {
        std::lock_guard waiterLock(waiter->mutex);
        waiter->signalled = true;
    }
}

void CKSManualResetEvent::RemoveWaiter(Waiter* waiter) const {
    std::lock_guard lock(m_mutex);
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), waiter), m_waiters.end());
}

int CKSManualResetEvent::WaitAny(std::span<const CKSManualResetEvent* const> events,
                                 std::uint32_t milliseconds) {
    auto firstSet = [&events]() -> int {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i] != nullptr && events[i]->IsSet()) {
                return static_cast<int>(i);
            }
        }
        return kWaitTimeout;
    };
    if (const int index = firstSet(); index != kWaitTimeout || milliseconds == 0) {
        return index;
    }
    Waiter waiter;
    for (const CKSManualResetEvent* event : events) {
        if (event != nullptr) {
            event->AddWaiter(&waiter);
        }
    }
    const auto deadline = DeadlineAfter(milliseconds);
    int result = kWaitTimeout;
    for (;;) {
        {
            std::unique_lock lock(waiter.mutex);
            if (milliseconds == kWaitForever) {
                waiter.wake.wait(lock, [&] { return waiter.signalled; });
            } else if (!waiter.wake.wait_until(lock, deadline, [&] { return waiter.signalled; })) {
                break;
            }
            waiter.signalled = false;
        }
        // An event may have been reset again before we looked; then keep waiting.
        result = firstSet();
        if (result != kWaitTimeout) {
            break;
        }
    }
    for (const CKSManualResetEvent* event : events) {
        if (event != nullptr) {
            event->RemoveWaiter(&waiter);
        }
    }
    if (result == kWaitTimeout) {
        result = firstSet();
    }
    return result;
}
