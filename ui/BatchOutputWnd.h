#pragma once
// A batch's output window: the batch's log lines, a live line with the files made, the bytes
// written and the rate, and a Stop button that ends this batch (and no other) after the block in
// hand. Hidden until its batch starts on the worker.

#include "ui/OutputWindow.h"

#include <memory>

class CKSBatchControl;
class QLabel;
class QPushButton;
class QTimer;

class CBatchOutputWnd : public CKSOutputWnd {
    Q_OBJECT
public:
    // The live line is refreshed this often while the batch runs: a few times a second.
    static constexpr int kProgressIntervalMs = 250;

    CBatchOutputWnd(QWidget* owner, const QString& title);
    int GetKind() const override;

    // The queued batch this window follows; the window starts following it at once.
    void Follow(std::shared_ptr<CKSBatchControl> control);
    // The live line's text, as shown.
    QString ProgressText() const;
    QPushButton* StopButton() const { return m_stop; }

protected:
    void OnBatchEnded() override;

private:
    void UpdateProgress();

    std::shared_ptr<CKSBatchControl> m_control;
    QLabel* m_progress;
    QPushButton* m_stop;
    QTimer* m_timer;
};
