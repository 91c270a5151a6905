#include "ui/KSHamperingAgentDialog.h"

#include "app/AppContext.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

const QString kAddFileFilters =
    QStringLiteral("All (*.*);;Text (*.txt);;Bin/test (*.bin);;Images (*.png *.gif *.bmp *.jpg *.jpeg)");

} // namespace

CKSHamperingAgentDialog::CKSHamperingAgentDialog(CAppContext& context, QWidget* owner,
                                                 std::unique_ptr<CFileExerciserTool> tool)
    : CKSDialog(kTemplateId, owner), m_tool(tool ? tool.release() : new CFileExerciserTool(context.Reaper())),
      m_targets(new QListWidget(this)), m_mode(new QComboBox(this)),
      m_start(new QPushButton(QStringLiteral("&Start"), this)),
      m_addFile(new QPushButton(QStringLiteral("Add &File"), this)),
      m_stop(new QPushButton(QStringLiteral("S&top"), this)), m_log(new QPlainTextEdit(this)),
      m_targetsLabel(new QLabel(QStringLiteral("Targets:"), this)) {
    m_tool->setParent(this);
    setWindowTitle(QStringLiteral("Fakemill: File Exerciser"));
    auto* intro = new QLabel(
        QStringLiteral(
            "The File Exerciser temporarily opens files in exclusive mode in order to provoke IO errors."),
        this);
    intro->setWordWrap(true);
    auto* note =
        new QLabel(QStringLiteral("Linux has no mandatory locking: the files are locked with flock and "
                                  "fcntl, so programs that take either lock fail, but programs that lock "
                                  "nothing can still read and write the file."),
                   this);
    note->setObjectName(QStringLiteral("lockingNote"));
    note->setWordWrap(true);

    m_targets->setObjectName(QStringLiteral("targets"));
    m_targets->setSortingEnabled(true);
    m_targets->setSelectionMode(QAbstractItemView::NoSelection);
    new CKSDropTarget(m_targets->viewport(), [this](const QStringList& paths) {
        for (const QString& path : paths) {
            if (!Add(path)) {
                break;
            }
        }
    });

    m_mode->setObjectName(QStringLiteral("mode"));
    // In the order a sorted list shows them.
    m_mode->addItem(QStringLiteral("All the files"), kHamperModeAll);
    m_mode->addItem(QStringLiteral("Single file, fixed"), kHamperModeFixed);
    m_mode->addItem(QStringLiteral("Single file, rotate"), kHamperModeRotate);
    m_mode->setCurrentIndex(0);

    m_start->setObjectName(QStringLiteral("start"));
    m_start->setDefault(true);
    m_addFile->setObjectName(QStringLiteral("addFile"));
    m_stop->setObjectName(QStringLiteral("stop"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setAutoDefault(false);
    connect(m_start, &QPushButton::clicked, this, &CKSHamperingAgentDialog::StartRun);
    connect(m_addFile, &QPushButton::clicked, this, &CKSHamperingAgentDialog::AddFiles);
    connect(m_stop, &QPushButton::clicked, this, &CKSHamperingAgentDialog::StopRun);
    AddCommand(close, res::kIdCancel);

    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_mode, 1);
    buttons->addWidget(m_start);
    buttons->addWidget(m_addFile);
    buttons->addWidget(m_stop);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(note);
    layout->addWidget(m_targetsLabel);
    layout->addWidget(m_targets, 1);
    layout->addWidget(m_log, 1);
    layout->addLayout(buttons);
    resize(520, 340);

    connect(m_tool, &CFileExerciserTool::LogAppended, this, &CKSHamperingAgentDialog::AppendLog);
    connect(m_tool, &CFileExerciserTool::StateChanged, this, &CKSHamperingAgentDialog::ShowState);
    ShowState();
}

CKSHamperingAgentDialog::~CKSHamperingAgentDialog() {
    m_tool->Close();
}

bool CKSHamperingAgentDialog::Add(const QString& path) {
    if (!m_tool->AddTarget(path)) {
        return false;
    }
    // The list shows the targets sorted; the tool keeps them in the order they came.
    m_targets->addItem(path);
    m_start->setEnabled(true);
    return true;
}

void CKSHamperingAgentDialog::AddFiles() {
    const QStringList files =
        Prompts().ChooseOpenFiles(this, QStringLiteral("Open"), QString(), PortableFilter(kAddFileFilters));
    for (const QString& file : files) {
        if (!Add(file)) {
            break;
        }
    }
}

void CKSHamperingAgentDialog::StartRun() {
    m_tool->SetMode(m_mode->currentData().toUInt());
    const CKSError failure = m_tool->Start();
    if (failure.Failed()) {
        ShowMessage(res::kIdsErrorCaption, QString::fromStdU16String(failure.Text()));
    }
}

void CKSHamperingAgentDialog::StopRun() {
    m_tool->Stop();
}

void CKSHamperingAgentDialog::ShowState() {
    const CFileExerciserTool::State state = m_tool->GetState();
    const bool idle = state == CFileExerciserTool::State::Idle;
    // A run stopping lets its file go when the hold runs out: until then the log stays in view
    // for the closing lines and Start stays away.
    m_stop->setEnabled(state == CFileExerciserTool::State::Running);
    m_start->setEnabled(idle && !m_tool->Targets().empty());
    for (QWidget* widget :
         {static_cast<QWidget*>(m_start), static_cast<QWidget*>(m_addFile), static_cast<QWidget*>(m_targets),
          static_cast<QWidget*>(m_targetsLabel), static_cast<QWidget*>(m_mode)}) {
        widget->setVisible(idle);
    }
    m_log->setVisible(!idle);
}

void CKSHamperingAgentDialog::AppendLog(const QString& text) {
    QScrollBar* bar = m_log->verticalScrollBar();
    const bool followEnd = bar->value() == bar->maximum();
    // A cursor of its own writes at the end, wherever the user clicked in the log.
    QTextCursor end(m_log->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    if (followEnd) {
        bar->setValue(bar->maximum());
    }
}

void CKSHamperingAgentDialog::OnClose() {
    // Every held file is let go at once; the agent's thread is the reaper's to wait for.
    m_tool->Close();
}

void RunFileExerciser(QWidget* owner, CAppContext& context) {
    CKSHamperingAgentDialog dialog(context, owner);
    dialog.DoModal();
}
