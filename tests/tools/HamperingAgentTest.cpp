#include "support/PosixFile.h"
#include "tests/common/TempDir.h"
#include "tools/KSHamperingAgent.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Whether another open of the file could take an exclusive flock right now (and lets it go).
bool FlockFree(const std::string& path) {
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.IsValid() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
}

struct Step {
    std::string text;
    Clock::time_point when;
    // For an opening: whether the file was locked against others at that moment.
    bool locked = false;
};

class RunRecorder : public IHamperingListener {
public:
    void OnOpening(const CKSString& path, int error) override {
        Step step{"Opening: " + path.ToUtf8(), Clock::now()};
        if (error != 0) {
            step.text += " [" + std::to_string(error) + "]";
        } else {
            step.locked = !FlockFree(path.ToUtf8());
        }
        Add(std::move(step));
    }
    void OnClosing(const CKSString& path) override {
        // Called after the file was let go: anybody may lock it now.
        Add(Step{"Closing: " + path.ToUtf8() + (FlockFree(path.ToUtf8()) ? "" : " [still locked]"),
                 Clock::now()});
    }
    void OnRunEnded() override { Add(Step{"End", Clock::now()}); }

    bool WaitForSteps(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_steps.size() >= count; });
    }
    std::vector<Step> Steps() {
        std::lock_guard lock(m_mutex);
        return m_steps;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const Step& step : Steps()) {
            texts.push_back(step.text);
        }
        return texts;
    }

private:
    void Add(Step step) {
        std::lock_guard lock(m_mutex);
        m_steps.push_back(std::move(step));
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Step> m_steps;
};

struct HamperingAgent : ::testing::Test {
    HamperingAgent() : a(dir.File("a.txt")), b(dir.File("b.txt")), c(dir.File("c.txt")) {
        for (const std::string& path : {a, b, c}) {
            WriteFileBytes(path, "target");
        }
        agent.SetListener(&recorder);
    }
    ~HamperingAgent() override { agent.StopAndJoin(); }

    TempDir dir;
    std::string a;
    std::string b;
    std::string c;
    CKSManualResetEvent stop;
    RunRecorder recorder;
    CKSHamperingAgent agent{&stop};
};

} // namespace

TEST_F(HamperingAgent, RotateHoldsEachFileInTurnAndLetsTheLastHoldRunOut) {
    agent.SetMode(kHamperModeRotate);
    agent.SetRotateHold(120);
    agent.AddTarget(CKSString::FromUtf8(a));
    agent.AddTarget(CKSString::FromUtf8(b));
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(recorder.WaitForSteps(9));
    agent.SignalStop();
    ASSERT_TRUE(agent.WaitForExit(5000));

    const std::vector<Step> steps = recorder.Steps();
    ASSERT_GE(steps.size(), 10u);
    ASSERT_EQ(steps.back().text, "End");
    ASSERT_EQ((steps.size() - 1) % 2, 0u) << "every opening is followed by its closing";
    for (std::size_t i = 0; i + 1 < steps.size(); i += 2) {
        const std::string& path = (i / 2) % 2 == 0 ? a : b;
        EXPECT_EQ(steps[i].text, "Opening: " + path);
        EXPECT_TRUE(steps[i].locked);
        EXPECT_EQ(steps[i + 1].text, "Closing: " + path);
        // Even the hold during which the stop came runs its full time.
        EXPECT_GE(steps[i + 1].when - steps[i].when, std::chrono::milliseconds(110));
    }
}

TEST_F(HamperingAgent, TheStopEventCutsARotateHoldShort) {
    agent.SetMode(kHamperModeRotate);
    agent.AddTarget(CKSString::FromUtf8(a)); // 3,001 ms by default
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(recorder.WaitForSteps(1));
    const auto stopped = Clock::now();
    stop.Set();
    ASSERT_TRUE(agent.WaitForExit(5000));
    EXPECT_LT(Clock::now() - stopped, std::chrono::milliseconds(1500));
    EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"Opening: " + a, "Closing: " + a, "End"}));
}

