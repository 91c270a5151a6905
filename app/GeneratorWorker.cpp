#include "app/GeneratorWorker.h"

#include "app/FKMController.h"
#include "engine/KSObserver.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/KSLogger.h"

#include <cstdio>
#include <cstdlib>

GeneratorWorker::GeneratorWorker(const CKSManualResetEvent* stopEvent) : CKSThread(stopEvent) {}

GeneratorWorker::~GeneratorWorker() {
    StopAndJoin();
}

std::shared_ptr<CKSBatchControl>
GeneratorWorker::SubmitBatch(std::vector<CKSString> definitionNames, const CKSString& batchName,
                             const CKSString& configFile, const CKSString& destination,
                             std::shared_ptr<IOutput> output, CBatchOptions options) {
    std::unique_ptr<CKSGeneratorBatch> batch;
    try {
        batch = std::make_unique<CKSGeneratorBatch>(std::move(definitionNames), configFile, destination,
                                                    std::move(output), options);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    batch->SetName(batchName);
    std::shared_ptr<CKSBatchControl> control = batch->SharedControl();
    CAutoLock lock(m_lock);
    if (m_stopping) {
        control->RequestStop(); // queued after the end: it runs, creating nothing
    }
    m_queue.push_back(std::move(batch));
    Wake();
    return control;
}

void GeneratorWorker::Stop() {
    {
        CAutoLock lock(m_lock);
        m_stopping = true;
        for (const auto& batch : m_queue) {
            batch->Control().RequestStop();
        }
        if (m_running) {
            m_running->RequestStop();
        }
    }
    SignalStop();
}

std::size_t GeneratorWorker::ListBatches(std::vector<CKSString>& names) {
    CAutoLock lock(m_lock);
    for (const auto& batch : m_finished) {
        names.push_back(batch->GetName());
    }
    return names.size();
}

std::unique_ptr<CKSBatchInfo> GeneratorWorker::GetBatchInfo(std::u16string_view name) {
    CAutoLock lock(m_lock);
    for (const auto& batch : m_finished) {
        if (batch->GetName().View() == name) {
            return std::make_unique<CKSBatchInfo>(*batch);
        }
    }
    return nullptr;
}

std::unique_ptr<CKSBatchInfo> GeneratorWorker::GetBatchInfo(std::size_t index) {
    CAutoLock lock(m_lock);
    if (index >= m_finished.size()) {
        return nullptr;
    }
    return std::make_unique<CKSBatchInfo>(*m_finished[index]);
}

std::unique_ptr<CKSBatchInfo> GeneratorWorker::TakeBatchInfo(std::size_t index) {
    CAutoLock lock(m_lock);
    if (index >= m_finished.size()) {
        return nullptr;
    }
    return std::make_unique<CKSBatchInfo>(std::move(*m_finished[index]));
}

std::unique_ptr<CKSGeneratorBatch> GeneratorWorker::TakeNextBatch() {
    CAutoLock lock(m_lock);
    if (m_queue.empty()) {
        // Reset under the lock that SubmitBatch wakes under, so no batch can slip in between
        // the look at the queue and the reset.
        WakeEvent().Reset();
        return nullptr;
    }
    std::unique_ptr<CKSGeneratorBatch> batch = std::move(m_queue.front());
    m_queue.pop_front();
    m_running = batch->SharedControl();
    return batch;
}

void GeneratorWorker::Run() {
    CKSSynchronizer loggerLock;
    CKSLogger logger;
    logger.SetTitle(u"Fakemill");
    logger.SetLock(&loggerLock);
    const CKSFileGeneratorFactory factory(&logger);

    for (;;) {
        while (std::unique_ptr<CKSGeneratorBatch> batch = TakeNextBatch()) {
            logger.SetLevel(m_logLevel.load());
            batch->Control().MarkStarted();
            CKSObserver::Instance().Publish(CKSEvent::kBatchStarted, batch->GetName(), 0);
            RunBatch(batch.get(), factory, logger);
            const CKSString name = batch->GetName();
            CKSBatchControl& control = batch->Control();
            auto* window = dynamic_cast<IShowableOutput*>(batch->GetOutput());
            {
                CAutoLock lock(m_lock);
                m_finished.push_back(std::move(batch));
                m_running.reset();
            }
            // The batch is kept for the process: its control and output live on.
            control.MarkFinished();
            if (window != nullptr) {
                window->Ended();
            }
            CKSObserver::Instance().Publish(CKSEvent::kBatchFinished, name, 0);
        }
        if (!IsRunning()) {
            break;
        }
        WaitForWake(kWaitForever);
    }
}

void EndProcessNow(int exitCode, CKSLogger* log) {
    if (log != nullptr) {
        // Flush, not Close: it only tries the logger's lock, which a hung thread may hold.
        log->Flush(true);
        log->SetOutput(nullptr);
    }
    TraceClose();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

void AwaitWorkerOrEndProcess(GeneratorWorker& worker, std::uint32_t milliseconds, CKSLogger* log,
                             int exitCode) {
    if (worker.WaitForExit(milliseconds)) {
        return;
    }
    if (log != nullptr) {
        log->ErrorF("The generator worker did not end within %u ms; ending the process.", milliseconds);
    }
    EndProcessNow(exitCode, log);
}
