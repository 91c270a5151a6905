#include "app/FKMController.h"

#include "app/KSGeneratorBatch.h"
#include "engine/KSBatchManifest.h"
#include "engine/StopEvent.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/KSWorker.h"

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

} // namespace

bool RunBatch(CKSGeneratorBatch* batch, const CKSFileGeneratorFactory& factory, CKSLogger& logger) {
    if (batch == nullptr) {
        return true;
    }
    logger.SetOutput(batch->GetOutput());
    if (auto* window = dynamic_cast<IShowableOutput*>(batch->GetOutput())) {
        window->Show();
    }
    const CBatchOptions& options = batch->GetOptions();
    // Each definition with more than one file is split into up to jobs generators that share
    // its files; the pumps they are dealt to cap how many run at once.
    const std::uint32_t jobs = EffectiveJobs(options.jobs);
    CKSWorkerList workers;
    workers.SetSpread(static_cast<int>(jobs));
    std::unique_ptr<CKSBatchManifest> manifest;
    if (options.manifest) {
        manifest = std::make_unique<CKSBatchManifest>(
            batch->GetDestination(), CManifestRun{options.seed, jobs, options.shard, batch->GetConfigFile()});
    }
    CKSBatchControl& control = batch->Control();
    for (const CKSString& name : batch->GetDefinitionNames()) {
        if (control.IsStopRequested()) {
            break; // a stopped batch creates no further generator
        }
        logger.InfoF("Starting '%s'", name);
        std::unique_ptr<CKSFileGenerator> generator = CreateDefinition(factory, *batch, name);
        if (!generator) {
            logger.WarningF("Could not initialize '%s' from [%s]", name, batch->GetConfigFile());
            continue;
        }
        // A range that cannot be drawn from would run away (billions of files or bytes): the
        // definition is refused and the rest of the batch runs.
        std::u16string problem;
        if (const CKSProperty* unsound = generator->GetProperties().FindUnsoundRange(&problem)) {
            logger.ErrorF("'%s' not generated: %s=%s: %s", name, unsound->GetName(),
                          unsound->GetRangeValue().Format(), problem);
            continue;
        }
        generator->SetOutputFolder(batch->GetDestination());
        batch->AddFile(name, generator->GetOutputFolder());
        generator->SetName();
        generator->SetPace(options.paceMilliseconds);
        if (options.seed) {
            generator->SetSeed(DefinitionSeed(*options.seed, name));
        }
        generator->SetBatchStopEvent(&control.StopEvent());
        generator->SetBatchProgress(&control.Progress());
        generator->SetShard(options.shard);
        if (manifest) {
            manifest->AddDefinition(name, generator->GetProperties());
            generator->SetManifest(manifest.get(), name);
        }
        std::vector<std::unique_ptr<CKSFileGenerator>> parts;
        for (std::uint32_t part = 1; part < jobs; ++part) {
            std::unique_ptr<CKSFileGenerator> sibling = generator->Split();
            if (!sibling) {
                break;
            }
            parts.push_back(std::move(sibling));
        }
        workers.Add(std::move(generator));
        for (auto& sibling : parts) {
            workers.Add(std::move(sibling));
        }
    }
    workers.StartAll();
    const CKSManualResetEvent* const stopEvents[] = {&ApplicationStopEvent(), &control.StopEvent()};
    workers.WaitAll(stopEvents, kBatchTimeoutMilliseconds);
    batch->SetStopped(control.IsStopRequested() || ApplicationStopEvent().IsSet());
    if (control.IsStopRequested()) {
        logger.InfoF("Batch stopped");
    }
    if (manifest) {
        const bool stopped = control.IsStopRequested() || ApplicationStopEvent().IsSet();
        std::string error;
        if (manifest->Write(stopped, error)) {
            logger.InfoF("Manifest of %u files written%s",
                         static_cast<std::uint32_t>(manifest->Files().size()),
                         std::string_view(stopped ? " (batch stopped)" : ""));
        } else {
            logger.ErrorF("Manifest not written: %s", error);
        }
    }
    batch->LogFinished(logger);
    return true;
}