TEST_F(HamperingAgent, FixedModeHoldsOneTargetUntilStopped) {
    agent.SetMode(kHamperModeFixed);
    agent.AddTarget(CKSString::FromUtf8(b));
    for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(agent.Start());
        ASSERT_TRUE(recorder.WaitForSteps(3 * run + 1));
        EXPECT_FALSE(FlockFree(b));
        agent.SignalStop();
        ASSERT_TRUE(agent.WaitForExit(5000));
        EXPECT_TRUE(FlockFree(b));
    }
    const std::vector<std::string> once{"Opening: " + b, "Closing: " + b, "End"};
    std::vector<std::string> expected;
    for (int run = 0; run < 3; ++run) {
        expected.insert(expected.end(), once.begin(), once.end());
    }
    EXPECT_EQ(recorder.Texts(), expected);
}

TEST_F(HamperingAgent, FixedModePicksExactlyOneOfSeveral) {
    agent.SetMode(kHamperModeFixed);
    for (const std::string& path : {a, b, c}) {
        agent.AddTarget(CKSString::FromUtf8(path));
    }
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(recorder.WaitForSteps(1));
    const int heldNow = !FlockFree(a) + !FlockFree(b) + !FlockFree(c);
    EXPECT_EQ(heldNow, 1);
    agent.SignalStop();
    ASSERT_TRUE(agent.WaitForExit(5000));
    const auto texts = recorder.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "Closing: " + texts[0].substr(std::string("Opening: ").size()));
}

TEST_F(HamperingAgent, AllModeHoldsEveryFileAndReportsTheOnesItCannotOpen) {
    agent.SetMode(kHamperModeAll);
    const std::string missing = dir.File("missing.txt");
    // Longer than the platform takes: refused whole, never cut to a shorter (other) path.
    const std::string tooLong = dir.File(std::string(kMaxPathBytes, 'x'));
    for (const std::string& path : {a, missing, tooLong, b}) {
        agent.AddTarget(CKSString::FromUtf8(path));
    }
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(recorder.WaitForSteps(4));
    EXPECT_FALSE(FlockFree(a));
    EXPECT_FALSE(FlockFree(b));
    agent.SignalStop();
    ASSERT_TRUE(agent.WaitForExit(5000));
    EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{
                                    "Opening: " + a,
                                    "Opening: " + missing + " [" + std::to_string(ENOENT) + "]",
                                    "Opening: " + tooLong + " [" + std::to_string(ENAMETOOLONG) + "]",
                                    "Opening: " + b,
                                    "Closing: " + a,
                                    "Closing: " + b,
                                    "End",
                                }));
}

TEST_F(HamperingAgent, ARunWithoutTargetsEndsAtOnce) {
    for (std::uint32_t mode : {kHamperModeRotate, kHamperModeFixed, kHamperModeAll}) {
        agent.SetMode(mode);
        const auto started = Clock::now();
        ASSERT_TRUE(agent.Start());
        ASSERT_TRUE(agent.WaitForExit(1000)) << "mode " << mode;
        EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500));
    }
    EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"End", "End", "End"}));

    // Mode 0 does nothing at all, not even the end notice.
    agent.SetMode(kHamperModeNone);
    agent.AddTarget(CKSString::FromUtf8(a));
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(agent.WaitForExit(1000));
    EXPECT_EQ(recorder.Texts().size(), 3u);
}

TEST_F(HamperingAgent, ASecondAgentCannotHoldWhatTheFirstHolds) {
    agent.SetMode(kHamperModeAll);
    agent.AddTarget(CKSString::FromUtf8(a));
    ASSERT_TRUE(agent.Start());
    ASSERT_TRUE(recorder.WaitForSteps(1));

    RunRecorder rival;
    CKSHamperingAgent second(&stop);
    second.SetListener(&rival);
    second.SetMode(kHamperModeAll);
    second.AddTarget(CKSString::FromUtf8(a));
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(rival.WaitForSteps(1));
    second.SignalStop();
    ASSERT_TRUE(second.WaitForExit(5000));
    EXPECT_EQ(rival.Texts(),
              (std::vector<std::string>{"Opening: " + a + " [" + std::to_string(EWOULDBLOCK) + "]", "End"}));
}
