#pragma once
// The hash calculator's window: a modeless tool window over a CHashCalculatorTool, which does the
// work. The window lays out the algorithm choice, the list, the status line and the buttons,
// forwards what the user does and shows what the tool says; any number may be open at once.

#include "tools/HashCalculatorTool.h"
#include "ui/KSDialog.h"

#include <QString>

#include <cstdint>
#include <memory>

class CAppContext;
class CToolWindowManager;
class QComboBox;
class QLabel;
class QMenu;
class QTreeView;

class CKSHashCalculator : public CKSDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 137;
    // Copy-options menu entries (objectName "cmd<id>").
    static constexpr int kCmdPrefix0x = 32818;
    static constexpr int kCmdLowerCase = 32820;
    static constexpr int kCmdPathAndHash = 32821;
    static constexpr int kCmdSetSeparator = 32822;
    // The size the window opens with, which is also the smallest it can be made.
    static constexpr int kInitialWidth = 560;
    static constexpr int kInitialHeight = 320;

    // The window shows the tool given (a test's), or one of its own.
    explicit CKSHashCalculator(CAppContext& context, QWidget* owner = nullptr,
                               std::unique_ptr<CHashCalculatorTool> tool = nullptr);
    ~CKSHashCalculator() override;

    // Appends a row for the file with the algorithm selected now and queues it.
    void AddFile(const QString& path);
    void AddFiles(const QStringList& paths);

    CHashCalculatorTool& Tool() const { return *m_tool; }
    CHashListModel* Model() const { return &m_tool->Model(); }
    QTreeView* List() const { return m_list; }
    QComboBox* Algorithm() const { return m_algorithm; }
    QMenu* CopyOptionsMenu() const { return m_copyMenu; }
    QString StatusText() const;
    std::uint32_t CopyOptions() const { return m_tool->CopyOptions(); }
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
    void OnClose() override;

private:
    void BuildControls();
    void RestoreSettings();
    void SaveSettings();
    // Shows a command's report: an error box, else a notice box.
    void Tell(const CToolReport& report);

    CAppContext& m_context;
    CHashCalculatorTool* m_tool;
    QTreeView* m_list = nullptr;
    QComboBox* m_algorithm = nullptr;
    QMenu* m_copyMenu = nullptr;
    QLabel* m_status = nullptr;
    QString m_browseFolder;
};

// Tools > Calculate hash: a new calculator each time, tracked by the tool-window manager.
CKSHashCalculator* OpenHashCalculator(QWidget* owner, CAppContext& context, CToolWindowManager& tools);
