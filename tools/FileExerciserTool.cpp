#include "tools/FileExerciserTool.h"

#include <QDateTime>

CFileExerciserTool::CFileExerciserTool(CThreadReaper& reaper, AgentFactory makeAgent, QObject* parent)
    : QObject(parent), m_makeAgent(std::move(makeAgent)), m_agent(this, reaper) {}

CFileExerciserTool::~CFileExerciserTool() {
    Close();
}

bool CFileExerciserTool::AddTarget(const QString& path) {
    if (m_state != State::Idle || IsClosed()) {
        return false;
    }
    m_targets.push_back(CKSString::FromQString(path));
    return true;
}

CKSError CFileExerciserTool::Start() {
    if (m_state != State::Idle || IsClosed() || m_targets.empty()) {
        return {};
    }
    // The agent of the last run has reported its end; whatever is left of its thread is the
    // reaper's to wait for, not this one's.
    m_agent.Release();
    // Read by the agent's thread for its log lines: set before it starts.
    m_runWay = QString::fromLatin1(DenyWayName(m_way));
    std::unique_ptr<CKSHamperingAgent> agent =
        m_makeAgent ? m_makeAgent() : std::make_unique<CKSHamperingAgent>(nullptr);
    if (!agent) {
        return CKSError(u"Could not start the exerciser", CKSString(u""), u"its thread could not be made");
    }
    agent->SetMode(m_mode);
    agent->SetRotateHold(m_rotateHold);
    agent->SetHolder(m_holder ? m_holder : MakeFileHolder(m_way, m_failReads));
    for (const CKSString& target : m_targets) {
        agent->AddTarget(target);
    }
    agent->SetListener(this);
    m_agent.Reset(std::move(agent));
    if (!m_agent->Start()) {
        m_agent.Release();
        // Read by the agent's thread for its log lines: set before it starts.
        m_runWay = QString::fromLatin1(DenyWayName(m_way));
        return CKSError(u"Could not start the exerciser", CKSString(u""), u"its thread could not be started");
    }
    QString heading = QStringLiteral("---- Run of %1, %2 way: %3 ----\n")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                               m_runWay, QString::fromStdString(DenyWayEffect(m_way, m_failReads)));
    if (m_way != DenyWay::Kernel && !m_kernelStatus.available) {
        heading += QStringLiteral("    The kernel way is not available: %1\n")
                       .arg(QString::fromStdString(m_kernelStatus.reason));
    }
    emit LogAppended(heading);
    SetState(State::Running);
    return {};
}

void CFileExerciserTool::Stop() {
    if (m_state != State::Running) {
        return;
    }
    // The run is over only when the agent says so (a rotate hold runs out first).
    SetState(State::Stopping);
    m_agent->SignalStop();
}

void CFileExerciserTool::Close() {
    // The reaper abandons the agent: a rotate hold is cut short and every held file let go.
    if (m_agent.Close()) {
        m_state = State::Idle;
    }
}

void CFileExerciserTool::SetState(State state) {
    if (m_state != state) {
        m_state = state;
        emit StateChanged();
    }
}

void CFileExerciserTool::OnOpening(const CKSString& path, int error) {
    QString text = QStringLiteral("Opening: %1 (%2)\n").arg(path.ToQString(), m_runWay);
    if (error != 0) {
        text += QStringLiteral("    Failed: %1\n").arg(QString::fromStdString(HamperFailureReason(error)));
    }
    m_agent.Post([this, text] { emit LogAppended(text); });
}

void CFileExerciserTool::OnClosing(const CKSString& path) {
    const QString text = QStringLiteral("Closing: ") + path.ToQString() + QLatin1Char('\n');
    m_agent.Post([this, text] { emit LogAppended(text); });
}

void CFileExerciserTool::OnRunEnded() {
    m_agent.Post([this] { SetState(State::Idle); });
}
