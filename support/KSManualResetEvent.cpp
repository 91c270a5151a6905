#include "support/KSManualResetEvent.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

std::chrono::steady_clock::time_point DeadlineAfter(std::uint32_t milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

} // namespace

void CKSManualResetEvent::Signal(Waiter& waiter, int index) {
    std::lock_guard waiterLock(waiter.mutex);
    waiter.signalled = true;
    waiter.firstSetIndex = std::min(waiter.firstSetIndex, index);
    waiter.wake.notify_all();
}

void CKSManualResetEvent::Set() {
    std::lock_guard lock(m_mutex);
    m_set.store(true, std::memory_order_release);
    ++m_generation;
    m_changed.notify_all();
    for (const Registration& registration : m_waiters) {
        Signal(*registration.waiter, registration.index);
    }
}

void CKSManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_set.store(false, std::memory_order_release);
}

bool CKSManualResetEvent::Wait(std::uint32_t milliseconds) const {
    if (milliseconds == 0) {
        // A look, not a wait: a timed wait that is already due still sleeps for the timer's
        // slack, which a generator polling after every file would pay each time.
        return IsSet();
    }
    std::unique_lock lock(m_mutex);
    const std::uint64_t generation = m_generation;
    auto released = [this, generation] {
        return m_set.load(std::memory_order_acquire) || m_generation != generation;
    };
    if (milliseconds == kWaitForever) {
        m_changed.wait(lock, released);
        return true;
    }
    return m_changed.wait_until(lock, DeadlineAfter(milliseconds), released);
}

void CKSManualResetEvent::AddWaiter(Waiter* waiter, int index) const {
    std::lock_guard lock(m_mutex);
    m_waiters.push_back({waiter, index});
    if (IsSet()) {
        Signal(*waiter, index);
    }
}

void CKSManualResetEvent::RemoveWaiter(Waiter* waiter) const {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_waiters,
                  [waiter](const Registration& registration) { return registration.waiter == waiter; });
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
    const bool anyEvent =
        std::any_of(events.begin(), events.end(), [](const auto* event) { return event != nullptr; });
    if (!anyEvent) {
        if (milliseconds != kWaitForever) {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }
        return kWaitTimeout;
    }
    Waiter waiter;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] != nullptr) {
            events[i]->AddWaiter(&waiter, static_cast<int>(i));
        }
    }
    {
        std::unique_lock lock(waiter.mutex);
        auto signalled = [&waiter] { return waiter.signalled; };
        if (milliseconds == kWaitForever) {
            waiter.wake.wait(lock, signalled);
        } else {
            waiter.wake.wait_until(lock, DeadlineAfter(milliseconds), signalled);
        }
    }
    for (const CKSManualResetEvent* event : events) {
        if (event != nullptr) {
            event->RemoveWaiter(&waiter);
        }
    }
    // Prefer what is set now (lowest index first); an event that was set and reset again during
    // the wait still released it, as a Set releases every waiter.
    int result = firstSet();
    if (result == kWaitTimeout && waiter.firstSetIndex != Waiter::kNone) {
        result = waiter.firstSetIndex;
    }
    return result;
}
