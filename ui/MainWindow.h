#pragma once
// The main window: the definitions of the configuration file in a list, the configuration's path,
// time stamp and definition count in the status bar, and the menus of every command.

#include "support/KSLogger.h"
#include "support/KSString.h"
#include "ui/Resources.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <vector>

class CAppContext;
class CDefinitionListModel;
class CElidedLabel;
class CKSHelpWnd;
class CToolWindowManager;
class QLabel;
class QMenu;
class QTreeView;

class CMainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kDefaultColumnWidth = 104;
    // The size before any saved rectangle: the four columns and room for a dozen rows.
    static constexpr int kDefaultWidth = 460;
    static constexpr int kDefaultHeight = 340;
    static constexpr int kStatusFirstPartWidth = 12;
    static constexpr int kStatusLastPartWidth = 60;

    CMainWindow(CAppContext& context, CToolWindowManager& tools, QWidget* parent = nullptr);
    ~CMainWindow() override;

    int GetKind() const { return res::kKindMainWindow; }

    // Moves the window to the saved rectangle, kept on a visible screen; call before the first show.
    void RestorePlacement();
    // Rebuilds the list from the configuration file and refreshes the status bar.
    void Reload();
    // The selected rows' definition names, top row first, whole.
    std::vector<CKSString> CollectSelected() const;

    // A menu command by id (objectName "cmd<id>"), or null.
    QAction* Command(int id) const;
    QTreeView* DefinitionList() const { return m_list; }
    // The text an empty list shows, or null while the list has rows.
    QLabel* EmptyHint() const;
    // The text of a status bar part (0 to 2).
    QString StatusText(int part) const;

    // Called when the window closes, after it saved its settings and closed the other windows,
    // while the event loop still runs. The program ends there.
    void SetCloseHandler(std::function<void()> handler) { m_closeHandler = std::move(handler); }
    // Connects a command that another part of the program carries out.
    void SetCommandHandler(int id, std::function<void()> handler);
    // The application log, told of what a reload ignores (not owned; null for none).
    void SetLog(CKSLogger* log) { m_log = log; }
    // Closes every tool, help and output window through its normal close path.
    void CloseOtherWindows();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, const QString& text, int id, const QList<QKeySequence>& keys = {});
    void BuildMenus();
    void UpdateEnableRules();
    void FillActiveMenu();
    void RefreshStatus();
    void ConnectSelectHint(QMenu* menu);
    void ShowSelectHint(bool show);
    void RestoreColumnWidths();
    // Fits the columns to what they show, the name taking the spare width, unless the user set them.
    void FitColumns();
    // The centred text an empty list shows, with the bundled examples a click away.
    void BuildEmptyHint();
    static QString ExamplesFolder();
    void SaveSettings();

    void OnOpenConfiguration();
    void OnSaveConfigurationAs();
    void OnEditConfiguration();
    void OnDelete();
    void OnGenerate();
    void OnHistory();
    void OnAddDefinition();
    void OnModifyDefinition();
    void OnAddMultiple();
    void OnAbout();
    void OnHelp();

    CAppContext& m_context;
    CToolWindowManager& m_tools;
    CDefinitionListModel* m_model;
    QTreeView* m_list;
    // The message part holds the configuration's path or a hint, cut to the room it has.
    QLabel* m_statusParts[3];
    CElidedLabel* m_statusMessage = nullptr;
    QLabel* m_emptyHint = nullptr;
    QMenu* m_activeMenu = nullptr;
    QPointer<CKSHelpWnd> m_help;
    std::function<void()> m_closeHandler;
    std::map<int, std::function<void()>> m_handlers;
    bool m_hintShown = false;
    bool m_fittingColumns = false;
    bool m_userColumnWidths = false;
    bool m_closed = false;
    CKSLogger* m_log = nullptr;
};
