// Windows may close at any moment: detaching an engine's listener must wait for a callback that
// is running on the engine's thread, and no callback may reach the listener afterwards.

#include "tests/common/TempDir.h"
#include "tools/BinaryFileLoader.h"
#include "tools/HashKinds.h"
#include "tools/KSHamperingAgent.h"
#include "tools/KSHashWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Holds the first callback until released (unless told not to hold); counts every callback.
class CallGate {
public:
    void Pass() {
        if (m_calls.fetch_add(1) == 0 && m_hold) {
            m_entered.Set();
            m_release.Wait(kWaitForever);
        }
    }
    int Calls() const { return m_calls.load(); }

    // Detaches on another thread while the first callback is held: the detach must not return
    // before the callback has.
    void ExpectDetachWaitsForTheCallback(const std::function<void()>& detach) {
        ASSERT_TRUE(m_entered.Wait(10000)) << "no callback came";
        std::atomic<bool> returned{false};
        std::thread detacher([&] {
            detach();
            returned = true;
        });
        std::this_thread::sleep_for(200ms);
        EXPECT_FALSE(returned.load()) << "the detach returned while its callback still ran";
        m_release.Set();
        detacher.join();
        EXPECT_EQ(Calls(), 1);
    }

    bool m_hold = true;

private:
    std::atomic<int> m_calls{0};
    CKSManualResetEvent m_entered;
    CKSManualResetEvent m_release;
};

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

struct HashListener : IHashWorkerListener, CallGate {
    void OnHashDone(std::uint32_t, bool) override { Pass(); }
};

struct LoaderListener : IBinaryLoaderListener, CallGate {
    void OnChunkReady(std::uint64_t) override { Pass(); }
    void OnChunkFailed(std::uint64_t, std::uint64_t, int) override { Pass(); }
};

struct AgentListener : IHamperingListener, CallGate {
    void OnOpening(const CKSString&, int) override { Pass(); }
    void OnClosing(const CKSString&) override { Pass(); }
    void OnRunEnded() override { Pass(); }
};

} // namespace

TEST(ListenerDetach, HashWorker) {
    TempDir dir;
    const CKSString file = CKSString::FromUtf8(dir.File("a.txt"));
    WriteFileBytes(file.ToUtf8(), "abc");
    CKSManualResetEvent stop;
    HashListener listener;
    CKSHashWorker worker(&stop);
    worker.SetListener(&listener);
    ASSERT_TRUE(worker.AddJob(file, kHashCodeMd5, 1));
    listener.ExpectDetachWaitsForTheCallback([&] { worker.SetListener(nullptr); });

    worker.AddJob(file, kHashCodeMd5, 2);
    CKSString result;
    ASSERT_TRUE(WaitUntil([&] { return worker.TakeResult(2, result); }));
    EXPECT_EQ(listener.Calls(), 1);
}

TEST(ListenerDetach, BinaryLoader) {
    TempDir dir;
    const std::string path = dir.File("data.bin");
    WriteFileBytes(path, std::string(3 * CBinaryLoader::kChunkSize, 'x'));
    CKSManualResetEvent stop;
    LoaderListener listener;
    CBinaryFileLoader loader(&stop);
    loader.SetPath(CKSString::FromUtf8(path));
    loader.SetListener(&listener);
    loader.Request(0);
    ASSERT_TRUE(loader.Start());
    listener.ExpectDetachWaitsForTheCallback([&] { loader.SetListener(nullptr); });

    const std::uint64_t readsBefore = loader.ReadCount();
    loader.Request(2 * CBinaryLoader::kChunkSize);
    ASSERT_TRUE(
        WaitUntil([&] { return loader.ReadCount() > readsBefore && loader.PendingRequests().empty(); }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(listener.Calls(), 1);
}

TEST(ListenerDetach, HamperingAgentReadsItsListenerAtEveryCallback) {
    TempDir dir;
    const std::string target = dir.File("held.txt");
    WriteFileBytes(target, "target");
    CKSManualResetEvent stop;
    AgentListener listener;
    AgentListener next;
    next.m_hold = false;
    CKSHamperingAgent agent(&stop);
    agent.SetMode(kHamperModeAll);
    agent.AddTarget(CKSString::FromUtf8(target));
    agent.SetListener(&listener);
    ASSERT_TRUE(agent.Start());
    listener.ExpectDetachWaitsForTheCallback([&] { agent.SetListener(nullptr); });

    // The run goes on; what it reports from now on goes to whoever listens now.
    agent.SetListener(&next);
    agent.StopAndJoin();
    EXPECT_EQ(listener.Calls(), 1);
    EXPECT_EQ(next.Calls(), 2) << "Closing: and the end of the run";
}
