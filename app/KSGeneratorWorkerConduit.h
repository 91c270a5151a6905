#pragma once
// The process-wide way to the one generator worker: the entry registers the worker for as long
// as it lives, and the windows reach it only through here.

#include <atomic>

class GeneratorWorker;

class CKSGeneratorWorkerConduit {
public:
    // Registers the worker until this object is destroyed.
    explicit CKSGeneratorWorkerConduit(GeneratorWorker* worker);
    ~CKSGeneratorWorkerConduit();
    CKSGeneratorWorkerConduit(const CKSGeneratorWorkerConduit&) = delete;
    CKSGeneratorWorkerConduit& operator=(const CKSGeneratorWorkerConduit&) = delete;

    // The registered worker; null before the entry registered it and after it was destroyed.
    static GeneratorWorker* Get();

private:
    GeneratorWorker* m_worker;
};
