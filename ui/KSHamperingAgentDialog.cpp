#include "ui/KSHamperingAgentDialog.h"

#include "engine/StopEvent.h"
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
// A run that has reported its end leaves its thread within moments.
constexpr std::uint32_t kThreadEndMilliseconds = 5000;

} // namespace

CKSHamperingAgentDialog::CKSHamperingAgentDialog(QWidget* owner)
    : CKSDialog(kTemplateId, owner), m_targets(new QListWidget(this)), m_mode(new QComboBox(this)),
      m_start(new QPushButton(QStringLiteral("&Start"), this)),
      m_addFile(new QPushButton(QStringLiteral("Add &File"), this)),
      m_stop(new QPushButton(QStringLiteral("S&top"), this)), m_log(new QPlainTextEdit(this)),
      m_targetsLabel(new QLabel(QStringLiteral("Targets:"), this)), m_relay(this),
      m_agent(&ApplicationStopEvent()) {
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

    m_targets->setObjectName(QStringLiteral("idc%1").arg(kIdcTargets));
    m_targets->setSortingEnabled(true);
    m_targets->setSelectionMode(QAbstractItemView::NoSelection);
    new CKSDropTarget(m_targets->viewport(), this);

    m_mode->setObjectName(QStringLiteral("idc%1").arg(kIdcMode));
    // In the order a sorted list shows them.
    m_mode->addItem(QStringLiteral("All the files"), kHamperModeAll);
    m_mode->addItem(QStringLiteral("Single file, fixed"), kHamperModeFixed);
    m_mode->addItem(QStringLiteral("Single file, rotate"), kHamperModeRotate);
    m_mode->setCurrentIndex(0);

    m_start->setObjectName(QStringLiteral("idc%1").arg(kIdcStart));
    m_start->setDefault(true);
    m_addFile->setObjectName(QStringLiteral("idc%1").arg(kIdcAddFile));
    m_stop->setObjectName(QStringLiteral("idc%1").arg(kIdcStop));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("idc2"));
    close->setAutoDefault(false);
    AddCommand(m_start, kIdcStart);
    AddCommand(m_addFile, kIdcAddFile);
    AddCommand(m_stop, kIdcStop);
    AddCommand(close, 2);

    m_log->setObjectName(QStringLiteral("idc%1").arg(kIdcLog));
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

    m_agent.SetListener(this);
    SetIdle();
    m_start->setEnabled(false);
}

CKSHamperingAgentDialog::~CKSHamperingAgentDialog() {
    EndAgent();
}

bool CKSHamperingAgentDialog::Add(const QString& path) {
    if (m_running || m_ended) {
        return false;
    }
    // The list shows the targets sorted; the agent keeps them in the order they came.
    m_targets->addItem(path);
    m_agent.AddTarget(CKSString::FromQString(path));
    m_start->setEnabled(true);
    return true;
}

void CKSHamperingAgentDialog::OnCommand(int id) {
    switch (id) {
    case kIdcAddFile:
        AddFiles();
        break;
    case kIdcStart:
        StartRun();
        break;
    case kIdcStop:
        StopRun();
        break;
    default:
        break;
    }
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
    if (m_running || m_ended || m_targets->count() == 0) {
        return;
    }
    m_agent.SetMode(m_mode->currentData().toUInt());
    // The last run has reported its end; its thread may still be on its way out.
    m_agent.WaitForExit(kThreadEndMilliseconds);
    if (!m_agent.Start()) {
        AppendLog(QStringLiteral("The exerciser's thread could not be started."));
        return;
    }
    m_running = true;
    m_stop->setEnabled(true);
    m_start->setEnabled(false);
    m_start->hide();
    m_addFile->hide();
    m_targets->hide();
    m_targetsLabel->hide();
    m_mode->hide();
    m_log->show();
}

void CKSHamperingAgentDialog::StopRun() {
    if (!m_running) {
        return;
    }
    // The run is over only when the agent says so (a rotate hold runs out first): until then the
    // log stays in view for the closing lines and Start stays away.
    m_stop->setEnabled(false);
    m_agent.SignalStop();
}

void CKSHamperingAgentDialog::SetIdle() {
    m_running = false;
    m_stop->setEnabled(false);
    m_start->setEnabled(m_targets->count() > 0);
    m_start->show();
    m_addFile->show();
    m_targets->show();
    m_targetsLabel->show();
    m_mode->show();
    m_log->hide();
}

void CKSHamperingAgentDialog::OnOpening(const CKSString& path, int error) {
    m_relay.Post(kMsgOpening, Opening{path, error});
}

void CKSHamperingAgentDialog::OnClosing(const CKSString& path) {
    m_relay.Post(kMsgClosing, path);
}

void CKSHamperingAgentDialog::OnRunEnded() {
    m_relay.Post(kMsgRunEnded, {});
}

void CKSHamperingAgentDialog::OnAppMessage(int code, std::any& payload) {
    switch (code) {
    case kMsgDropped:
        if (const auto* paths = std::any_cast<QStringList>(&payload)) {
            for (const QString& path : *paths) {
                if (!Add(path)) {
                    break;
                }
            }
        }
        break;
    case kMsgRunEnded:
        SetIdle();
        break;
    case kMsgOpening:
        if (const auto* opening = std::any_cast<Opening>(&payload)) {
            QString text = QStringLiteral("Opening: ") + opening->path.ToQString() + QLatin1Char('\n');
            if (opening->error != 0) {
                text += QStringLiteral("    Failed: %1\n")
                            .arg(QString::fromStdString(HamperFailureReason(opening->error)));
            }
            AppendLog(text);
        }
        break;
    case kMsgClosing:
        if (const auto* path = std::any_cast<CKSString>(&payload)) {
            AppendLog(QStringLiteral("Closing: ") + path->ToQString() + QLatin1Char('\n'));
        }
        break;
    default:
        break;
    }
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
    EndAgent();
}

void CKSHamperingAgentDialog::EndAgent() {
    if (m_ended) {
        return;
    }
    m_ended = true;
    // Nothing reaches the dialog any more; a rotate hold is cut short, and every held file is let
    // go before the thread ends.
    m_relay.Detach();
    m_agent.Abandon();
    m_agent.WaitForExit(kWaitForever);
    m_agent.SetListener(nullptr);
}

void RunFileExerciser(QWidget* owner) {
    CKSHamperingAgentDialog dialog(owner);
    dialog.DoModal();
}
