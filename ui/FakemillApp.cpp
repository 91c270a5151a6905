#include "ui/FakemillApp.h"

#include "app/ConfigInfoUI.h"
#include "app/GeneratorWorker.h"
#include "app/KSGeneratorWorkerConduit.h"
#include "engine/KSObserver.h"
#include "engine/StopEvent.h"
#include "support/KSException.h"
#include "ui/MainWindow.h"
#include "ui/Resources.h"
#include "ui/TerminationSignals.h"
#include "ui/UserPrompts.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdlib>

namespace {

constexpr std::uint32_t kCaptionCapacity = 100;

} // namespace

CFakemillApp::CFakemillApp() = default;

CFakemillApp::~CFakemillApp() {
    Shutdown();
}

bool CFakemillApp::InitMainWindow() {
    // The stop event is process-wide and exists from the first use; the worker comes next so
    // that everything after it can reach it.
    m_worker = std::make_unique<GeneratorWorker>(ApplicationStopEvent());
    QString caption = res::String(res::kIdsCaption);
    caption.truncate(kCaptionCapacity);
    m_logOutput.Open(m_logger);
    m_logger.SetOutput(&m_logOutput);
    m_conduit = std::make_unique<CKSGeneratorWorkerConduit>(m_worker.get());
    try {
        CKSObserver::Instance().StartDispatch();
    } catch (const CKSException& error) {
        m_logger.ErrorF(u"%s", static_cast<const CKSString&>(error));
        StopDispatcherAndWorker();
        return false;
    }
    m_main = std::make_unique<CMainWindow>(m_tools);
    m_main->setWindowTitle(caption);
    m_main->SetCloseHandler([this] { OnMainWindowClosing(); });
    m_main->SetLog(&m_logger);
    m_main->RestorePlacement();
    if (!LoadOrInitializeConfig(&m_logger)) {
        StopDispatcherAndWorker();
        return false;
    }
    m_main->Reload();
    if (!m_worker->Start()) {
        m_logger.ErrorF(u"Failed to start worker.");
        StopDispatcherAndWorker();
        return false;
    }
    m_main->show();
    return true;
}

int CFakemillApp::Run() {
    const int status = QApplication::exec();
    Shutdown();
    return status;
}

void CFakemillApp::OnMainWindowClosing() {
    CKSObserver::Instance().Shutdown(CKSObserver::kShutdownWaitMs);
    ApplicationQuitEvent().Set();
    m_main->CloseOtherWindows();
    if (!m_stopped) {
        m_stopped = true;
        ApplicationStopEvent().Set();
    }
    // Closing the main window always ends the program, whatever other windows are open.
    QCoreApplication::quit();
}

void CFakemillApp::StopDispatcherAndWorker() {
    CKSObserver::Instance().Shutdown(CKSObserver::kShutdownWaitMs);
    if (!m_stopped) {
        m_stopped = true;
        ApplicationStopEvent().Set();
    }
}

void CFakemillApp::Shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    StopDispatcherAndWorker();
    // Windows closed in the last moments of the loop are deleted here, so their threads are joined.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (m_worker) {
        // A worker stuck in a write cannot be abandoned safely: past the wait the process ends.
        AwaitWorkerOrEndProcess(*m_worker, GeneratorWorker::kShutdownWaitMilliseconds, &m_logger,
                                EXIT_FAILURE);
    }
    m_main.reset();
    TraceClose();
    m_conduit.reset();
    m_worker.reset();
    m_logger.Flush(true);
    m_logger.SetOutput(nullptr);
}

int RunFakemill() {
    QApplication::setQuitOnLastWindowClosed(false);
    CFakemillApp app;
    if (!app.InitMainWindow()) {
        app.Shutdown();
        Prompts().ShowMessage(nullptr, res::String(res::kIdsCaption),
                              QStringLiteral("Could not start Fakemill"));
        return 1;
    }
    // A termination signal closes the main window, which ends the program in order.
    const CTerminationSignals terminationWatch([&app] { app.MainWindow()->close(); });
    return app.Run();
}
