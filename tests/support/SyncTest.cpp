// Events, locks and the tool thread.

#include "support/KSManualResetEvent.h"
#include "support/KSSynchronizer.h"
#include "support/KSThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

TEST(Event, ManualResetStaysSetUntilReset) {
    CKSManualResetEvent event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(kWaitForever));
    EXPECT_TRUE(event.IsSet()); // waiting does not consume it
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_TRUE(CKSManualResetEvent(true).IsSet());

    const auto start = Clock::now();
    EXPECT_FALSE(event.Wait(120));
    EXPECT_GE(MillisecondsSince(start), 110);
}

TEST(Event, SetWakesEveryWaiter) {
    CKSManualResetEvent event;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] { woken += event.Wait(kWaitForever) ? 1 : 0; });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    event.Set();
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(woken, 3);
}

TEST(Event, ASetFollowedAtOnceByAResetStillReleasesWaiters) {
    CKSManualResetEvent event;
    CKSManualResetEvent other;
    std::atomic<bool> single{false};
    std::atomic<int> any{-2};
    std::thread waiter([&] { single = event.Wait(5000); });
    std::thread multi([&] { any = CKSManualResetEvent::WaitAny({&other, &event}, 5000); });
    // Time for both threads to begin waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    event.Set();
    event.Reset();
    waiter.join();
    multi.join();
    EXPECT_TRUE(single);
    EXPECT_EQ(any, 1);
}

TEST(Event, WaitAnyAnswersTheLowestSetIndex) {
    CKSManualResetEvent a;
    CKSManualResetEvent b;
    CKSManualResetEvent c;
    EXPECT_EQ(CKSManualResetEvent::WaitAny({&a, &b, &c}, 0), kWaitTimeout);
    c.Set();
    b.Set();
    EXPECT_EQ(CKSManualResetEvent::WaitAny({&a, &b, &c}, 0), 1);
    EXPECT_EQ(CKSManualResetEvent::WaitAny({nullptr, &c}, 0), 1);
    b.Reset();
    c.Reset();

    const auto start = Clock::now();
    EXPECT_EQ(CKSManualResetEvent::WaitAny({&a, &b}, 100), kWaitTimeout);
    EXPECT_GE(MillisecondsSince(start), 90);

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        c.Set();
    });
    EXPECT_EQ(CKSManualResetEvent::WaitAny({&a, nullptr, &c}, kWaitForever), 2);
    setter.join();
}

TEST(Event, WaitAnyWithoutEventsOnlyLetsTimePass) {
    const auto start = Clock::now();
    EXPECT_EQ(CKSManualResetEvent::WaitAny({nullptr, nullptr}, 50), kWaitTimeout);
    EXPECT_GE(MillisecondsSince(start), 45);
    // An unlimited wait on nothing could never end: it answers at once.
    EXPECT_EQ(CKSManualResetEvent::WaitAny(std::span<const CKSManualResetEvent* const>(), kWaitForever),
              kWaitTimeout);
}

TEST(Synchronizer, TryLockMakesItsAttemptsEvery50Milliseconds) {
    CKSSynchronizer lock;
    EXPECT_FALSE(lock.TryLock(0)); // no attempt at all
    EXPECT_TRUE(lock.TryLock(100));
    EXPECT_TRUE(lock.TryLock(100)); // recursive, like a critical section
    lock.Unlock();
    lock.Unlock();

    CKSManualResetEvent locked;
    CKSManualResetEvent release;
    std::thread holder([&] {
        lock.Lock();
        locked.Set();
        release.Wait(kWaitForever);
        lock.Unlock();
    });
    ASSERT_TRUE(locked.Wait(10000));
    const auto start = Clock::now();
    EXPECT_FALSE(lock.TryLock(100));
    const long long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 95); // two attempts with a 50 ms sleep after each
    EXPECT_LT(waited, 1000);
    {
        CTryAutoLock busy(lock);
        EXPECT_FALSE(busy.IsLocked());
    }
    release.Set();
    holder.join();
    {
        CTryAutoLock free(lock);
        EXPECT_TRUE(free.IsLocked());
    }
    CTryAutoLock none(nullptr);
    EXPECT_FALSE(none.IsLocked());
    CAutoLock nothing(nullptr);

    CKSMutex mutex;
    EXPECT_TRUE(mutex.TryLock(0));
    mutex.Unlock();
}

namespace {

// Counts wakes until stopped; each wake hands it one unit of work.
class CountingThread : public CKSThread {
public:
    explicit CountingThread(const CKSManualResetEvent* watched) : CKSThread(watched) {}
    ~CountingThread() override { StopAndJoin(); }

    std::atomic<int> wakes{0};
    std::atomic<int> timeouts{0};
    std::atomic<bool> sawRunning{false};

protected:
    void Run() override {
        sawRunning = IsRunning();
        while (IsRunning()) {
            if (WaitForWake(2000)) {
                WakeEvent().Reset();
                if (IsRunning()) {
                    ++wakes;
                }
            } else {
                ++timeouts;
            }
        }
    }
};

class WatchingThread : public CKSThread {
public:
    explicit WatchingThread(const CKSManualResetEvent* watched) : CKSThread(watched) {}
    ~WatchingThread() override { StopAndJoin(); }
    std::atomic<bool> wakeAnswer{true};
    std::atomic<bool> watchedAnswer{false};

protected:
    void Run() override {
        wakeAnswer = WaitForWake(kWaitForever);
        watchedAnswer = WaitForWatched(0);
    }
};

} // namespace

TEST(Thread, WakesRunWorkAndSignalStopEndsTheThread) {
    CKSManualResetEvent stop;
    CountingThread thread(&stop);
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_TRUE(thread.Start());
    EXPECT_FALSE(thread.Start()); // already running
    EXPECT_TRUE(thread.IsRunning());
    for (int i = 0; i < 3; ++i) {
        thread.Wake();
        const auto start = Clock::now();
        while (thread.wakes < i + 1 && MillisecondsSince(start) < 2000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_EQ(thread.wakes, 3);
    thread.SignalStop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.WaitForExit(2000));
    EXPECT_TRUE(thread.sawRunning);
    EXPECT_EQ(thread.timeouts, 0);
    // It can be started again after it ended.
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.IsRunning());
}

TEST(Thread, TheWatchedEventEndsTheWaitWithoutAWake) {
    CKSManualResetEvent stop;
    WatchingThread thread(&stop);
    ASSERT_TRUE(thread.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop.Set();
    EXPECT_FALSE(thread.IsRunning()); // judged by the watched event
    ASSERT_TRUE(thread.WaitForExit(2000));
    EXPECT_FALSE(thread.wakeAnswer);
    EXPECT_TRUE(thread.watchedAnswer);
}

TEST(Thread, WaitForExitTimesOutOnABusyThread) {
    CKSManualResetEvent stop;
    CountingThread thread(&stop);
    EXPECT_TRUE(thread.WaitForExit(0)); // never started: nothing to wait for
    ASSERT_TRUE(thread.Start());
    const auto start = Clock::now();
    EXPECT_FALSE(thread.WaitForExit(100));
    EXPECT_GE(MillisecondsSince(start), 95);
    thread.SignalStop();
    EXPECT_TRUE(thread.WaitForExit(kWaitForever));
}

TEST(Thread, WithoutAWatchedEventOnlyTheFlagCounts) {
    CountingThread thread(nullptr);
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.IsRunning());
    thread.Wake();
    thread.SignalStop();
    EXPECT_TRUE(thread.WaitForExit(2000));
    EXPECT_FALSE(thread.IsRunning());
}
