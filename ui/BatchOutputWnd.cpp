#include "ui/BatchOutputWnd.h"

#include "app/KSGeneratorBatch.h"
#include "engine/GenerationProgress.h"
#include "ui/Resources.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CBatchOutputWnd::CBatchOutputWnd(QWidget* owner, const QString& title)
    : CKSOutputWnd(owner, title.isEmpty() ? QStringLiteral("Generating Files") : title),
      m_progress(new QLabel(this)), m_stop(new QPushButton(QStringLiteral("Stop"), this)),
      m_timer(new QTimer(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    PlaceAfterOthers();
    m_stop->setEnabled(false);
    // The window keeps its size: a long live line wraps instead of widening it.
    m_progress->setWordWrap(true);
    m_progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 0, 4, 4);
    bar->addWidget(m_progress, 1);
    bar->addWidget(m_stop);
    Layout()->addLayout(bar);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_control) {
            m_control->RequestStop();
            UpdateProgress();
        }
    });
    connect(m_timer, &QTimer::timeout, this, &CBatchOutputWnd::UpdateProgress);
}

int CBatchOutputWnd::GetKind() const {
    return res::kKindBatchOutput;
}

void CBatchOutputWnd::Follow(std::shared_ptr<CKSBatchControl> control) {
    m_control = std::move(control);
    m_stop->setEnabled(true);
    m_timer->start(kProgressIntervalMs);
    UpdateProgress();
}

bool CBatchOutputWnd::IsRunning() const {
    return m_control && !m_control->Read().finished;
}

void CBatchOutputWnd::closeEvent(QCloseEvent* event) {
    // A running batch keeps its window, hidden: Generate > Active brings it back with every line
    // written meanwhile and its Stop button. The window goes once its batch is over.
    if (IsRunning()) {
        m_closedWhileRunning = true;
        hide();
        event->ignore();
        return;
    }
    CKSOutputWnd::closeEvent(event);
}

void CBatchOutputWnd::OnBatchEnded() {
    // At once rather than at the next tick of the live line.
    UpdateProgress();
    if (m_closedWhileRunning && !isVisible()) {
        close();
    }
}

QString CBatchOutputWnd::ProgressText() const {
    return m_progress->text();
}

void CBatchOutputWnd::UpdateProgress() {
    if (!m_control) {
        return;
    }
    const CKSBatchControl::Snapshot now = m_control->Read();
    QString text;
    if (!now.started && !now.finished) {
        text = QStringLiteral("Waiting for the batch before it");
    } else {
        text = QString::fromStdString(FormatProgress(now.files, static_cast<double>(now.bytes), now.seconds));
    }
    if (now.finished) {
        text += now.stopRequested ? QStringLiteral(" - stopped") : QStringLiteral(" - finished");
        m_timer->stop();
        m_stop->setEnabled(false);
    } else if (now.stopRequested) {
        text += QStringLiteral(" - stopping");
        m_stop->setEnabled(false);
    }
    m_progress->setText(text);
}
