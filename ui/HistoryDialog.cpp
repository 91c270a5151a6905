#include "ui/HistoryDialog.h"

#include "app/GeneratorWorker.h"
#include "engine/KSObserver.h"
#include "support/Delivery.h"
#include "ui/Resources.h"
#include "ui/UserPrompts.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The distinct folders of a batch's generators, in their order.
QStringList BatchFolders(const CKSBatchInfo& info) {
    QStringList folders;
    for (const auto& [folder, name] : info.GetFolders()) {
        if (!folder.IsEmpty() && !folders.contains(folder.ToQString())) {
            folders << folder.ToQString();
        }
    }
    return folders;
}

QString FolderLine(const QStringList& folders) {
    if (folders.isEmpty()) {
        return QStringLiteral("Folder: none (no file was made)");
    }
    return (folders.size() == 1 ? QStringLiteral("Folder: ") : QStringLiteral("Folders: ")) +
           folders.join(QStringLiteral("; "));
}

// Set before the subscription starts: Notify may run as soon as the subscriber base is built.
struct CDialogTarget {
    CHistoryDialog* dialog;
    CDelivery* delivery;
};

} // namespace

// Hears of finished batches on the dispatcher's thread and only queues a call to the dialog. The
// dialog unsubscribes first thing in its destructor, and unsubscribing waits for a notice in
// flight, so nothing is queued to a dialog that is gone.
class CHistoryDialog::CFinishedListener : private CDialogTarget, public CKSSubscriber {
public:
    CFinishedListener(CHistoryDialog* target, CDelivery* delivery) : CDialogTarget{target, delivery} {}
    void Notify(const CKSEvent& event) override {
        if (event.GetKind() == CKSEvent::kBatchFinished) {
            delivery->Post([target = dialog] { target->AddNewBatches(); });
        }
    }
};

CHistoryDialog::CHistoryDialog(QWidget* owner, GeneratorWorker& worker)
    : CKSDialog(kTemplateId, owner), m_worker(worker), m_batches(new QListWidget(this)),
      m_generators(new QListWidget(this)), m_viewFiles(new QPushButton(QStringLiteral("View &Files"), this)),
      m_folder(new QLabel(this)), m_message(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Generator History"));
    m_batches->setObjectName(QStringLiteral("batches"));
    m_generators->setObjectName(QStringLiteral("generators"));
    m_viewFiles->setObjectName(QStringLiteral("viewFiles"));
    m_folder->setObjectName(QStringLiteral("folder"));
    m_message->setObjectName(QStringLiteral("message"));
    // Long paths wrap; the text can be selected and copied into a terminal.
    m_folder->setWordWrap(true);
    m_folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setWordWrap(true);
    m_viewFiles->setEnabled(false);
    m_viewFiles->setAutoDefault(false);

    auto* generators = new QGroupBox(QStringLiteral("Generators"), this);
    auto* generatorsLayout = new QVBoxLayout(generators);
    generatorsLayout->addWidget(m_generators);
    generatorsLayout->addWidget(m_folder);
    auto* viewRow = new QHBoxLayout;
    viewRow->addWidget(m_viewFiles);
    viewRow->addWidget(m_message, 1);
    generatorsLayout->addLayout(viewRow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("History"), this));
    layout->addWidget(m_batches, 1);
    layout->addWidget(generators, 1);
    layout->addLayout(MakeEndButtons(false));
    resize(460, 420);

    connect(m_viewFiles, &QPushButton::clicked, this, &CHistoryDialog::ViewFiles);
    connect(m_batches, &QListWidget::currentRowChanged, this, &CHistoryDialog::ShowBatch);
    connect(m_generators, &QListWidget::currentRowChanged, this, &CHistoryDialog::GeneratorChosen);

    // Subscribing first and then reading the list may see a batch twice; AddNewBatches only ever
    // appends what lies beyond the rows already shown, so it never does.
    m_listener = std::make_unique<CFinishedListener>(this, &m_delivery);
    AddNewBatches();
    if (m_batches->count() > 0) {
        m_batches->setCurrentRow(0);
    }
}

CHistoryDialog::~CHistoryDialog() {
    m_listener->Unsubscribe();
}

QString CHistoryDialog::Message() const {
    return m_message->text();
}

QString CHistoryDialog::FolderText() const {
    return m_folder->text();
}

QString CHistoryDialog::GeneratorFolder(int generator) const {
    const int batch = m_batches->currentRow();
    if (batch < 0 || generator < 0 || !m_snapshots[static_cast<std::size_t>(batch)]) {
        return {};
    }
    const auto& folders = m_snapshots[static_cast<std::size_t>(batch)]->GetFolders();
    return static_cast<std::size_t>(generator) < folders.size()
               ? folders[static_cast<std::size_t>(generator)].first.ToQString()
               : QString();
}

void CHistoryDialog::AddNewBatches() {
    std::vector<CKSString> names;
    m_worker.ListBatches(names);
    for (std::size_t index = m_snapshots.size(); index < names.size(); ++index) {
        std::unique_ptr<CKSBatchInfo> info = m_worker.GetBatchInfo(index);
        QString text = names[index].ToQString();
        if (info && info->WasStopped()) {
            text += QStringLiteral(" (stopped)");
        }
        m_batches->addItem(text);
        if (info) {
            m_batches->item(m_batches->count() - 1)->setToolTip(FolderLine(BatchFolders(*info)));
        }
        m_snapshots.push_back(std::move(info));
    }
}

void CHistoryDialog::GeneratorChosen() {
    m_message->clear();
    const QString folder = GeneratorFolder(m_generators->currentRow());
    m_viewFiles->setEnabled(!folder.isEmpty());
    if (m_generators->currentRow() >= 0) {
        m_folder->setText(FolderLine(folder.isEmpty() ? QStringList() : QStringList{folder}));
    }
}

void CHistoryDialog::ShowBatch(int row) {
    m_generators->clear();
    m_viewFiles->setEnabled(false);
    m_message->clear();
    m_folder->clear();
    if (row < 0 || static_cast<std::size_t>(row) >= m_snapshots.size() ||
        !m_snapshots[static_cast<std::size_t>(row)]) {
        return;
    }
    const CKSBatchInfo& info = *m_snapshots[static_cast<std::size_t>(row)];
    for (const auto& [folder, name] : info.GetFolders()) {
        m_generators->addItem(name.ToQString());
        m_generators->item(m_generators->count() - 1)->setToolTip(folder.ToQString());
    }
    m_folder->setText(FolderLine(BatchFolders(info)));
}

void CHistoryDialog::ViewFiles() {
    m_message->clear();
    const QString folder = GeneratorFolder(m_generators->currentRow());
    if (folder.isEmpty()) {
        m_message->setText(QStringLiteral("Could not find folder"));
    } else if (!QFileInfo(folder).isDir()) {
        m_message->setText(QStringLiteral("'%1' is not a folder").arg(folder));
    } else if (const CKSError failure = Prompts().OpenWithDesktop(folder); failure.Failed()) {
        m_message->setText(QStringLiteral("Failed to explore folder %1: %2")
                               .arg(folder, QString::fromStdU16String(failure.Reason())));
    }
}
