// generate: one batch of definitions through the same worker, controller and generators as the
// desktop program, with the batch's messages on standard output and its warnings and errors on
// the error stream.

#include "cli/CliArguments.h"
#include "cli/CliJson.h"
#include "cli/CliNumber.h"
#include "cli/CliSupport.h"
#include "cli/CommandLineDefinition.h"
#include "cli/Commands.h"

#include "app/DefinitionRows.h"
#include "app/GeneratorWorker.h"
#include "engine/KSObserver.h"
#include "engine/StopEvent.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/IniDocument.h"
#include "support/IniProfile.h"
#include "support/KSException.h"
#include "support/KSWorker.h"
#include "support/MakePath.h"

#include <QDir>
#include <QJsonArray>
#include <QString>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <limits>
#include <map>
#include <ostream>
#include <thread>
#include <unordered_set>

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

// A definition's "Folder" when it is an absolute path that does not lie inside the destination:
// its files go there, whatever -o says. Empty otherwise.
QString FolderOutside(const QString& destination, const CKSString& folder) {
    if (folder.IsEmpty() || IsRelativePath(folder.View())) {
        return {};
    }
    const QString cleaned = QDir::cleanPath(folder.ToQString());
    const QString base = QDir::cleanPath(destination);
    const bool inside = cleaned == base || cleaned.startsWith(base.endsWith('/') ? base : base + '/');
    return inside ? QString() : cleaned;
}

// Where each definition of a finished batch wrote, by its name; a definition that made no
// generator (not in the file, of no known kind) is missing.
using WrittenFolders = std::map<std::u16string, CKSString>;
WrittenFolders FoldersWritten(const CKSBatchInfo* info) {
    WrittenFolders written;
    if (info != nullptr) {
        for (const auto& [folder, name] : info->GetFolders()) {
            written.emplace(name.View(), folder);
        }
    }
    return written;
}

// The summary of a finished batch, the document of --json.
QJsonObject BatchSummary(const CKSBatchControl& batch, const CStreamOutput& output,
                         const QString& destination, const CKSString& configFile,
                         const CBatchOptions& options, const std::vector<CKSString>& names,
                         const WrittenFolders& written, const std::vector<std::u16string>& skipped) {
    const CKSBatchControl::Snapshot done = batch.Read();
    QJsonArray skippedSections;
    for (const std::u16string& warning : skipped) {
        skippedSections.append(JsonText(Utf16ToUtf8(warning)));
    }
    QJsonArray definitions;
    for (const CKSString& name : names) {
        const auto folder = written.find(std::u16string(name.View()));
        const bool generated = folder != written.end();
        definitions.append(
            QJsonObject{{"name", JsonText(name)},
                        {"generated", generated},
                        {"folder", generated ? QJsonValue(JsonText(folder->second)) : QJsonValue()}});
    }
    return QJsonObject{
        {"destination", destination},
        {"configuration", configFile.IsEmpty() ? QJsonValue() : QJsonValue(JsonText(configFile))},
        {"files", static_cast<qint64>(done.files)},
        {"bytes", static_cast<qint64>(done.bytes)},
        {"seconds", done.seconds},
        {"errors", output.ErrorLines()},
        {"warnings", output.WarningLines()},
        {"stopped", batch.IsStopRequested() || ApplicationStopEvent().IsSet()},
        {"seed", options.seed ? QJsonValue(static_cast<qint64>(*options.seed)) : QJsonValue()},
        {"jobs", static_cast<qint64>(EffectiveJobs(options.jobs))},
        {"shard", QStringLiteral("%1/%2").arg(options.shard.index).arg(options.shard.count)},
        {"definitions", definitions},
        {"skipped", skippedSections},
    };
}

} // namespace

int RunGenerateCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("generate", {"--all", "-v|--verbose", "-q|--quiet", "--manifest", "--json"},
                        {"-o|--output", "--pace", "--seed", "--jobs", "--shard", "--type"});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    // Every argument is checked before anything starts.
    const std::optional<std::string> kind = parsed.Value("--type");
    const bool all = parsed.Has("--all");
    if (kind && all) {
        io.err << "fakemill-cli generate: --type and --all cannot be given together\n";
        return kExitUsage;
    }
    if (!kind && all == !parsed.Positional().empty()) {
        io.err << "fakemill-cli generate: name the definitions to generate, or give --all\n";
        return kExitUsage;
    }
    const bool verbose = parsed.Has("--verbose");
    const bool quiet = parsed.Has("--quiet");
    if (verbose && quiet) {
        io.err << "fakemill-cli generate: -v and -q cannot be given together\n";
        return kExitUsage;
    }
    const bool json = parsed.Has("--json");
    CBatchOptions options;
    // A command line makes its files at full speed unless asked to pause.
    options.paceMilliseconds = 0;
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

    // One definition given on the command line, as define takes it; no configuration file.
    std::vector<CKSString> names;
    CKSString configFile;
    if (kind) {
        const auto generator = CreateDefinitionOfKind("generate", *kind, io);
        if (!generator) {
            return kExitUsage;
        }
        std::vector<std::string> warnings;
        if (const int status =
                ApplyDefinitionValues("generate", *kind, *generator, parsed.Positional(), warnings, io);
            status != kExitSuccess) {
            return status;
        }
        for (const std::string& warning : warnings) {
            io.err << warning << "\n";
        }
        names.push_back(CKSString::FromUtf8(*kind));
        options.definitions.emplace(names.back(), generator->GetProperties());
    } else if (const int status = config.Resolve(configFile, io); status != kExitSuccess) {
        return status;
    }

    const std::string destinationText = parsed.Value("-o").value_or(QDir::currentPath().toStdString());
    const QString destination = QDir(QString::fromStdString(destinationText)).absolutePath();
    if (!QDir().mkpath(destination)) {
        io.err << "fakemill-cli generate: cannot create the destination folder '" << destinationText << "'\n";
        return kExitFailure;
    }

    // With --all: the sections left out (no known kind, or a name that came before).
    std::vector<std::u16string> skipped;
    if (all) {
        names = GeneratableDefinitions(configFile, skipped);
        for (const std::u16string& warning : skipped) {
            io.err << "fakemill-cli generate: warning: " << Utf16ToUtf8(warning) << "\n";
        }
        if (names.empty()) {
            io.err << "fakemill-cli generate: " << configFile.ToUtf8() << " holds no definitions\n";
            return kExitFailure;
        }
    } else if (!kind) {
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
    // A definition with an absolute "Folder" writes there, not into the destination. One reading
    // of the file serves every name.
    const CIniReadSnapshot snapshot(configFile);
    for (const CKSString& name : names) {
        const auto given = options.definitions.find(name);
        const CKSString folder = given != options.definitions.end()
                                     ? given->second.Get(u"Folder").GetValue()
                                     : CIniProfile::GetString(configFile, name.View(), u"Folder", u"");
        if (const QString outside = FolderOutside(destination, folder); !outside.isEmpty()) {
            io.err << "fakemill-cli generate: warning: '" << name.ToUtf8() << "' writes into "
                   << outside.toStdString() << ", outside " << destination.toStdString()
                   << ", because its Folder is an absolute path\n";
        }
    }

    // Ctrl-C: the file in hand is removed, no new file is started. Signals are taken by a thread
    // of the command's own, so they are blocked before any thread starts.
    SignalCatcher signalCatcher;
    try {
        CKSObserver::Instance().StartDispatch();
    } catch (const CKSException& failure) {
        io.err << "fakemill-cli generate: cannot start the event dispatcher: " << failure.what() << "\n";
        return kExitFailure;
    }
    // With --json the standard output holds the summary alone: the log lines go with the errors.
    auto output = std::make_shared<CStreamOutput>(json ? io.err : io.out, io.err, io.outIsTerminal);
    output->SetShown(verbose ? CStreamOutput::EShown::Everything
                     : quiet ? CStreamOutput::EShown::Quiet
                             : CStreamOutput::EShown::WithoutDetail);
    const CBatchName batchName(names);
    int caught = 0;
    std::unique_ptr<CKSBatchInfo> info;
    std::shared_ptr<CKSBatchControl> batch;
    {
        GeneratorWorker worker;
        worker.SetLogLevel(verbose ? CKSLogger::kLevelDebug : CKSLogger::kLevelInfo);
        if (!worker.Start()) {
            io.err << "fakemill-cli generate: could not start the generator worker\n";
            return kExitFailure;
        }
        std::optional<StopOnSignal> stopOnSignal;
        try {
            stopOnSignal.emplace();
        } catch (const std::system_error& failure) {
            io.err << "fakemill-cli generate: cannot start the signal thread: " << failure.what() << "\n";
            return kExitFailure;
        }
        batch = worker.SubmitBatch(names, batchName, configFile, CKSString::FromQString(destination), output,
                                   options);
        if (!batch) {
            io.err << "fakemill-cli generate: could not queue the batch\n";
            return kExitFailure;
        }
        std::optional<CProgressLine> progress;
        if (io.errIsTerminal && !quiet) {
            try {
                progress.emplace(*output, *batch);
            } catch (const std::system_error&) {
                // The batch runs as well without its progress line.
            }
        }
        // Until the batch is finished, or the worker has ended without running it. The batch's
        // own event, not the dispatcher's, which rests after every event it delivers.
        CKSManualResetEvent::WaitAny({&batch->FinishedEvent(), &worker.ExitedEvent()}, kWaitForever);
        progress.reset();
        caught = stopOnSignal->Caught();
        info = worker.TakeBatchInfo(std::size_t{0});
    }
    // A definition that made no generator (not in the file, no known kind) is a failure too.
    std::unordered_set<std::u16string_view> generated;
    if (info) {
        generated.reserve(info->GetFolders().size());
        for (const auto& [folder, name] : info->GetFolders()) {
            generated.insert(name.View());
        }
    }
    const bool allGenerated = std::all_of(names.begin(), names.end(), [&generated](const CKSString& name) {
        return generated.count(name.View()) > 0;
    });
    if (json) {
        PrintJson(io.out, BatchSummary(*batch, *output, destination, configFile, options, names,
                                       FoldersWritten(info.get()), skipped));
    }
    // Whatever ends the run, every line logged reaches the stream before the exit.
    io.out.flush();
    if (caught != 0) {
        return 128 + caught;
    }
    return output->ErrorLines() > 0 || !allGenerated ? kExitFailure : kExitSuccess;
}
