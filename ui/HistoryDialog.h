#pragma once
// "Generator History": the batches finished in this run, oldest first, with the definitions of the
// one selected and the folder they wrote into; "View &Files" opens a definition's output folder in
// the desktop's file manager. Batches that finish while the dialog is open are added at the end.

#include "support/Delivery.h"
#include "ui/KSDialog.h"

#include <memory>
#include <vector>

class CKSBatchInfo;
class GeneratorWorker;
class QLabel;
class QListWidget;
class QPushButton;

class CHistoryDialog : public CKSDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 139;

    CHistoryDialog(QWidget* owner, GeneratorWorker& worker);
    ~CHistoryDialog() override;

    QListWidget* Batches() const { return m_batches; }
    QListWidget* Generators() const { return m_generators; }
    QPushButton* ViewFilesButton() const { return m_viewFiles; }
    QString Message() const;
    // "Folder: ..." for the selected generator, or the selected batch's folders.
    QString FolderText() const;

private:
    class CFinishedListener;

    // Appends the finished batches beyond those already listed, each snapshot fetched once.
    void AddNewBatches();
    void ShowBatch(int row);
    void GeneratorChosen();
    void ViewFiles();
    // The folder of the generator at that row of the selected batch; empty when unknown.
    QString GeneratorFolder(int generator) const;

    GeneratorWorker& m_worker;
    QListWidget* m_batches;
    QListWidget* m_generators;
    QPushButton* m_viewFiles;
    QLabel* m_folder;
    QLabel* m_message;
    std::vector<std::unique_ptr<CKSBatchInfo>> m_snapshots;
    CDelivery m_delivery{this};
    std::unique_ptr<CFinishedListener> m_listener;
};
