#include "app/GeneratorWorker.h"

#include "app/FKMController.h"
#include "engine/KSFileGeneratorFactory.h"
#include "engine/KSObserver.h"
#include "support/KSLogger.h"

GeneratorWorker::GeneratorWorker(const CKSManualResetEvent& stopEvent) : m_stopEvent(stopEvent) {}

GeneratorWorker::~GeneratorWorker() {
    m_exit.Set();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool GeneratorWorker::Start() {
    if (m_running.load()) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_running = true;
    try {
        m_thread = std::thread(&GeneratorWorker::ThreadMain, this);
    } catch (const std::system_error&) {
        m_running = false;
        return false;
    }
    return true;
}

bool GeneratorWorker::SubmitBatch(std::vector<CKSString> definitionNames, const CKSString& batchName,
                                  const CKSString& configFile, const CKSString& destination,
                                  std::shared_ptr<IOutput> output, CBatchOptions options) {
    std::unique_ptr<CKSGeneratorBatch> batch;
    try {
        batch = std::make_unique<CKSGeneratorBatch>(std::move(definitionNames), configFile, destination,
                                                    std::move(output), options);
    } catch (const std::bad_alloc&) {
        return false;
    }
    batch->SetName(batchName);
    CAutoLock lock(m_lock);
    m_queue.push_back(std::move(batch));
    m_newWork.Set();
    return true;
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

std::unique_ptr<CKSGeneratorBatch> GeneratorWorker::TakeNextBatch() {
    CAutoLock lock(m_lock);
    if (m_queue.empty()) {
        // Reset under the lock that SubmitBatch sets it under, so no batch can slip in between
        // the look at the queue and the reset.
        m_newWork.Reset();
        return nullptr;
    }
    std::unique_ptr<CKSGeneratorBatch> batch = std::move(m_queue.front());
    m_queue.pop_front();
    return batch;
}

void GeneratorWorker::ThreadMain() {
    CKSSynchronizer loggerLock;
    CKSLogger logger;
    logger.SetTitle(u"Fakemill");
    logger.SetLock(&loggerLock);
    const CKSFileGeneratorFactory factory(&logger);

    for (;;) {
        while (std::unique_ptr<CKSGeneratorBatch> batch = TakeNextBatch()) {
            logger.SetLevel(m_logLevel.load());
            CKSObserver::Instance().Publish(kBatchStartedEvent, batch->GetName(), 0);
            RunBatch(batch.get(), factory, logger);
            const CKSString name = batch->GetName();
            {
                CAutoLock lock(m_lock);
                m_finished.push_back(std::move(batch));
            }
            CKSObserver::Instance().Publish(kBatchFinishedEvent, name, 0);
        }
        const int woken =
            CKSManualResetEvent::WaitAny({&m_stopEvent, &m_newWork, &m_exit}, kWakeWaitMilliseconds);
        if (woken == 0 || woken == 2) {
            break;
        }
    }
    m_running = false;
}
