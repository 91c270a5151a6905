// The reaper takes threads that nobody waits for: it abandons them at once, destroys each as soon
// as it has ended, and at the end waits for the rest no longer than it is told.

#include "support/ThreadReaper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A thread stuck in something it cannot be woken from (a read of a hung file) until the test
// releases it; it counts its abandonment and its destruction.
class StuckThread : public CKSThread {
public:
    StuckThread(CKSManualResetEvent& release, std::atomic<int>& destroyed)
        : CKSThread(nullptr), m_release(release), m_destroyed(destroyed) {}
    ~StuckThread() override {
        StopAndJoin();
        ++m_destroyed;
    }
    void Abandon() override {
        m_abandoned = true;
        CKSThread::Abandon();
    }
    bool WasAbandoned() const { return m_abandoned.load(); }

protected:
    void Run() override { m_release.Wait(kWaitForever); }

private:
    CKSManualResetEvent& m_release;
    std::atomic<int>& m_destroyed;
    std::atomic<bool> m_abandoned{false};
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

} // namespace

TEST(ThreadReaper, EndedThreadsGoAtOnceAndAStuckOneIsKeptPastItsBoundUntilItEnds) {
    std::atomic<int> destroyed{0};
    CKSManualResetEvent released(true);
    CKSManualResetEvent stuckRelease;
    CThreadReaper reaper;

    // A thread that ends as soon as it runs is destroyed by the reaper without anybody asking.
    auto quick = std::make_unique<StuckThread>(released, destroyed);
    ASSERT_TRUE(quick->Start());
    reaper.Adopt(std::move(quick));
    EXPECT_TRUE(WaitFor([&] { return destroyed.load() == 1; }));

    // A stuck one is told to stop (abandoned) and kept while it runs; adopting never waits.
    auto stuck = std::make_unique<StuckThread>(stuckRelease, destroyed);
    ASSERT_TRUE(stuck->Start());
    const StuckThread& stuckSeen = *stuck;
    const auto adopting = Clock::now();
    reaper.Adopt(std::move(stuck));
    EXPECT_LT(Clock::now() - adopting, 100ms);
    EXPECT_TRUE(stuckSeen.WasAbandoned());
    reaper.Adopt(nullptr);
    EXPECT_EQ(reaper.Pending(), 1u);

    // The end waits no longer than its bound, and keeps what is still running.
    const auto finishing = Clock::now();
    EXPECT_FALSE(reaper.Finish(150));
    const auto waited = Clock::now() - finishing;
    EXPECT_GE(waited, 140ms);
    EXPECT_LT(waited, 1000ms);
    EXPECT_EQ(reaper.Pending(), 1u);
    EXPECT_EQ(destroyed.load(), 1);

    // Once it ends, a second Finish takes it.
    stuckRelease.Set();
    EXPECT_TRUE(reaper.Finish(5000));
    EXPECT_EQ(reaper.Pending(), 0u);
    EXPECT_EQ(destroyed.load(), 2);
}

TEST(ThreadReaper, ManyThreadsEndingInAnyOrderAreEachReaped) {
    std::atomic<int> destroyed{0};
    constexpr int kThreads = 12;
    std::vector<std::unique_ptr<CKSManualResetEvent>> releases;
    CThreadReaper reaper;
    for (int i = 0; i < kThreads; ++i) {
        releases.push_back(std::make_unique<CKSManualResetEvent>());
        auto thread = std::make_unique<StuckThread>(*releases.back(), destroyed);
        ASSERT_TRUE(thread->Start());
        reaper.Adopt(std::move(thread));
    }
    // Released from the last to the first: the reaper does not wait on its oldest thread.
    for (int i = kThreads - 1; i >= 0; --i) {
        releases[static_cast<std::size_t>(i)]->Set();
        EXPECT_TRUE(WaitFor([&] { return destroyed.load() == kThreads - i; })) << i;
    }
    EXPECT_EQ(reaper.Pending(), 0u);
    EXPECT_TRUE(reaper.Finish(0));
}

TEST(ThreadReaper, TheEndAskedForWhileAThreadIsBeingDestroyedIsHeard) {
    // The reaper lets its lock go while it destroys an ended thread; the end asked for meanwhile
    // must still wake it (a lost wake-up would leave Finish waiting for ever).
    class SlowToDestroy : public CKSThread {
    public:
        explicit SlowToDestroy(std::atomic<bool>& destroying)
            : CKSThread(nullptr), m_destroying(destroying) {}
        ~SlowToDestroy() override {
            StopAndJoin();
            m_destroying = true;
            std::this_thread::sleep_for(50ms);
        }

    protected:
        void Run() override {}

    private:
        std::atomic<bool>& m_destroying;
    };
    for (int round = 0; round < 5; ++round) {
        std::atomic<bool> destroying{false};
        CThreadReaper reaper;
        auto thread = std::make_unique<SlowToDestroy>(destroying);
        ASSERT_TRUE(thread->Start());
        reaper.Adopt(std::move(thread));
        ASSERT_TRUE(WaitFor([&] { return destroying.load(); }));
        const auto finishing = Clock::now();
        EXPECT_TRUE(reaper.Finish(5000));
        EXPECT_LT(Clock::now() - finishing, 2s);
    }
}
