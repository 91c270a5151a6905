#pragma once
// The file exerciser without its window: the targets, the mode, and runs of the exerciser's agent
// (CKSHamperingAgent, a new one for each run) with their log and their state. Starting never waits
// for anything: the agent of an earlier run goes to the reaper. How a file is held is one seam, an
// IFileHolder. Qt Core only, so that headless tests reach every rule; the window lays out the
// controls, forwards input and shows the log and the state.

#include "support/KSError.h"
#include "tools/FileHolder.h"
#include "tools/HoldHelperProcess.h"
#include "tools/KSHamperingAgent.h"
#include "tools/ToolEngine.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CFileExerciserTool : public QObject, private IHamperingListener {
    Q_OBJECT
public:
    enum class State {
        Idle,
        Running,
        // Stop was asked for; the file in hand is let go when its hold runs out.
        Stopping,
    };
    // Makes the agent of a run; null when none can be made.
    using AgentFactory = std::function<std::unique_ptr<CKSHamperingAgent>()>;

    explicit CFileExerciserTool(CThreadReaper& reaper, AgentFactory makeAgent = {},
                                QObject* parent = nullptr);
    ~CFileExerciserTool() override;

    // Adds a target (duplicates allowed); false once a run is under way or the tool is closed.
    bool AddTarget(const QString& path);
    // The targets in the order they were added.
    const std::vector<CKSString>& Targets() const { return m_targets; }
    // For the runs started from now on: the mode (kHamperMode...), how long rotate mode holds each
    // file, and how the files are held (advisory locks unless told otherwise).
    void SetMode(std::uint32_t mode) { m_mode = mode; }
    void SetRotateHold(std::uint32_t milliseconds) { m_rotateHold = milliseconds; }
    // How the files are held: a way (advisory locks unless told otherwise) and, for the kernel
    // way, whether reads fail too; or a holder of the caller's own.
    void SetWay(DenyWay way, bool failReads) {
        m_way = way;
        m_failReads = failReads;
    }
    DenyWay Way() const { return m_way; }
    void SetHolder(std::shared_ptr<IFileHolder> holder) { m_holder = std::move(holder); }
    // Whether the kernel way can be had here, and why not, for the log of each run.
    void SetKernelStatus(KernelDenyStatus status) { m_kernelStatus = std::move(status); }

    // Starts a run at once. A run that cannot start is told as an error and leaves the tool idle.
    CKSError Start();
    // Ends the run: the file in hand is let go when its hold runs out, then the state is Idle.
    void Stop();
    // Lets every file go at once and ends the tool.
    void Close();

    State GetState() const { return m_state; }
    bool IsClosed() const { return m_agent.IsClosed(); }

signals:
    // Text for the run log, whole lines each ending in "\n": a run starts with a separator line
    // naming its time and the way in force, then "Opening: <path> (<way>)" (with "    Failed:
    // <reason>" after it when the file could not be held) and "Closing: <path>".
    void LogAppended(const QString& text);
    void StateChanged();

private:
    // IHamperingListener, on the agent's thread: each only queues a call.
    void OnOpening(const CKSString& path, int error) override;
    void OnClosing(const CKSString& path) override;
    void OnRunEnded() override;

    void SetState(State state);

    AgentFactory m_makeAgent;
    std::vector<CKSString> m_targets;
    std::uint32_t m_mode = kHamperModeAll;
    std::uint32_t m_rotateHold = CKSHamperingAgent::kRotateHoldMilliseconds;
    DenyWay m_way = DenyWay::Lock;
    bool m_failReads = false;
    std::shared_ptr<IFileHolder> m_holder;
    KernelDenyStatus m_kernelStatus{true, {}};
    // The way of the run under way, as its log lines name it.
    QString m_runWay;
    State m_state = State::Idle;
    CToolEngine<CKSHamperingAgent> m_agent;
};
