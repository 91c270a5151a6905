#pragma once
// The file exerciser: a modal dialog that collects target files (Add File, or drop them on the
// list), picks a mode and holds the files with the exerciser's thread (CKSHamperingAgent) to
// provoke I/O errors in other programs, logging every open and close while it runs.

#include "tools/KSHamperingAgent.h"
#include "ui/AppMessageRelay.h"
#include "ui/KSDialog.h"
#include "ui/KSDropTarget.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class CKSHamperingAgentDialog : public CKSDialog, public IFilePathSink, private IHamperingListener {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 141;
    static constexpr int kIdcTargets = 1052;
    static constexpr int kIdcMode = 1056;
    static constexpr int kIdcStart = 1055;
    static constexpr int kIdcAddFile = 1006;
    static constexpr int kIdcLog = 1058;
    static constexpr int kIdcStop = 1054;
    // Messages from the agent and the drop target (app message codes).
    static constexpr int kMsgDropped = CKSDropTarget::kDroppedCode;
    static constexpr int kMsgRunEnded = 3;
    static constexpr int kMsgOpening = 4;
    static constexpr int kMsgClosing = 5;

    explicit CKSHamperingAgentDialog(QWidget* owner = nullptr);
    ~CKSHamperingAgentDialog() override;

    // IFilePathSink: lists the path and makes it a target. Duplicates are allowed.
    bool Add(const QString& path) override;

    // The commands, as the buttons run them.
    void AddFiles();
    void StartRun();
    void StopRun();

    bool IsRunning() const { return m_running; }
    QListWidget* Targets() const { return m_targets; }
    QComboBox* Mode() const { return m_mode; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* StopButton() const { return m_stop; }
    QPushButton* AddFileButton() const { return m_addFile; }
    QPlainTextEdit* Log() const { return m_log; }
    // The agent's own list, in the order the targets were added.
    std::vector<CKSString> AgentTargets() const { return m_agent.GetTargets(); }
    // How long rotate mode holds each file (tests shorten it).
    void SetRotateHold(std::uint32_t milliseconds) { m_agent.SetRotateHold(milliseconds); }

protected:
    void OnCommand(int id) override;
    void OnClose() override;
    void OnAppMessage(int code, std::any& payload) override;

private:
    struct Opening {
        CKSString path;
        int error = 0;
    };

    // IHamperingListener, on the agent's thread: posts only.
    void OnOpening(const CKSString& path, int error) override;
    void OnClosing(const CKSString& path) override;
    void OnRunEnded() override;

    void SetIdle();
    void AppendLog(const QString& text);
    void EndAgent();

    QListWidget* m_targets;
    QComboBox* m_mode;
    QPushButton* m_start;
    QPushButton* m_addFile;
    QPushButton* m_stop;
    QPlainTextEdit* m_log;
    QLabel* m_targetsLabel;
    bool m_running = false;
    bool m_ended = false;
    // Declared before the agent, so that the agent's thread is joined before the relay goes.
    CAppMessageRelay m_relay;
    CKSHamperingAgent m_agent;
};

// Tools > File Exerciser: the modal dialog, with a fresh agent and no targets each time.
void RunFileExerciser(QWidget* owner);
