#include "app/FKMController.h"

#include "app/KSGeneratorBatch.h"
#include "engine/KSBatchManifest.h"
#include "engine/SeededBatchFiles.h"
#include "engine/StopEvent.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/IniDocument.h"
#include "support/IniProfile.h"
#include "support/KSWorker.h"
#include "support/MakePath.h"

#include <mutex>
#include <optional>

namespace {

// The definition given with the batch under that name, else the section of the configuration file.
std::unique_ptr<CKSFileGenerator> CreateDefinition(const CKSFileGeneratorFactory& factory,
                                                   const CKSGeneratorBatch& batch, const CKSString& name) {
    const auto& given = batch.GetOptions().definitions;
    if (const auto found = given.find(name); found != given.end()) {
        return factory.CreateFromList(found->second);
    }
    return factory.CreateFromSection(batch.GetConfigFile(), name);
}

// One batch from its definition names to its finished line. Each definition becomes a job of the
// pumps, which makes its generator, queues the generator's siblings and runs it: generators are
// made side by side and only as the pumps come to them, so that a batch of many small
// definitions costs little more than one definition making as many files.
class CBatchRun {
public:
    static constexpr std::size_t kQueuedPerJob = 128;

    CBatchRun(CKSGeneratorBatch& batch, const CKSFileGeneratorFactory& factory, CKSLogger& logger)
        : m_batch(batch), m_options(batch.GetOptions()), m_factory(factory), m_logger(logger),
          m_jobs(EffectiveJobs(m_options.jobs)) {}

    void Run();
    // The definition's work on a pump: its generator made, the siblings queued, the first part
    // run here.
    void RunDefinition(std::size_t order, const CKSString& name, std::uint64_t offset);

private:
    // Each name once, as the reader finds one definition per name however often it is named.
    // The names stay in the batch, which outlives the run.
    std::vector<const CKSString*> UniqueNames();
    // The definition's generator, set up for this batch; null when it cannot be generated (with
    // the reason in the log when the factory reports to it).
    std::unique_ptr<CKSFileGenerator> Prepare(const CKSFileGeneratorFactory& factory, const CKSString& name);
    // Each definition's place in the batch's sequence of files, for the shard to take its files
    // from all of them: every file count is drawn first, with generators made and let go again.
    std::vector<std::uint64_t> ShardOffsets(const std::vector<const CKSString*>& names);
    void WriteManifest();

    CKSGeneratorBatch& m_batch;
    const CBatchOptions& m_options;
    const CKSFileGeneratorFactory& m_factory;
    CKSLogger& m_logger;
    const std::uint32_t m_jobs;
    std::unique_ptr<CKSBatchManifest> m_manifest;
    std::unique_ptr<CSeededBatchFiles> m_batchFiles;
    // The version of the configuration file the batch reads every definition from.
    std::optional<CIniReadSnapshot> m_snapshot;
    // Each definition's output folder, by its place in the batch, for the batch's record.
    std::mutex m_foldersLock;
    std::vector<std::optional<CKSString>> m_folders;
    // Last, so that its pumps are joined before anything their jobs use goes.
    CKSWorkerList m_workers;
};

class CDefinitionJob : public CKSWorker {
public:
    CDefinitionJob(CBatchRun& run, std::size_t order, const CKSString& name, std::uint64_t offset)
        : m_run(run), m_order(order), m_name(name), m_offset(offset) {}
    void Run() override { m_run.RunDefinition(m_order, m_name, m_offset); }

private:
    CBatchRun& m_run;
    std::size_t m_order;
    const CKSString& m_name; // in the batch
    std::uint64_t m_offset;
};

std::vector<const CKSString*> CBatchRun::UniqueNames() {
    const std::vector<CKSString>& given = m_batch.GetDefinitionNames();
    const auto folded = [&given](std::size_t place) {
        return ini::FoldName(ini::TrimBlanks(given[place].View()));
    };
    const std::vector<bool> repeated = ini::MarkRepeats(
        given.size(), [&folded](std::size_t place) { return ini::NameHash(folded(place)); },
        [&folded](std::size_t earlier, std::size_t later) { return folded(earlier) == folded(later); });
    std::vector<const CKSString*> names;
    names.reserve(given.size());
    for (std::size_t place = 0; place < given.size(); ++place) {
        if (repeated[place]) {
            m_logger.InfoF("'%s' is named again: its files are made once", given[place]);
        } else {
            names.push_back(&given[place]);
        }
    }
    return names;
}

std::unique_ptr<CKSFileGenerator> CBatchRun::Prepare(const CKSFileGeneratorFactory& factory,
                                                     const CKSString& name) {
    CKSIsLogging reporter(factory.GetLogger());
    std::unique_ptr<CKSFileGenerator> generator = CreateDefinition(factory, m_batch, name);
    if (!generator) {
        reporter.Logger().WarningF("Could not initialize '%s' from [%s]", name, m_batch.GetConfigFile());
        return nullptr;
    }
    // A value the syntax refused, a range that cannot be drawn from (it would run away to
    // billions of files or bytes): the definition is refused and the rest of the batch runs.
    // Asked once here and kept for the checks the generator makes again as it runs.
    if (!generator->IsSound()) {
        CKSString value;
        std::u16string reason;
        if (const CKSProperty* problem = generator->FindProblem(value, reason)) {
            reporter.Logger().ErrorF("'%s' not generated: %s=%s: %s", name, problem->GetName(), value,
                                     reason);
            return nullptr;
        }
    }
    generator->SetOutputFolder(m_batch.GetDestination());
    generator->SetName();
    generator->SetDefinitionName(name);
    generator->SetPace(m_options.paceMilliseconds);
    if (m_options.seed) {
        generator->SetSeed(DefinitionSeed(*m_options.seed, name));
        generator->SetSeededBatchFiles(m_batchFiles.get(), name);
    }
    generator->SetBatchStopEvent(&m_batch.Control().StopEvent());
    generator->SetBatchProgress(&m_batch.Control().Progress());
    generator->SetShard(m_options.shard);
    return generator;
}

std::vector<std::uint64_t> CBatchRun::ShardOffsets(const std::vector<const CKSString*>& names) {
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory quietFactory(&quiet);
    std::vector<CDealtDefinition> definitions(names.size(), CDealtDefinition{0, 1});
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (const auto generator = Prepare(quietFactory, *names[i])) {
            definitions[i] = {generator->DrawFileCount(), generator->ExpectedFileBytes()};
        }
    }
    return ::ShardOffsets(definitions);
}

