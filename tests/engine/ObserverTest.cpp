// The batch-event dispatcher: delivery order, unsubscription, the quit event, and what happens to
// events nobody can deliver any more.

#include "engine/KSObserver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// What the subscribers saw, in order; outlives them.
class Journal {
public:
    void Add(std::string entry) {
        std::lock_guard guard(m_mutex);
        m_entries.push_back(std::move(entry));
        m_changed.notify_all();
    }
    std::vector<std::string> Entries() const {
        std::lock_guard guard(m_mutex);
        return m_entries;
    }
    bool WaitForCount(std::size_t count, std::chrono::milliseconds limit = 5s) const {
        std::unique_lock guard(m_mutex);
        return m_changed.wait_for(guard, limit, [&] { return m_entries.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_entries;
};

class Recorder : public CKSSubscriber {
public:
    Recorder(std::string name, Journal& journal) : m_name(std::move(name)), m_journal(journal) {}
    ~Recorder() override { Unsubscribe(); }
    void Notify(const CKSEvent& event) override {
        m_journal.Add(m_name + ":" + std::to_string(event.GetKind()) + ":" + event.GetText().ToUtf8());
    }

private:
    std::string m_name;
    Journal& m_journal;
};

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class Observer : public ::testing::Test {
protected:
    // Each test starts with a running dispatcher and the quit event clear, even when several
    // tests share one process.
    void SetUp() override {
        ASSERT_TRUE(Dispatcher().Shutdown(2000));
        Dispatcher().GetQuitEvent().Reset();
        Dispatcher().StartDispatch();
        ASSERT_TRUE(Dispatcher().IsDispatching());
    }
    void TearDown() override { EXPECT_TRUE(Dispatcher().Shutdown(2000)); }

    static CKSObserver& Dispatcher() { return CKSObserver::Instance(); }

    Journal m_journal;
};

} // namespace

TEST_F(Observer, SubscribersGetEveryEventInRegistrationOrder) {
    Recorder a("A", m_journal);
    Recorder b("B", m_journal);
    Dispatcher().Publish(CKSEvent::kBatchStarted, u"batch 1", 0);
    Dispatcher().Publish(CKSEvent::kBatchFinished, u"batch 1", 0);
    Dispatcher().Publish(CKSEvent::kBatchStarted, u"b\u00e4tch 2", 0);
    // One event, then a 100 ms pause: the third cannot have arrived this early.
    std::this_thread::sleep_for(50ms);
    EXPECT_LE(m_journal.Entries().size(), 4u);
    ASSERT_TRUE(m_journal.WaitForCount(6));
    EXPECT_EQ(m_journal.Entries(),
              (std::vector<std::string>{"A:2:batch 1", "B:2:batch 1", "A:3:batch 1", "B:3:batch 1",
                                        "A:2:b\xC3\xA4tch 2", "B:2:b\xC3\xA4tch 2"}));
}

TEST_F(Observer, AnUnsubscribedSubscriberGetsNothing) {
    Recorder a("A", m_journal);
    { Recorder gone("gone", m_journal); }
    Recorder c("C", m_journal);
    c.Unsubscribe();
    c.Unsubscribe(); // twice is harmless
    Dispatcher().Publish(CKSEvent::kBatchStarted, u"x", 0);
    Dispatcher().Publish(CKSEvent::kBatchFinished, u"y", 0);
    ASSERT_TRUE(m_journal.WaitForCount(2));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(m_journal.Entries(), (std::vector<std::string>{"A:2:x", "A:3:y"}));
}

TEST_F(Observer, SettingTheQuitEventEndsTheThreadAfterItsMessage) {
    Recorder a("A", m_journal);
    Dispatcher().Publish(CKSEvent::kBatchStarted, u"first", 0);
    ASSERT_TRUE(m_journal.WaitForCount(1));
    Dispatcher().GetQuitEvent().Set();
    ASSERT_TRUE(WaitUntil([] { return !Dispatcher().IsDispatching(); }, 2s));
    EXPECT_EQ(Dispatcher().GetExitCode(), 0u);

    // Publishing now makes nothing and delivers nothing.
    for (int i = 0; i < 1000; ++i) {
        Dispatcher().Publish(CKSEvent::kBatchFinished, u"late", i);
    }
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(m_journal.Entries(), (std::vector<std::string>{"A:2:first"}));
    Dispatcher().StartDispatch(); // the ended thread still exists until shut down: nothing new
    EXPECT_FALSE(Dispatcher().IsDispatching());
}

TEST_F(Observer, EventsStillQueuedWhenTheThreadEndsAreDestroyed) {
    Recorder a("A", m_journal);
    for (int i = 0; i < 50; ++i) {
        Dispatcher().Publish(CKSEvent::kBatchStarted, u"queued", i);
    }
    Dispatcher().GetQuitEvent().Set();
    ASSERT_TRUE(WaitUntil([] { return !Dispatcher().IsDispatching(); }, 2s));
    // The thread delivered what it held when the quit event was set, then left; the queued
    // events went with its queue (the leak checker of the sanitizer build would see them).
    EXPECT_LE(m_journal.Entries().size(), 2u);
}

TEST_F(Observer, ShutdownClosesTheThreadWithinItsWait) {
    Recorder a("A", m_journal);
    Dispatcher().Publish(CKSEvent::kBatchStarted, u"before", 0);
    ASSERT_TRUE(m_journal.WaitForCount(1));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Dispatcher().Shutdown());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(Dispatcher().IsDispatching());
    EXPECT_EQ(Dispatcher().GetExitCode(), 0u);
    EXPECT_TRUE(Dispatcher().GetQuitEvent().IsSet());
    Dispatcher().Publish(CKSEvent::kBatchFinished, u"after", 0);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(m_journal.Entries().size(), 1u);
}

TEST_F(Observer, ShutdownDeliversABacklogWithoutPausingAfterEachEvent) {
    // Events come faster than the pause after each: twenty of them would hold shutdown 2 s.
    Recorder a("A", m_journal);
    for (int i = 0; i < 20; ++i) {
        Dispatcher().Publish(CKSEvent::kBatchFinished, u"queued", i);
    }
    ASSERT_TRUE(m_journal.WaitForCount(1));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Dispatcher().Shutdown());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(m_journal.Entries().size(), 20u);
    EXPECT_EQ(Dispatcher().GetExitCode(), 0u);
}

