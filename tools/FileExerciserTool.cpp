#include "tools/FileExerciserTool.h"

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
    std::unique_ptr<CKSHamperingAgent> agent =
        m_makeAgent ? m_makeAgent() : std::make_unique<CKSHamperingAgent>(nullptr);
    if (!agent) {
        return CKSError(u"Could not start the exerciser", CKSString(u""), u"its thread could not be made");
    }
    agent->SetMode(m_mode);
    agent->SetRotateHold(m_rotateHold);
    agent->SetHolder(m_holder);
    for (const CKSString& target : m_targets) {
        agent->AddTarget(target);
    }
    agent->SetListener(this);
    m_agent.Reset(std::move(agent));
    if (!m_agent->Start()) {
        m_agent.Release();
        return CKSError(u"Could not start the exerciser", CKSString(u""), u"its thread could not be started");
    }
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
    QString text = QStringLiteral("Opening: ") + path.ToQString() + QLatin1Char('\n');
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