void CBatchRun::RunDefinition(std::size_t order, const CKSString& name, std::uint64_t offset) {
    std::unique_ptr<CKSFileGenerator> generator;
    {
        const CIniReadSnapshot snapshot(*m_snapshot);
        generator = Prepare(m_factory, name);
    }
    if (!generator) {
        return;
    }
    {
        std::lock_guard lock(m_foldersLock);
        m_folders[order] = generator->GetOutputFolder();
    }
    generator->SetShard(CFileShard{m_options.shard.index, m_options.shard.count, offset});
    if (m_manifest) {
        m_manifest->AddDefinition(order, name, generator->GetProperties());
        generator->SetManifest(m_manifest.get(), name);
    }
    // A definition with more than one file is split into up to jobs generators that share its
    // files; the pumps they are dealt to cap how many run at once.
    CKSWorkerList& workers = m_workers;
    for (std::uint32_t part = 1; part < m_jobs; ++part) {
        std::unique_ptr<CKSFileGenerator> sibling = generator->Split();
        if (!sibling) {
            break;
        }
        workers.Add(std::move(sibling));
    }
    generator->AnnounceWork();
    workers.StartAll();
    generator->Run();
}

void CBatchRun::Run() {
    CKSWorkerList& workers = m_workers;
    workers.SetSpread(static_cast<int>(m_jobs));
    if (m_options.manifest) {
        m_manifest = std::make_unique<CKSBatchManifest>(
            m_batch.GetDestination(),
            CManifestRun{m_options.seed, m_jobs, m_options.shard, m_batch.GetConfigFile()});
    }
    // A seeded run completes a batch already in the destination, as its earlier manifest and its
    // own regenerated files show it.
    if (m_options.seed) {
        m_batchFiles = std::make_unique<CSeededBatchFiles>();
        m_batchFiles->LoadEarlierManifest(
            CKSPathName(m_batch.GetDestination()).Join(CKSBatchManifest::JsonFileName(m_options.shard)));
    }
    CKSBatchControl& control = m_batch.Control();
    const CKSManualResetEvent* const stopEvents[] = {&ApplicationStopEvent(), &control.StopEvent()};
    m_snapshot.emplace(m_batch.GetConfigFile());
    const std::vector<const CKSString*> names = UniqueNames();
    const std::vector<std::uint64_t> offsets =
        m_options.shard.count > 1 ? ShardOffsets(names) : std::vector<std::uint64_t>(names.size(), 0);
    m_folders.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (control.IsStopRequested()) {
            break; // a stopped batch creates no further generator
        }
        m_logger.InfoF("Starting '%s'", *names[i]);
        workers.Add(std::make_unique<CDefinitionJob>(*this, i, *names[i], offsets[i]));
        workers.StartAll();
        // A few definitions waiting per pump keep every pump busy; more would only take memory.
        workers.WaitForRoom(kQueuedPerJob * m_jobs, stopEvents);
    }
    workers.WaitAll(stopEvents, kBatchTimeoutMilliseconds);
    m_snapshot.reset();
    m_batch.ReserveFiles(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (m_folders[i]) {
            m_batch.AddFile(*names[i], std::move(*m_folders[i]));
        }
    }
    m_batch.SetStopped(control.IsStopRequested() || ApplicationStopEvent().IsSet());
    if (control.IsStopRequested()) {
        m_logger.InfoF("Batch stopped");
    }
    WriteManifest();
    m_batch.LogFinished(m_logger);
}

void CBatchRun::WriteManifest() {
    if (!m_manifest) {
        return;
    }
    const bool stopped = m_batch.Control().IsStopRequested() || ApplicationStopEvent().IsSet();
    std::string error;
    if (m_manifest->Write(stopped, error)) {
        m_logger.InfoF("Manifest of %u files written%s",
                       static_cast<std::uint32_t>(m_manifest->Files().size()),
                       std::string_view(stopped ? " (batch stopped)" : ""));
    } else {
        m_logger.ErrorF("Manifest not written: %s", error);
    }
}

} // namespace

bool RunBatch(CKSGeneratorBatch* batch, const CKSFileGeneratorFactory& factory, CKSLogger& logger) {
    if (batch == nullptr) {
        return true;
    }
    logger.SetOutput(batch->GetOutput());
    if (auto* window = dynamic_cast<IShowableOutput*>(batch->GetOutput())) {
        window->Show();
    }
    CBatchRun(*batch, factory, logger).Run();
    return true;
}
