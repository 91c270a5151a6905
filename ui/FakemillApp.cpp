#include "ui/FakemillApp.h"

#include "app/TerminationSignals.h"
#include "engine/KSObserver.h"
#include "engine/StopEvent.h"
#include "support/KSException.h"
#include "ui/MainWindow.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdlib>

namespace {

constexpr std::uint32_t kCaptionCapacity = 100;

} // namespace

CFakemillApp::CFakemillApp() : m_context(std::make_unique<CAppContext>()) {}

CFakemillApp::~CFakemillApp() {
    Shutdown();
}

bool CFakemillApp::InitMainWindow() {
    QString caption = res::String(res::kIdsCaption);
    caption.truncate(kCaptionCapacity);
    if (m_logOutput.Open(m_logger)) {
        m_logger.RemoveOldLogFiles();
    }
    m_logger.SetOutput(&m_logOutput);
    m_context->Settings().SetFailureLog(&m_logger);
    try {
        CKSObserver::Instance().StartDispatch();
    } catch (const CKSException& error) {
        m_logger.ErrorF(u"%s", static_cast<const CKSString&>(error));
        m_startFailure = static_cast<const CKSString&>(error).ToQString();
        StopDispatcherAndWorker();
        return false;
    }
    m_main = std::make_unique<CMainWindow>(*m_context, m_tools);
    m_main->setWindowTitle(caption);
    m_main->SetCloseHandler([this] { OnMainWindowClosing(); });
    m_main->SetLog(&m_logger);
    m_main->RestorePlacement();
    if (!m_context->Config().LoadOrInitialize(&m_logger)) {
        m_startFailure =
            QStringLiteral("the configuration file could not be read or created (the log says which)");
        StopDispatcherAndWorker();
        return false;
    }
    m_main->Reload();
    if (!m_context->Worker().Start()) {
        m_logger.ErrorF(u"Failed to start worker.");
        m_startFailure = QStringLiteral("the thread that generates files could not be started");
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
    // A generator pausing after a file ends its pause at once.
    ApplicationQuitEvent().Set();
    m_main->CloseOtherWindows();
    m_context->Worker().Stop();
    // Closing the main window always ends the program, whatever other windows are open.
    QCoreApplication::quit();
}

void CFakemillApp::StopDispatcherAndWorker() {
    CKSObserver::Instance().Shutdown(CKSObserver::kShutdownWaitMs);
    m_context->Worker().Stop();
}

void CFakemillApp::Shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    StopDispatcherAndWorker();
    // Windows closed in the last moments of the loop are deleted here; their tools hand their
    // threads to the reaper.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // A thread stuck in a write or a read cannot be abandoned safely: past its bound the process ends.
    m_context->Shutdown(&m_logger, EXIT_FAILURE);
    m_main.reset();
    TraceClose();
    m_logger.Flush(true);
    m_logger.SetOutput(nullptr);
}

int RunFakemill(CFakemillApp& app) {
    if (!app.InitMainWindow()) {
        app.Shutdown();
        Prompts().ShowError(nullptr, res::String(res::kIdsCaption),
                            QStringLiteral("Could not start Fakemill: %1.").arg(app.StartFailure()));
        return 1;
    }
    // A termination signal closes the main window, which ends the program in order.
    const CTerminationSignals terminationWatch([&app] { app.MainWindow()->close(); });
    return app.Run();
}
