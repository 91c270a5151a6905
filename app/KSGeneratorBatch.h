#pragma once
// A batch: the definitions of one Generate command, the configuration file they come from, the
// destination folder and the output that shows the batch's messages. Owned by the generator
// worker from the moment it is queued to the end of the process.

#include "engine/GenerationProgress.h"
#include "engine/KSFileGenerator.h"
#include "support/KSLogger.h"
#include "support/KSManualResetEvent.h"
#include "support/KSString.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CKSLogger;

// An output that can also be brought into view, as a batch's output window is when the batch
// starts, and that hears when its batch is over.
//
// Every call (Write, WriteA, Show and Ended) comes on the generator worker's thread or on a
// generator's thread, never on the GUI thread, and may come after the window was closed. A window
// must therefore only post: Show posts a "show" request and returns at once, Write posts a copy of
// the text; the GUI thread does the rest, through a guard that is cleared when the window goes.
class IShowableOutput : public IOutput {
public:
    virtual void Show() = 0;
    // The batch is marked finished and writes nothing more.
    virtual void Ended() = 0;
};

// How the generators of a batch run: the pause after each file; for reproducible runs, the
// seed each generator mixes with its definition name; how many files are made at once (0: one
// per processor); the shard of the files this process makes; and whether a manifest is written.
// Definitions given here run under their names in place of sections of the configuration file
// (a definition made on the command line, which no file holds).
struct CBatchOptions {
    std::uint32_t paceMilliseconds = 100;
    std::optional<std::uint32_t> seed;
    std::uint32_t jobs = 0;
    CFileShard shard{};
    bool manifest = false;
    std::map<CKSString, CKSPropertyList, CKSStringLess> definitions{};
};

// The files made at once for that option: jobs itself, or the processors' count for 0; at
// least 1, at most the worker list's pumps.
std::uint32_t EffectiveJobs(std::uint32_t jobs);

// What a front end keeps of a batch it queued, shared with the batch: the batch's own stop and
// its live progress. Every operation may be called from any thread.
class CKSBatchControl {
public:
    // What the batch has done so far; rate and elapsed time run from the batch's start to its
    // end (or to now while it runs).
    struct Snapshot {
        std::uint64_t files = 0;
        std::uint64_t bytes = 0;
        double seconds = 0;
        double bytesPerSecond = 0;
        bool started = false;
        bool finished = false;
        bool stopRequested = false;
    };

    // Ends this batch, and no other, after the block in hand: a queued batch creates no
    // generator, a running one ends its generators as the application's stop event would.
    void RequestStop() { m_stop.Set(); }
    bool IsStopRequested() const { return m_stop.IsSet(); }
    const CKSManualResetEvent& StopEvent() const { return m_stop; }

    // Files closed and their bytes, counted as each file is closed.
    CGenerationProgress& Progress() { return m_progress; }
    const CGenerationProgress& Progress() const { return m_progress; }
    Snapshot Read() const;

    // Set once the batch is in the worker's finished list. A batch still queued when the worker
    // thread ends never runs: wait on the worker's exit too.
    const CKSManualResetEvent& FinishedEvent() const { return m_finished; }
    bool IsFinished() const { return m_finished.IsSet(); }

    // The worker's side.
    void MarkStarted();
    void MarkFinished();

private:
    using Clock = std::chrono::steady_clock;
    static std::int64_t Now();

    CKSManualResetEvent m_stop;
    CKSManualResetEvent m_finished;
    CGenerationProgress m_progress;
    std::atomic<std::int64_t> m_startNs{0};
    std::atomic<std::int64_t> m_endNs{0};
    std::atomic<bool> m_started{false};
};

class CKSGeneratorBatch {
public:
    CKSGeneratorBatch(std::vector<CKSString> definitionNames, CKSString configFile, CKSString destination,
                      std::shared_ptr<IOutput> output, CBatchOptions options = {});
    virtual ~CKSGeneratorBatch() = default;

    void SetName(const CKSString& name) { m_name = name; }
    const CKSString& GetName() const { return m_name; }
    const std::vector<CKSString>& GetDefinitionNames() const { return m_definitionNames; }
    const CKSString& GetConfigFile() const { return m_configFile; }
    const CKSString& GetDestination() const { return m_destination; }
    IOutput* GetOutput() const { return m_output.get(); }
    const CBatchOptions& GetOptions() const { return m_options; }
    CKSBatchControl& Control() const { return *m_control; }
    const std::shared_ptr<CKSBatchControl>& SharedControl() const { return m_control; }

    // Records a generator that could be created: its definition name and output folder.
    void AddFile(CKSString definitionName, CKSString outputFolder);
    // Room for that many records at once: a batch of thousands of definitions would otherwise
    // copy its records over and over as they grow.
    void ReserveFiles(std::size_t count) { m_folders.reserve(count); }
    // The records as (output folder, definition name) pairs, in the order of the batch's files.
    const std::vector<std::pair<CKSString, CKSString>>& GetFolders() const { return m_folders; }
    std::vector<std::pair<CKSString, CKSString>> TakeFolders() { return std::move(m_folders); }
    // "Generator finished %s" or "%u generators finished %s", counting the names asked for.
    void LogFinished(CKSLogger& logger) const;
    // Whether a stop ended the batch before all its files were made.
    void SetStopped(bool stopped) { m_stopped = stopped; }
    bool WasStopped() const { return m_stopped; }

private:
    CKSString m_name{u""};
    std::vector<CKSString> m_definitionNames;
    CKSString m_configFile;
    CKSString m_destination;
    std::vector<std::pair<CKSString, CKSString>> m_folders;
    std::shared_ptr<IOutput> m_output;
    CBatchOptions m_options;
    std::shared_ptr<CKSBatchControl> m_control;
    bool m_stopped = false;
};

// A snapshot of a finished batch for the history: its name, (output folder, definition name)
// pairs in the order of its files, and whether a stop cut it short.
class CKSBatchInfo {
public:
    explicit CKSBatchInfo(const CKSGeneratorBatch& batch);
    // Takes the batch's records instead of copying them, for a caller done with the batch.
    explicit CKSBatchInfo(CKSGeneratorBatch&& batch);
    const CKSString& GetName() const { return m_name; }
    const std::vector<std::pair<CKSString, CKSString>>& GetFolders() const { return m_folders; }
    bool WasStopped() const { return m_stopped; }

private:
    CKSString m_name;
    std::vector<std::pair<CKSString, CKSString>> m_folders;
    bool m_stopped = false;
};

class IBatchInfoProvider {
public:
    virtual ~IBatchInfoProvider() = default;
    // A snapshot of the oldest finished batch of that exact name, or null.
    virtual std::unique_ptr<CKSBatchInfo> GetBatchInfo(std::u16string_view name) = 0;
    // A snapshot of the finished batch at that place in the finished list (oldest first, as
    // ListBatches gives the names), or null. Batches of the same name are told apart this way.
    virtual std::unique_ptr<CKSBatchInfo> GetBatchInfo(std::size_t index) = 0;
};

// The display name of a batch: "'%s' started %s %s" for one definition, "'%s+' (%u total)
// started %s %s" for several, with the local short date and the time without seconds; empty for
// none.
class CBatchName : public CKSString {
public:
    explicit CBatchName(const std::vector<CKSString>& definitionNames);
};
