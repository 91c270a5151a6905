#include "cli/CliArguments.h"
#include "cli/CliNumber.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include "support/KSManualResetEvent.h"
#include "tools/KSHamperingAgent.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <ostream>
#include <pthread.h>

namespace {

// Longest pause between two looks at the clock and the agent.
constexpr long kSliceMilliseconds = 200;

// Prints the agent's run log: "Opening: " and "Closing: " lines on the output, failures on the
// error stream, each line flushed so that a script sees it while the files are held.
class RunLog : public IHamperingListener {
public:
    explicit RunLog(CliStreams& io) : m_io(io) {}

    void OnOpening(const CKSString& path, int error) override {
        std::lock_guard lock(m_mutex);
        m_io.out << Utf16ToUtf8(kHamperOpeningPrefix) << path.ToUtf8() << "\n";
        m_io.out.flush();
        if (error != 0) {
            m_failed = true;
            m_io.err << "fakemill-cli exercise: cannot hold '" << path.ToUtf8()
                     << "': " << HamperFailureReason(error) << "\n";
            m_io.err.flush();
        }
    }
    void OnClosing(const CKSString& path) override {
        std::lock_guard lock(m_mutex);
        m_io.out << Utf16ToUtf8(kHamperClosingPrefix) << path.ToUtf8() << "\n";
        m_io.out.flush();
    }
    void OnRunEnded() override { m_ended.Set(); }

    const CKSManualResetEvent& Ended() const { return m_ended; }
    bool AnyFailed() const {
        std::lock_guard lock(m_mutex);
        return m_failed;
    }

private:
    CliStreams& m_io;
    mutable std::mutex m_mutex;
    bool m_failed = false;
    CKSManualResetEvent m_ended;
};

} // namespace

int RunExerciseCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("exercise", {}, {"--mode", "--seconds"});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    static const std::map<std::string, std::uint32_t> modes = {
        {"all", kHamperModeAll}, {"fixed", kHamperModeFixed}, {"rotate", kHamperModeRotate}};
    const std::string modeName = parsed.Value("--mode").value_or("all");
    const auto mode = modes.find(modeName);
    if (mode == modes.end()) {
        io.err << "fakemill-cli exercise: unknown mode '" << modeName << "' (all, fixed or rotate)\n";
        return kExitUsage;
    }
    std::uint64_t seconds = 0;
    const auto secondsText = parsed.Value("--seconds");
    if (secondsText && !ParseCliNumber(*secondsText, seconds)) {
        io.err << "fakemill-cli exercise: --seconds needs a number, not '" << *secondsText << "'\n";
        return kExitUsage;
    }
    if (parsed.Positional().empty()) {
        io.err << "fakemill-cli exercise: no file given\n";
        return kExitUsage;
    }
    io.err << "fakemill-cli exercise: note: Linux has no mandatory locks; only programs that lock files "
              "(flock or "
              "fcntl) are kept out\n";

    // The command's own stop event stands for the application's: Ctrl-C and the end of the time
    // set it, which also cuts a rotate hold short.
    CKSManualResetEvent stop;
    RunLog log(io);
    SignalCatcher signalCatcher;
    int caught = 0;
    {
        CKSHamperingAgent agent(&stop);
        agent.SetMode(mode->second);
        agent.SetListener(&log);
        for (const std::string& file : parsed.Positional()) {
            agent.AddTarget(CKSString::FromUtf8(file));
        }
        if (!agent.Start()) {
            io.err << "fakemill-cli exercise: cannot start the exerciser thread\n";
            return kExitFailure;
        }
        using Clock = std::chrono::steady_clock;
        // Saturated far beyond any run: --seconds may be as large as a 64-bit number.
        const auto deadline =
            secondsText ? Clock::now() + std::chrono::seconds(std::min<std::uint64_t>(seconds, 1ULL << 30))
                        : Clock::time_point::max();
        while (!log.Ended().IsSet()) {
            const auto now = Clock::now();
            if (now >= deadline) {
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            caught = signalCatcher.Wait(std::min<long>(kSliceMilliseconds, static_cast<long>(left) + 1));
            if (caught != 0) {
                break;
            }
        }
        stop.Set();
        agent.StopAndJoin();
        agent.SetListener(nullptr);
    }
    io.out.flush();
    if (caught != 0) {
        return 128 + caught;
    }
    return log.AnyFailed() ? kExitFailure : kExitSuccess;
}
