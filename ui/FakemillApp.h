#pragma once
// The desktop program's life: start-up in a fixed order (stop event, worker, caption, application
// log, conduit, tool windows, dispatcher, main window, worker thread last) and shutdown in the
// reverse order with bounded waits, so that nothing keeps running once the main window is gone.

#include "app/KSFakemillLogger.h"
#include "ui/ToolWindowManager.h"

#include <cstdint>
#include <memory>

class CKSGeneratorWorkerConduit;
class CMainWindow;
class GeneratorWorker;

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
    // The shutdown steps after the event loop; safe to call more than once.
    void Shutdown();

    CMainWindow* MainWindow() const { return m_main.get(); }
    CToolWindowManager& ToolWindows() { return m_tools; }
    GeneratorWorker* Worker() const { return m_worker.get(); }
    CKSLogger& Logger() { return m_logger; }

private:
    // The steps that must run while the event loop still runs: the dispatcher closes, the quit
    // event is set, every other window closes through its normal path, the stop event is set.
    void OnMainWindowClosing();
    void StopDispatcherAndWorker();

    CKSFakemillLogger m_logger;
    CKSFKMOutput m_logOutput;
    std::unique_ptr<GeneratorWorker> m_worker;
    std::unique_ptr<CKSGeneratorWorkerConduit> m_conduit;
    CToolWindowManager m_tools;
    std::unique_ptr<CMainWindow> m_main;
    bool m_stopped = false;
    bool m_shutDown = false;
};

// The program's entry behind main(): the start-up failure box and the exit status (0 after a
// normal end, 1 when start-up failed).
int RunFakemill();
