#include "cli/CliArguments.h"
#include "cli/CliNumber.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include "support/KSManualResetEvent.h"
#include "tools/FileHolder.h"
#include "tools/HoldHelperProcess.h"
#include "tools/KSHamperingAgent.h"
#include "tools/PermissionsJournal.h"

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
    RunLog(CliStreams& io, DenyWay way) : m_io(io), m_way(DenyWayName(way)) {}

    void OnOpening(const CKSString& path, int error) override {
        std::lock_guard lock(m_mutex);
        m_io.out << Utf16ToUtf8(kHamperOpeningPrefix) << path.ToUtf8() << " (" << m_way << ")\n";
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
    const char* m_way;
    mutable std::mutex m_mutex;
    bool m_failed = false;
    CKSManualResetEvent m_ended;
};

// Reads --deny, or picks the kernel way where it is available and locks elsewhere; false (with the
// reason told) when the way asked for cannot be had.
bool ChooseWay(const std::optional<std::string>& asked, DenyWay& way, CliStreams& io) {
    static const std::map<std::string, DenyWay> ways = {
        {"kernel", DenyWay::Kernel}, {"permissions", DenyWay::Permissions}, {"lock", DenyWay::Lock}};
    if (asked && ways.find(*asked) == ways.end()) {
        io.err << "fakemill-cli exercise: unknown way '" << *asked << "' (kernel, permissions or lock)\n";
        return false;
    }
    way = asked ? ways.at(*asked) : DenyWay::Kernel;
    if (way != DenyWay::Kernel) {
        return true;
    }
    const KernelDenyStatus kernel = ProbeKernelDeny(HoldHelperPath());
    if (kernel.available) {
        return true;
    }
    if (asked) {
        io.err << "fakemill-cli exercise: the kernel way is not available: " << kernel.reason << "\n";
        return false;
    }
    io.err << "fakemill-cli exercise: the kernel way is not available (" << kernel.reason
           << "); holding with advisory locks\n";
    way = DenyWay::Lock;
    return true;
}

} // namespace

void RestoreLeftModes(CliStreams& io, const char* prefix) {
    for (const std::string& line : CPermissionsJournal::UserJournal().Restore()) {
        io.err << prefix << line << "\n";
    }
}

int RunExerciseCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("exercise", {"--fail-reads", "--restore"}, {"--mode", "--seconds", "--deny"});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    if (parsed.Has("--restore")) {
        const std::vector<std::string> told = CPermissionsJournal::UserJournal().Restore();
        bool failed = false;
        for (const std::string& line : told) {
            io.out << line << "\n";
            failed = failed || line.starts_with("could not");
        }
        if (told.empty()) {
            io.out << "no file modes to put back\n";
        }
        return failed ? kExitFailure : kExitSuccess;
    }
    RestoreLeftModes(io, "fakemill-cli exercise: ");
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
    DenyWay way = DenyWay::Lock;
    if (!ChooseWay(parsed.Value("--deny"), way, io)) {
        return parsed.Value("--deny") && parsed.Value("--deny") != "kernel" ? kExitUsage : kExitFailure;
    }
    if (parsed.Has("--fail-reads") && way != DenyWay::Kernel) {
        io.err << "fakemill-cli exercise: --fail-reads needs the kernel way\n";
        return kExitUsage;
    }
    io.err << "fakemill-cli exercise: holding the " << DenyWayName(way)
           << " way: " << DenyWayEffect(way, parsed.Has("--fail-reads")) << "\n";

    // The command's own stop event stands for the application's: Ctrl-C and the end of the time
    // set it, which also cuts a rotate hold short.
    CKSManualResetEvent stop;
    RunLog log(io, way);
    SignalCatcher signalCatcher;
    int caught = 0;
    {
        CKSHamperingAgent agent(&stop);
        agent.SetMode(mode->second);
        agent.SetHolder(MakeFileHolder(way, parsed.Has("--fail-reads")));
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
