#pragma once
// What the desktop program's windows share, made once by the program's entry and handed to each
// window when it is made: the settings store, the configuration in use, the generator worker and
// the reaper that takes the threads of closed tool windows. Nothing of it is reached through a
// global, so that a test makes a context of its own and leaves nothing behind for the next.

#include "app/ConfigInfoUI.h"
#include "app/GeneratorWorker.h"
#include "properties/FakemillSettings.h"
#include "support/ThreadReaper.h"

#include <cstdint>

class CKSLogger;

class CAppContext {
public:
    // How long the end of the program waits for the threads of closed tool windows: each ends at
    // its next read or wait, so one still running after this is stuck in the system (a hung
    // network file, say) and the process ends without it.
    static constexpr std::uint32_t kToolThreadsExitMilliseconds = 3000;

    // Opens the settings store and makes the worker, whose thread starts later (StartWorker).
    CAppContext();
    // The threads must have been stopped and awaited (Shutdown) before.
    ~CAppContext();
    CAppContext(const CAppContext&) = delete;
    CAppContext& operator=(const CAppContext&) = delete;

    CFakemillSettings& Settings() { return m_settings; }
    CConfigInfoUI& Config() { return m_config; }
    GeneratorWorker& Worker() { return m_worker; }
    CThreadReaper& Reaper() { return m_reaper; }

    // Stops the worker and waits for it and for the tool threads, each within its bound. When one
    // of them is still running past its bound, logs which and ends the process with exitCode
    // (EndProcessNow) instead of returning to destroy what the thread still uses.
    void Shutdown(CKSLogger* log, int exitCode);

private:
    CThreadReaper m_reaper;
    CFakemillSettings m_settings;
    CConfigInfoUI m_config;
    GeneratorWorker m_worker{nullptr};
};
