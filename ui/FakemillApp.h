#pragma once
// The desktop program's life: start-up in a fixed order (application log, application context with
// the settings store and the worker, dispatcher, main window, configuration, worker thread last) and
// shutdown in the reverse order with bounded waits, so that nothing keeps running once the main
// window is gone.

#include "app/AppContext.h"
#include "app/KSFakemillLogger.h"
#include "ui/ToolWindowManager.h"

#include <memory>

class CMainWindow;

class CFakemillApp {
public:
    CFakemillApp();
    ~CFakemillApp();
    CFakemillApp(const CFakemillApp&) = delete;
    CFakemillApp& operator=(const CFakemillApp&) = delete;

    // Starts everything and shows the main window. On failure it logs why, stops what it had
    // started (no thread is left running) and answers false.
    bool InitMainWindow();
    // Runs the event loop until the main window closes, then ends the program in order.
    int Run();
    // The shutdown steps after the event loop; safe to call more than once. A thread still running
    // past its bound ends the process (see CAppContext::Shutdown).
    void Shutdown();

    CMainWindow* MainWindow() const { return m_main.get(); }
    CToolWindowManager& ToolWindows() { return m_tools; }
    CAppContext& Context() { return *m_context; }
    CKSLogger& Logger() { return m_logger; }

private:
    // The steps that must run while the event loop still runs: the dispatcher closes, the quit
    // event is set, every other window closes through its normal path, the worker is stopped.
    void OnMainWindowClosing();
    void StopDispatcherAndWorker();

    // The logger outlives the context, whose settings store reports failed writes to it.
    CKSFakemillLogger m_logger;
    CKSFKMOutput m_logOutput;
    std::unique_ptr<CAppContext> m_context;
    CToolWindowManager m_tools;
    std::unique_ptr<CMainWindow> m_main;
    bool m_shutDown = false;
};

// The program's run behind main(): start-up, the start-up failure box and the exit status (0 after
// a normal end, 1 when start-up failed). A termination signal closes the main window.
int RunFakemill(CFakemillApp& app);
