#include "app/FKMController.h"

#include "app/KSGeneratorBatch.h"
#include "engine/StopEvent.h"
#include "generators/KSFileGeneratorFactory.h"

bool RunBatch(CKSGeneratorBatch* batch, const CKSFileGeneratorFactory& factory, CKSLogger& logger) {
    CFKMController controller;
    if (batch == nullptr) {
        return true;
    }
    logger.SetOutput(batch->GetOutput());
    if (auto* window = dynamic_cast<IShowableOutput*>(batch->GetOutput())) {
        window->Show();
    }
    const CBatchOptions& options = batch->GetOptions();
    CKSBatchControl& control = batch->Control();
    for (const CKSString& name : batch->GetDefinitionNames()) {
        if (control.IsStopRequested()) {
            break; // a stopped batch creates no further generator
        }
        logger.InfoF("Starting '%s'", name);
        std::unique_ptr<CKSFileGenerator> generator = factory.CreateFromSection(batch->GetConfigFile(), name);
        if (!generator) {
            logger.WarningF("Could not initialize '%s' from [%s]", name, batch->GetConfigFile());
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
        controller.Workers().Add(std::move(generator));
    }
    controller.Workers().StartAll();
    const CKSManualResetEvent* const stopEvents[] = {&ApplicationStopEvent(), &control.StopEvent()};
    controller.Workers().WaitAll(stopEvents, CFKMController::kBatchTimeoutMilliseconds);
    batch->SetStopped(control.IsStopRequested() || ApplicationStopEvent().IsSet());
    if (control.IsStopRequested()) {
        logger.InfoF("Batch stopped");
    }
    batch->LogFinished(logger);
    return true;
}
