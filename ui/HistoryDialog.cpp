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
      m_message(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Generator History"));
    m_batches->setObjectName(QStringLiteral("batches"));
    m_generators->setObjectName(QStringLiteral("generators"));
    m_viewFiles->setObjectName(QStringLiteral("viewFiles"));
    m_message->setObjectName(QStringLiteral("message"));
    m_viewFiles->setEnabled(false);
    m_viewFiles->setAutoDefault(false);

    auto* generators = new QGroupBox(QStringLiteral("Generators"), this);
    auto* generatorsLayout = new QVBoxLayout(generators);
    generatorsLayout->addWidget(m_generators);
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
        m_snapshots.push_back(std::move(info));
    }
}

void CHistoryDialog::GeneratorChosen() {
    const int batch = m_batches->currentRow();
    const int generator = m_generators->currentRow();
    const bool known = batch >= 0 && generator >= 0 && m_snapshots[static_cast<std::size_t>(batch)] &&
                       !m_snapshots[static_cast<std::size_t>(batch)]
                            ->GetFolders()[static_cast<std::size_t>(generator)]
                            .first.IsEmpty();
    m_viewFiles->setEnabled(known);
}

void CHistoryDialog::ShowBatch(int row) {
    m_generators->clear();
    m_viewFiles->setEnabled(false);
    if (row < 0 || static_cast<std::size_t>(row) >= m_snapshots.size() ||
        !m_snapshots[static_cast<std::size_t>(row)]) {
        return;
    }
    for (const auto& [folder, name] : m_snapshots[static_cast<std::size_t>(row)]->GetFolders()) {
        m_generators->addItem(name.ToQString());
    }
}

void CHistoryDialog::ViewFiles() {
    m_message->clear();
    const int batch = m_batches->currentRow();
    const int generator = m_generators->currentRow();
    QString folder;
    if (batch >= 0 && generator >= 0 && m_snapshots[static_cast<std::size_t>(batch)]) {
        folder = m_snapshots[static_cast<std::size_t>(batch)]
                     ->GetFolders()[static_cast<std::size_t>(generator)]
                     .first.ToQString();
    }
    if (folder.isEmpty()) {
        m_message->setText(QStringLiteral("Could not find folder"));
    } else if (!QFileInfo(folder).isDir()) {
        m_message->setText(QStringLiteral("'%1' is not a folder").arg(folder));
    } else if (const CKSError failure = Prompts().OpenWithDesktop(folder); failure.Failed()) {
        m_message->setText(QStringLiteral("Failed to explore folder %1: %2")
                               .arg(folder, QString::fromStdU16String(failure.Reason())));
    }
}
