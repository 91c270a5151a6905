#include "app/KSGeneratorWorkerConduit.h"

namespace {

std::atomic<GeneratorWorker*> g_worker{nullptr};

} // namespace

CKSGeneratorWorkerConduit::CKSGeneratorWorkerConduit(GeneratorWorker* worker) : m_worker(worker) {
    g_worker.store(worker, std::memory_order_release);
}

CKSGeneratorWorkerConduit::~CKSGeneratorWorkerConduit() {
    // Only our own registration is withdrawn; a later one stays.
    GeneratorWorker* expected = m_worker;
    g_worker.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

GeneratorWorker* CKSGeneratorWorkerConduit::Get() {
    return g_worker.load(std::memory_order_acquire);
}