// A subscriber that works on its own heap data in Notify, destroyed on another thread while
// events are being delivered: no Notify runs on it once its destructor has begun.
TEST_F(Observer, ASubscriberDestroyedWhileEventsFlowIsSafe) {
    std::atomic<bool> destroying{false};
    std::atomic<int> lateCalls{0};
    std::atomic<int> calls{0};
    class Slow : public CKSSubscriber {
    public:
        Slow(std::atomic<bool>& destroying, std::atomic<int>& lateCalls, std::atomic<int>& calls)
            : m_destroying(destroying), m_lateCalls(lateCalls), m_calls(calls) {}
        ~Slow() override {
            Unsubscribe();
            m_destroying = true;
        }
        void Notify(const CKSEvent& event) override {
            if (m_destroying) {
                ++m_lateCalls;
            }
            ++m_calls;
            std::this_thread::sleep_for(30ms);
            m_seen.push_back(event.GetValue()); // heap data the destructor frees
        }

    private:
        std::atomic<bool>& m_destroying;
        std::atomic<int>& m_lateCalls;
        std::atomic<int>& m_calls;
        std::vector<int> m_seen;
    };

    auto slow = std::make_unique<Slow>(destroying, lateCalls, calls);
    Recorder after("after", m_journal);
    for (int i = 0; i < 10; ++i) {
        Dispatcher().Publish(CKSEvent::kBatchStarted, u"e", i);
    }
    ASSERT_TRUE(WaitUntil([&] { return calls.load() >= 2; }));
    slow.reset(); // on this thread, very likely while the dispatcher is inside its Notify
    const int callsAtDestruction = calls.load();
    ASSERT_TRUE(m_journal.WaitForCount(4));
    EXPECT_EQ(lateCalls.load(), 0);
    EXPECT_EQ(calls.load(), callsAtDestruction);
}

TEST_F(Observer, NotifyMayUnsubscribeOthersAndFailWithoutHarm) {
    Recorder* victim = nullptr;
    class Remover : public CKSSubscriber {
    public:
        explicit Remover(Recorder*& victim) : m_victim(victim) {}
        ~Remover() override { Unsubscribe(); }
        void Notify(const CKSEvent&) override {
            if (m_victim != nullptr) {
                m_victim->Unsubscribe();
            }
            throw std::runtime_error("a subscriber that fails");
        }

    private:
        Recorder*& m_victim;
    };
    Remover remover(victim);
    Recorder b("B", m_journal);
    Recorder c("C", m_journal);
    victim = &b;
    Dispatcher().Publish(CKSEvent::kBatchStarted, u"one", 0);
    Dispatcher().Publish(CKSEvent::kBatchFinished, u"two", 0);
    ASSERT_TRUE(m_journal.WaitForCount(2));
    std::this_thread::sleep_for(150ms);
    // B left during the first delivery, before its turn; C still gets everything.
    EXPECT_EQ(m_journal.Entries(), (std::vector<std::string>{"C:2:one", "C:3:two"}));
    EXPECT_TRUE(Dispatcher().IsDispatching());
}
