// generate: one batch of definitions through the same worker, controller and generators as the
// desktop program, with the batch's messages on standard output.

#include "cli/CliArguments.h"
#include "cli/CliNumber.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"

#include "app/DefinitionRows.h"
#include "app/GeneratorWorker.h"
#include "engine/KSObserver.h"
#include "engine/StopEvent.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/IniDocument.h"
#include "support/IniProfile.h"
#include "support/KSWorker.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <limits>
#include <ostream>
#include <thread>

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

// While a batch runs, takes SIGINT, SIGTERM and SIGHUP (blocked by the SignalCatcher) on a thread
// of its own and turns the first into the stop and quit events, so that the command's thread can wait
// for the batch itself. Make it after the SignalCatcher.
class StopOnSignal {
public:
    StopOnSignal() : m_thread([this] { Run(); }) {}
    // Wakes the thread with a SIGINT queued to it alone, marked as ours, and joins it.
    ~StopOnSignal() {
        sigval mark{};
        mark.sival_int = kWakeMark;
        if (pthread_sigqueue(m_thread.native_handle(), SIGINT, mark) != 0) {
            std::abort(); // the thread could never be joined
        }
        m_thread.join();
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    // The first signal taken, or 0.
    int Caught() const { return m_caught.load(); }

private:
    static constexpr int kWakeMark = 0x464B4D; // "FKM"

    void Run() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        for (;;) {
            siginfo_t info{};
            const int signal = sigwaitinfo(&set, &info);
            if (signal < 0) {
                continue; // interrupted
            }
            if (info.si_code == SI_QUEUE && info.si_pid == ::getpid() &&
                info.si_value.sival_int == kWakeMark) {
                return;
            }
            int none = 0;
            if (m_caught.compare_exchange_strong(none, signal)) {
                ApplicationStopEvent().Set();
                ApplicationQuitEvent().Set();
            }
        }
    }

    std::atomic<int> m_caught{0};
    std::thread m_thread;
};

// A plain decimal number, the whole text: a scheduler's task index such as "07" stays 7.
bool ParseDecimal(std::string_view text, std::uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

// "I/N" with I < N.
bool ParseShard(std::string_view text, CFileShard& shard) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return false;
    }
    CFileShard parsed;
    if (!ParseDecimal(text.substr(0, slash), parsed.index) ||
        !ParseDecimal(text.substr(slash + 1), parsed.count) || parsed.count == 0 ||
        parsed.index >= parsed.count) {
        return false;
    }
    shard = parsed;
    return true;
}

} // namespace

int RunGenerateCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed({"--all", "-v", "--verbose", "-q", "--quiet", "--manifest"},
                        {"-o", "--output", "--pace", "--seed", "--jobs", "--shard"});
    if (!parsed.Parse(args)) {
        io.err << "fakemill-cli generate: " << parsed.Error() << "\n";
        return kExitUsage;
    }
    const bool all = parsed.Has("--all");
    if (all == !parsed.Positional().empty()) {
        io.err << "fakemill-cli generate: name the definitions to generate, or give --all\n";
        return kExitUsage;
    }
    CBatchOptions options;
    if (const auto pace = parsed.Value("--pace")) {
        std::uint64_t milliseconds = 0;
        if (!ParseCliNumber(*pace, milliseconds) ||
            milliseconds > std::numeric_limits<std::uint32_t>::max() - 1) {
            io.err << "fakemill-cli generate: --pace needs milliseconds, not '" << *pace << "'\n";
            return kExitUsage;
        }
        options.paceMilliseconds = static_cast<std::uint32_t>(milliseconds);
    }
    if (const auto seed = parsed.Value("--seed")) {
        std::uint64_t value = 0;
        if (!ParseCliNumber(*seed, value) || value > std::numeric_limits<std::uint32_t>::max()) {
            io.err << "fakemill-cli generate: --seed needs a number from 0 to 4294967295, not '" << *seed
                   << "'\n";
            return kExitUsage;
        }
        options.seed = static_cast<std::uint32_t>(value);
    }
    if (const auto jobs = parsed.Value("--jobs")) {
        std::uint64_t value = 0;
        if (!ParseCliNumber(*jobs, value) || value < 1 || value > CKSWorkerList::kPumpCount) {
            io.err << "fakemill-cli generate: --jobs needs a number from 1 to " << CKSWorkerList::kPumpCount
                   << ", not '" << *jobs << "'\n";
            return kExitUsage;
        }
        options.jobs = static_cast<std::uint32_t>(value);
    }
    if (const auto shard = parsed.Value("--shard")) {
        if (!ParseShard(*shard, options.shard)) {
            io.err << "fakemill-cli generate: --shard needs I/N with I below N, not '" << *shard << "'\n";
            return kExitUsage;
        }
    }
    if (options.shard.count > 1 && !options.seed) {
        io.err << "fakemill-cli generate: shards need one seed: give every shard the same --seed N, so that "
                  "they make the files of one batch between them\n";
        return kExitUsage;
    }
    options.manifest = parsed.Has("--manifest");
    const std::string destinationText =
        parsed.Value("-o").value_or(parsed.Value("--output").value_or(QDir::currentPath().toStdString()));
    const QString destination = QDir(QString::fromStdString(destinationText)).absolutePath();
    if (!QDir().mkpath(destination)) {
        io.err << "fakemill-cli generate: cannot create the destination folder '" << destinationText << "'\n";
        return kExitFailure;
    }

    std::vector<CKSString> names;
    if (all) {
        std::vector<std::u16string> skipped;
        names = GeneratableDefinitions(configFile, skipped);
        for (const std::u16string& warning : skipped) {
            io.err << "fakemill-cli generate: warning: " << Utf16ToUtf8(warning) << "\n";
        }
        if (names.empty()) {
            io.err << "fakemill-cli generate: " << configFile.ToUtf8() << " holds no definitions\n";
            return kExitFailure;
        }
    } else {
        std::vector<CKSString> sections = CIniProfile::GetSectionNames(configFile);
        for (CKSString& section : sections) {
            section.Lower();
        }
        for (const std::string& name : parsed.Positional()) {
            names.push_back(CKSString::FromUtf8(name));
            // The batch still runs it, so that the log keeps the factory's own line.
            CKSString wanted(ini::TrimBlanks(names.back().View()));
            wanted.Lower();
            if (std::none_of(sections.begin(), sections.end(), [&wanted](const CKSString& section) {
                    return section.View() == wanted.View();
                })) {
                io.err << "fakemill-cli generate: there is no definition '" << name << "' in "
                       << configFile.ToUtf8() << "\n";
            }
        }
    }

    // Ctrl-C: the file in hand is removed, no new file is started.
    SignalCatcher signalCatcher;
    int caught = 0;
    CKSObserver::Instance().StartDispatch();
    auto output = std::make_shared<CStreamOutput>(io.out, io.outIsTerminal);
    const bool verbose = parsed.Has("-v") || parsed.Has("--verbose");
    const bool quiet = parsed.Has("-q") || parsed.Has("--quiet");
    if (verbose && quiet) {
        io.err << "fakemill-cli generate: -v and -q cannot be given together\n";
        return kExitUsage;
    }
    output->SetShown(verbose ? CStreamOutput::EShown::Everything
                     : quiet ? CStreamOutput::EShown::Quiet
                             : CStreamOutput::EShown::WithoutDetail);
    const CBatchName batchName(names);
    int errorLines = 0;
    {
        GeneratorWorker worker;
        worker.SetLogLevel(verbose ? CKSLogger::kLevelDebug : CKSLogger::kLevelInfo);
        if (!worker.Start()) {
            io.err << "fakemill-cli generate: could not start the generator worker\n";
            return kExitFailure;
        }
        std::optional<CProgressLine> progress;
        if (io.outIsTerminal && !quiet) {
            progress.emplace(*output);
        }
        // A signal stops the batch: the file in hand is removed, no new one begun.
        StopOnSignal stopOnSignal;
        const std::shared_ptr<CKSBatchControl> batch = worker.SubmitBatch(
            names, batchName, configFile, CKSString::FromQString(destination), output, options);
        if (!batch) {
            io.err << "fakemill-cli generate: could not queue the batch\n";
            return kExitFailure;
        }
        // Until the batch is finished, or the worker has ended without running it. The batch's
        // own event, not the dispatcher's, which rests after every event it delivers.
        CKSManualResetEvent::WaitAny({&batch->FinishedEvent(), &worker.ExitedEvent()}, kWaitForever);
        errorLines = output->ErrorLines();
        caught = stopOnSignal.Caught();
    }
    // Whatever ends the run, every line logged reaches the stream before the exit.
    io.out.flush();
    if (caught != 0) {
        return 128 + caught;
    }
    return errorLines > 0 ? kExitFailure : kExitSuccess;
}
