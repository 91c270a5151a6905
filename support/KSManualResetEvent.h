#pragma once
// A manual-reset event: once Set it stays set, waking every waiter, until Reset. Waits take a
// time-out in milliseconds (kWaitForever for none) and can watch several events at once.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <vector>

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;
// Answer of WaitAny when no event became set in time.
inline constexpr int kWaitTimeout = -1;

class CKSManualResetEvent {
public:
    explicit CKSManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}
    ~CKSManualResetEvent() = default;
    CKSManualResetEvent(const CKSManualResetEvent&) = delete;
    CKSManualResetEvent& operator=(const CKSManualResetEvent&) = delete;

    void Set();
    void Reset();
    // A zero-time look, cheap enough for every block of a generated file.
    bool IsSet() const { return m_set.load(std::memory_order_acquire); }
    // True when the event is (or becomes) set within the time.
    bool Wait(std::uint32_t milliseconds) const;

    // Index of the first set event in the list, or kWaitTimeout. Null entries are skipped.
    static int WaitAny(std::span<const CKSManualResetEvent* const> events, std::uint32_t milliseconds);
    static int WaitAny(std::initializer_list<const CKSManualResetEvent*> events, std::uint32_t milliseconds) {
        return WaitAny(std::span(events.begin(), events.size()), milliseconds);
    }

private:
    // A thread waiting on several events at once; each event it watches wakes it.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable wake;
        bool signalled = false;
    };
    void AddWaiter(Waiter* waiter) const;
    void RemoveWaiter(Waiter* waiter) const;

    std::atomic<bool> m_set;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable std::vector<Waiter*> m_waiters;
};
