#pragma once
// A manual-reset event: once Set it stays set, waking every waiter, until Reset. Waits take a
// time-out in milliseconds (kWaitForever for none) and can watch several events at once. A Set
// releases every thread waiting at that moment even when a Reset follows at once.

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

    // Index of the first set event in the list (or of the first one set and reset again during
    // the wait), or kWaitTimeout. Null entries are skipped; a list without any event just lets
    // the time pass (at once for kWaitForever, which could never end).
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
        // Lowest list index of an event set during the wait; kNone while none was.
        static constexpr int kNone = 0x7FFFFFFF;
        int firstSetIndex = kNone;
    };
    struct Registration {
        Waiter* waiter;
        int index;
    };
    void AddWaiter(Waiter* waiter, int index) const;
    void RemoveWaiter(Waiter* waiter) const;
    static void Signal(Waiter& waiter, int index);

    std::atomic<bool> m_set;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    // Counts the Set calls, so that a waiter notices a Set even when a Reset came before it woke.
    std::uint64_t m_generation = 0;
    mutable std::vector<Registration> m_waiters;
};
