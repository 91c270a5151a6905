#pragma once
// The hash calculator: a modeless tool window that hashes any number of files (Browse, or drop
// them on the list) with CRC-32, MD5, SHA1 or SHA256 on a thread of its own, shows each file as a
// row, and copies the results to the clipboard in the form the copy options choose. It also saves
// the rows of one algorithm as a checksum file and checks the files a checksum file lists.

#include "tools/KSHashWorker.h"
#include "ui/AppMessageRelay.h"
#include "ui/KSDialog.h"

#include <QString>

#include <cstdint>
#include <memory>

class CHashListModel;
class CToolWindowManager;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeView;

class CKSHashCalculator : public CKSDialog, private IHashWorkerListener {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 137;
    // Controls, as ids.
    static constexpr int kIdcAlgorithm = 1033;
    static constexpr int kIdcBrowse = 1006;
    static constexpr int kIdcCopyOptions = 1037;
    static constexpr int kIdcCopy = 1038;
    static constexpr int kIdcSaveChecksums = 1040;
    static constexpr int kIdcVerifyChecksums = 1041;
    // Copy-options menu entries.
    static constexpr int kCmdPrefix0x = 32818;
    static constexpr int kCmdLowerCase = 32820;
    static constexpr int kCmdPathAndHash = 32821;
    static constexpr int kCmdSetSeparator = 32822;
    // Messages from the worker and the drop target (app message codes).
    static constexpr int kMsgHashDone = 1;
    static constexpr int kMsgDropped = 2;
    static constexpr int kMsgProgress = 6;
    // The size the window opens with, which is also the smallest it can be made.
    static constexpr int kInitialWidth = 560;
    static constexpr int kInitialHeight = 320;

    explicit CKSHashCalculator(QWidget* owner = nullptr);
    ~CKSHashCalculator() override;

    // Appends a row for the file with the algorithm selected now and queues it.
    void AddFile(const QString& path);
    void AddFiles(const QStringList& paths);

    CHashListModel* Model() const { return m_model; }
    QTreeView* List() const { return m_list; }
    QComboBox* Algorithm() const { return m_algorithm; }
    QMenu* CopyOptionsMenu() const { return m_copyMenu; }
    QString StatusText() const;
    std::uint32_t CopyOptions() const { return m_copyOptions; }
    // The folder the next Browse starts in.
    QString BrowseFolder() const { return m_browseFolder; }

    // The commands, as the buttons run them.
    void Browse();
    void Copy();
    void SaveChecksums();
    void VerifyChecksums();
    void ToggleCopyOption(std::uint32_t bit);
    // The options dialog, modal, with the focus on the separator.
    void SetSeparator();

protected:
    void OnCommand(int id) override;
    void OnClose() override;
    void OnAppMessage(int code, std::any& payload) override;

private:
    struct Progress {
        std::uint32_t row = 0;
        std::uint64_t done = 0;
        std::uint64_t size = 0;
        std::uint64_t elapsedMilliseconds = 0;
    };

    // IHashWorkerListener, on the worker's thread: posts only.
    void OnHashDone(std::uint32_t rowId, bool success) override;
    void OnHashProgress(std::uint32_t rowId, std::uint64_t done, std::uint64_t size,
                        std::uint64_t elapsedMilliseconds) override;

    void BuildControls();
    void RestoreSettings();
    void SaveSettings() const;
    // Queues rows just appended to the model, from first on.
    void QueueRows(std::uint32_t first);
    void FinishRow(std::uint32_t row);
    void ScheduleStatus();
    void UpdateStatus();
    void StopWorker();

    CHashListModel* m_model;
    QTreeView* m_list = nullptr;
    QComboBox* m_algorithm = nullptr;
    QToolButton* m_copyOptionsButton = nullptr;
    QMenu* m_copyMenu = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_statusTimer = nullptr;
    QString m_browseFolder;
    std::uint32_t m_copyOptions = 0;
    Progress m_progress;
    QString m_lastMessage;
    bool m_stopped = false;
    // Declared before the worker, so that the worker's thread is joined before the relay goes.
    CAppMessageRelay m_relay;
    CKSHashWorker m_worker;
};

// Tools > Calculate hash: a new calculator each time, tracked by the tool-window manager.
CKSHashCalculator* OpenHashCalculator(QWidget* owner, CToolWindowManager& tools);
