#include "ui/KSHamperingAgentDialog.h"

#include "app/AppContext.h"
#include "tools/PermissionsJournal.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QCheckBox>
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
      m_targets(new QListWidget(this)), m_mode(new QComboBox(this)), m_way(new QComboBox(this)),
      m_failReads(new QCheckBox(QStringLiteral("Also fail &reads"), this)), m_wayNote(new QLabel(this)),
      m_kernel(ProbeKernelDeny(HoldHelperPath())), m_start(new QPushButton(QStringLiteral("&Start"), this)),
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
    m_wayNote->setObjectName(QStringLiteral("wayNote"));
    m_wayNote->setWordWrap(true);
    m_wayNote->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_way->setObjectName(QStringLiteral("way"));
    m_way->setToolTip(QStringLiteral("How the files are held against other programs"));
    m_way->addItem(QStringLiteral("Kernel refuses opens"), QStringLiteral("kernel"));
    m_way->addItem(QStringLiteral("Permissions 000"), QStringLiteral("permissions"));
    m_way->addItem(QStringLiteral("Advisory locks"), QStringLiteral("lock"));
    m_way->setCurrentIndex(m_kernel.available ? 0 : 2);
    m_failReads->setObjectName(QStringLiteral("failReads"));
    connect(m_way, &QComboBox::currentIndexChanged, this, &CKSHamperingAgentDialog::ShowWay);
    connect(m_failReads, &QCheckBox::toggled, this, &CKSHamperingAgentDialog::ShowWay);

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
    buttons->addWidget(m_way, 1);
    buttons->addWidget(m_start);
    buttons->addWidget(m_addFile);
    buttons->addWidget(m_stop);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_wayNote);
    layout->addWidget(m_targetsLabel);
    layout->addWidget(m_targets, 1);
    layout->addWidget(m_log, 1);
    layout->addWidget(m_failReads);
    layout->addLayout(buttons);
    resize(620, 380);

    connect(m_tool, &CFileExerciserTool::LogAppended, this, &CKSHamperingAgentDialog::AppendLog);
    connect(m_tool, &CFileExerciserTool::StateChanged, this, &CKSHamperingAgentDialog::ShowState);
    m_tool->SetKernelStatus(m_kernel);
    // Modes that a killed run left are put back before anything is held again.
    for (const std::string& line : CPermissionsJournal::UserJournal().Restore()) {
        AppendLog(QString::fromStdString(line) + QLatin1Char('\n'));
    }
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
    const QStringList files = Prompts().ChooseOpenFiles(this, QStringLiteral("Open"), QString(),
                                                        PortableFilter(kAddFileFilters), nullptr);
    for (const QString& file : files) {
        if (!Add(file)) {
            break;
        }
    }
}

void CKSHamperingAgentDialog::StartRun() {
    m_tool->SetMode(m_mode->currentData().toUInt());
    m_tool->SetWay(ChosenWay(), m_failReads->isChecked());
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
    ShowWay();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_start, m_addFile, m_targets, m_targetsLabel,
                                                           m_mode, m_way, m_failReads}) {
        widget->setVisible(idle);
    }
    // The log stays in view once it has anything to show, so that a run's closing lines can be
    // read after it ended.
    m_log->setVisible(!idle || !m_log->document()->isEmpty());
}

DenyWay CKSHamperingAgentDialog::ChosenWay() const {
    const QString way = m_way->currentData().toString();
    if (way == QLatin1String("kernel")) {
        return DenyWay::Kernel;
    }
    return way == QLatin1String("permissions") ? DenyWay::Permissions : DenyWay::Lock;
}

void CKSHamperingAgentDialog::ShowWay() {
    const bool kernel = ChosenWay() == DenyWay::Kernel;
    m_failReads->setEnabled(kernel);
    QString note =
        QStringLiteral("In force: %1.")
            .arg(QString::fromStdString(DenyWayEffect(ChosenWay(), kernel && m_failReads->isChecked())));
    if (!m_kernel.available) {
        note += QStringLiteral(" The kernel way is not available: %1.")
                    .arg(QString::fromStdString(m_kernel.reason));
    }
    m_wayNote->setText(note);
    m_start->setEnabled(m_tool->GetState() == CFileExerciserTool::State::Idle && !m_tool->Targets().empty() &&
                        (!kernel || m_kernel.available));
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
