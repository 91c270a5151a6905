#include "app/AppContext.h"

#include "support/KSLogger.h"

CAppContext::CAppContext() = default;

CAppContext::~CAppContext() = default;

void CAppContext::Shutdown(CKSLogger* log, int exitCode) {
    m_worker.Stop();
    AwaitWorkerOrEndProcess(m_worker, GeneratorWorker::kShutdownWaitMilliseconds, log, exitCode);
    if (!m_reaper.Finish(kToolThreadsExitMilliseconds)) {
        if (log != nullptr) {
            log->ErrorF("%u tool threads did not end within %u ms; ending the process.",
                        static_cast<std::uint32_t>(m_reaper.Pending()), kToolThreadsExitMilliseconds);
        }
        EndProcessNow(exitCode, log);
    }
}
