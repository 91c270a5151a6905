#pragma once
// The file exerciser's dialog: a modal dialog over a CFileExerciserTool. It collects target files
// (Add File, or dropped on the list), picks a mode and a way of holding, starts and stops runs and
// shows their log, which stays in view after a run; the tool holds the files.

#include "tools/FileExerciserTool.h"
#include "ui/KSDialog.h"
#include "ui/KSDropTarget.h"

#include <memory>

class CAppContext;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class CKSHamperingAgentDialog : public CKSDialog, public IFilePathSink {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 141;

    // The dialog shows the tool given (a test's), or one of its own.
    explicit CKSHamperingAgentDialog(CAppContext& context, QWidget* owner = nullptr,
                                     std::unique_ptr<CFileExerciserTool> tool = nullptr);
    ~CKSHamperingAgentDialog() override;

    // IFilePathSink: lists the path and makes it a target. Duplicates are allowed.
    bool Add(const QString& path) override;

    // The commands, as the buttons run them.
    void AddFiles();
    void StartRun();
    void StopRun();

    bool IsRunning() const { return m_tool->GetState() != CFileExerciserTool::State::Idle; }
    CFileExerciserTool& Tool() const { return *m_tool; }
    QListWidget* Targets() const { return m_targets; }
    QComboBox* Mode() const { return m_mode; }
    // How the files are held ("kernel", "permissions", "lock" as item data) and whether reads
    // fail too (kernel only); the line below says which way is in force and what it does.
    QComboBox* Way() const { return m_way; }
    QCheckBox* FailReads() const { return m_failReads; }
    QLabel* WayNote() const { return m_wayNote; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* StopButton() const { return m_stop; }
    QPushButton* AddFileButton() const { return m_addFile; }
    QPlainTextEdit* Log() const { return m_log; }
    // How long rotate mode holds each file (tests shorten it).
    void SetRotateHold(std::uint32_t milliseconds) { m_tool->SetRotateHold(milliseconds); }

protected:
    void OnClose() override;

private:
    // Shows the tool's state: the targets and Start while idle, the log and Stop while running.
    void ShowState();
    // Shows what the chosen way does (and why the kernel way is not there) and whether Start may
    // be pressed: not for the kernel way where it is not available.
    void ShowWay();
    DenyWay ChosenWay() const;
    void AppendLog(const QString& text);

    CFileExerciserTool* m_tool;
    QListWidget* m_targets;
    QComboBox* m_mode;
    QComboBox* m_way;
    QCheckBox* m_failReads;
    QLabel* m_wayNote;
    KernelDenyStatus m_kernel;
    QPushButton* m_start;
    QPushButton* m_addFile;
    QPushButton* m_stop;
    QPlainTextEdit* m_log;
    QLabel* m_targetsLabel;
};

// Tools > File Exerciser: the modal dialog, with a fresh tool and no targets each time.
void RunFileExerciser(QWidget* owner, CAppContext& context);
