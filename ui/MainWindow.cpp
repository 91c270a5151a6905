#include "ui/MainWindow.h"

#include "app/AppContext.h"
#include "app/DefinitionListModel.h"
#include "app/DefinitionRows.h"
#include "generators/KSFileGeneratorFactory.h"
#include "properties/ConfigLocation.h"
#include "support/IniProfile.h"
#include "support/KSFormat.h"
#include "ui/AboutDialog.h"
#include "ui/AddMultipleDialog.h"
#include "ui/BinaryViewerWnd.h"
#include "ui/ElidedLabel.h"
#include "ui/GenerateCommand.h"
#include "ui/HistoryDialog.h"
#include "ui/KSHamperingAgentDialog.h"
#include "ui/KSHashCalculator.h"
#include "ui/NewDefinitionWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/OutputWindow.h"
#include "ui/PropertyEditorDialog.h"
#include "ui/ReportList.h"
#include "ui/ToolWindowManager.h"
#include "ui/UserPrompts.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStatusBar>
#include <QTreeView>

#include <set>

namespace {

// Lets a disabled menu item be hovered, so that "&Selected" can say why it is disabled.
class CHoverDisabledStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_AllowActiveAndDisabled) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

const QString kSelectHint = QStringLiteral("Select a definition to generate files");

QString Caption() {
    return res::String(res::kIdsCaption);
}

} // namespace

CMainWindow::CMainWindow(CAppContext& context, CToolWindowManager& tools, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_tools(tools), m_model(new CDefinitionListModel(this)),
      m_list(new QTreeView(this)) {
    setWindowTitle(Caption());
    resize(kDefaultWidth, kDefaultHeight);
    SetProgramIcon(*this);

    SetUpReportList(m_list, m_model);
    m_list->header()->setDefaultSectionSize(kDefaultColumnWidth);
    setCentralWidget(m_list);

    m_statusParts[0] = new QLabel(this);
    m_statusParts[1] = m_statusMessage = new CElidedLabel(this);
    m_statusParts[2] = new QLabel(this);
    m_statusParts[0]->setFixedWidth(kStatusFirstPartWidth);
    m_statusParts[2]->setFixedWidth(kStatusLastPartWidth);
    statusBar()->addWidget(m_statusParts[0]);
    statusBar()->addWidget(m_statusParts[1], 1);
    statusBar()->addWidget(m_statusParts[2]);
    statusBar()->setSizeGripEnabled(true);

    m_handlers[res::kCmdOpenConfiguration] = [this] { OnOpenConfiguration(); };
    m_handlers[res::kCmdSaveConfigurationAs] = [this] { OnSaveConfigurationAs(); };
    m_handlers[res::kCmdEditConfiguration] = [this] { OnEditConfiguration(); };
    m_handlers[res::kCmdReloadConfiguration] = [this] { Reload(); };
    m_handlers[res::kCmdExit] = [this] { close(); };
    m_handlers[res::kCmdDeleteDefinition] = [this] { OnDelete(); };
    m_handlers[res::kCmdAbout] = [this] { OnAbout(); };
    m_handlers[res::kCmdHelp] = [this] { OnHelp(); };
    m_handlers[res::kCmdGenerateSelected] = [this] { OnGenerate(); };
    m_handlers[res::kCmdOptions] = [this] { COptionsDialog(this, m_context.Settings()).DoModal(); };
    m_handlers[res::kCmdHistory] = [this] { OnHistory(); };
    m_handlers[res::kCmdCalculateHash] = [this] { OpenHashCalculator(this, m_context, m_tools); };
    m_handlers[res::kCmdFileExerciser] = [this] { RunFileExerciser(this, m_context); };
    m_handlers[res::kCmdBinaryViewer] = [this] { OpenBinaryViewer(this, m_context, m_tools); };
    m_handlers[res::kCmdAddDefinition] = [this] { OnAddDefinition(); };
    m_handlers[res::kCmdModifyDefinition] = [this] { OnModifyDefinition(); };
    m_handlers[res::kCmdAddMultiple] = [this] { OnAddMultiple(); };
    BuildMenus();
    RestoreColumnWidths();
    // A width the user sets is kept from then on; until then the columns fit what they show.
    connect(m_list->header(), &QHeaderView::sectionResized, this, [this] {
        if (!m_fittingColumns) {
            m_userColumnWidths = true;
        }
    });
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
    BuildEmptyHint();
    // Shortcuts act at once, without a menu opening first: the enable rules follow the selection.
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CMainWindow::UpdateEnableRules);
    UpdateEnableRules();
    connect(m_list, &QAbstractItemView::doubleClicked, this,
            [this] { Command(res::kCmdModifyDefinition)->trigger(); });
}

CMainWindow::~CMainWindow() = default;

QAction* CMainWindow::AddCommand(QMenu* menu, const QString& text, int id, const QList<QKeySequence>& keys) {
    QAction* action = menu->addAction(text);
    action->setShortcuts(keys);
    action->setData(id);
    action->setObjectName(QStringLiteral("cmd%1").arg(id));
    connect(action, &QAction::triggered, this, [this, id] {
        if (const auto handler = m_handlers.find(id); handler != m_handlers.end() && handler->second) {
            handler->second();
        }
    });
    return action;
}

void CMainWindow::BuildMenus() {
    auto* hoverStyle = new CHoverDisabledStyle;
    hoverStyle->setParent(this);
    const auto addMenu = [this, hoverStyle](const QString& title) {
        QMenu* menu = menuBar()->addMenu(title);
        menu->setStyle(hoverStyle);
        connect(menu, &QMenu::aboutToShow, this, &CMainWindow::UpdateEnableRules);
        connect(menu, &QMenu::aboutToHide, this, [this] { ShowSelectHint(false); });
        ConnectSelectHint(menu);
        return menu;
    };

    QMenu* file = addMenu(QStringLiteral("&File"));
    AddCommand(file, QStringLiteral("Open &Configuration File..."), res::kCmdOpenConfiguration,
               StandardKeys(QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O)));
    AddCommand(file, QStringLiteral("Save Configuration File &As..."), res::kCmdSaveConfigurationAs);
    AddCommand(file, QStringLiteral("&Edit Configuration in Editor "), res::kCmdEditConfiguration);
    AddCommand(file, QStringLiteral("&Reload Configuration"), res::kCmdReloadConfiguration,
               StandardKeys(QKeySequence::Refresh, QKeySequence(Qt::Key_F5)));
    file->addSeparator();
    AddCommand(file, QStringLiteral("E&xit"), res::kCmdExit,
               StandardKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));

    QMenu* define = addMenu(QStringLiteral("&Define"));
    AddCommand(define, QStringLiteral("&Add..."), res::kCmdAddDefinition,
               StandardKeys(QKeySequence::New, QKeySequence(Qt::CTRL | Qt::Key_N)));
    AddCommand(define, QStringLiteral("Add M&ultiple..."), res::kCmdAddMultiple);
    AddCommand(define, QStringLiteral("&Modify..."), res::kCmdModifyDefinition);
    AddCommand(define, QStringLiteral("&Delete"), res::kCmdDeleteDefinition,
               StandardKeys(QKeySequence::Delete, QKeySequence(Qt::Key_Delete)));

    QMenu* generate = addMenu(QStringLiteral("&Generate"));
    AddCommand(generate, QStringLiteral("&Selected"), res::kCmdGenerateSelected,
               {QKeySequence(Qt::CTRL | Qt::Key_G)});
    m_activeMenu = generate->addMenu(QStringLiteral("&Active"));
    m_activeMenu->setStyle(hoverStyle);
    ConnectSelectHint(m_activeMenu);
    AddCommand(m_activeMenu, QStringLiteral("Dummy"), res::kCmdActivePlaceholder);
    connect(m_activeMenu, &QMenu::aboutToShow, this, &CMainWindow::FillActiveMenu);
    AddCommand(generate, QStringLiteral("&History"), res::kCmdHistory);
    AddCommand(generate, QStringLiteral("&Options..."), res::kCmdOptions);

    QMenu* tools = addMenu(QStringLiteral("&Tools"));
    AddCommand(tools, QStringLiteral("&Calculate hash..."), res::kCmdCalculateHash);
    AddCommand(tools, QStringLiteral("&Binary Viewer"), res::kCmdBinaryViewer);
    AddCommand(tools, QStringLiteral("File E&xerciser..."), res::kCmdFileExerciser);

    QMenu* help = addMenu(QStringLiteral("&Help"));
    AddCommand(help, QStringLiteral("&About ..."), res::kCmdAbout);
    AddCommand(help, QStringLiteral("&Help"), res::kCmdHelp,
               StandardKeys(QKeySequence::HelpContents, QKeySequence(Qt::Key_F1)));
}

void CMainWindow::ConnectSelectHint(QMenu* menu) {
    // Every item of the menu, submenus included, decides: the hint shows on a disabled Selected
    // only and goes as soon as the pointer reaches anything else.
    connect(menu, &QMenu::hovered, this, [this](QAction* action) {
        ShowSelectHint(action == Command(res::kCmdGenerateSelected) &&
                       m_list->selectionModel()->selectedRows().isEmpty());
    });
}

void CMainWindow::SetCommandHandler(int id, std::function<void()> handler) {
    m_handlers[id] = std::move(handler);
}

QAction* CMainWindow::Command(int id) const {
    return findChild<QAction*>(QStringLiteral("cmd%1").arg(id));
}

QString CMainWindow::StatusText(int part) const {
    if (part == 1) {
        return m_statusMessage->FullText();
    }
    return part >= 0 && part < 3 && !m_statusParts[part]->isHidden() ? m_statusParts[part]->text()
                                                                     : QString();
}

void CMainWindow::UpdateEnableRules() {
    const bool selected = !m_list->selectionModel()->selectedRows().isEmpty();
    for (const int id : {res::kCmdGenerateSelected, res::kCmdModifyDefinition, res::kCmdDeleteDefinition}) {
        Command(id)->setEnabled(selected);
    }
}

void CMainWindow::FillActiveMenu() {
    m_activeMenu->clear();
    std::vector<CKSOutputWnd*> batches;
    for (CKSOutputWnd* window : CKSOutputWnd::Windows()) {
        // A queued batch's window is listed once its batch started and showed it.
        if (window->GetKind() == res::kKindBatchOutput && window->WasShown()) {
            batches.push_back(window);
        }
    }
    if (batches.empty()) {
        m_activeMenu->addAction(QStringLiteral("<none>"))->setEnabled(false);
        return;
    }
    // Newest first: the item of the newest window has the highest id.
    int id = res::kCmdFirstActiveWindow + static_cast<int>(batches.size()) - 1;
    for (auto window = batches.rbegin(); window != batches.rend(); ++window, --id) {
        QAction* item = m_activeMenu->addAction((*window)->windowTitle());
        item->setData(id);
        item->setObjectName(QStringLiteral("cmd%1").arg(id));
        // The window may close between the menu's opening and the choice.
        const QPointer<CKSOutputWnd> target(*window);
        connect(item, &QAction::triggered, this, [target] {
            if (!target.isNull()) {
                target->showNormal();
                target->raise();
                target->activateWindow();
            }
        });
    }
}

void CMainWindow::ShowSelectHint(bool show) {
    if (show == m_hintShown) {
        return;
    }
    m_hintShown = show;
    if (show) {
        m_statusMessage->SetFullText(kSelectHint);
        m_statusParts[2]->hide();
    } else {
        m_statusParts[2]->show();
        RefreshStatus();
    }
}

void CMainWindow::RefreshStatus() {
    if (m_hintShown) {
        return;
    }
    m_statusParts[0]->clear();
    m_statusMessage->SetFullText(ConfigurationStatusText(m_context.Config().GetConfigFile()).ToQString());
    m_statusParts[2]->setText(QString::number(m_context.Config().GetDefinitionCount()));
}

void CMainWindow::Reload() {
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    const CKSString configFile = m_context.Config().GetConfigFile();
    // The count follows the list, so that it is never stale after Add, Delete or Reload.
    m_context.Config().LoadAt(configFile);
    std::vector<CKSString> shadowed;
    m_model->SetRows(ReadDefinitionRows(configFile, factory, &shadowed));
    if (m_log != nullptr) {
        for (const CKSString& name : shadowed) {
            m_log->WarningF("%s", ShadowedSectionWarning(name));
        }
    }
    m_emptyHint->setVisible(m_model->rowCount() == 0);
    m_emptyHint->setGeometry(m_list->viewport()->rect());
    FitColumns();
    RefreshStatus();
}

QLabel* CMainWindow::EmptyHint() const {
    return m_emptyHint->isHidden() ? nullptr : m_emptyHint;
}

QString CMainWindow::ExamplesFolder() {
    // The package installs them with its documentation; a build runs beside the repository's.
    const QString candidates[] = {QStringLiteral("/usr/share/doc/fakemill/examples"),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/../../examples"),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/../examples")};
    for (const QString& folder : candidates) {
        if (QFileInfo::exists(folder + QStringLiteral("/fakemill.ini"))) {
            return QFileInfo(folder).canonicalFilePath();
        }
    }
    return {};
}

void CMainWindow::BuildEmptyHint() {
    m_emptyHint = new QLabel(m_list->viewport());
    m_emptyHint->setObjectName(QStringLiteral("emptyHint"));
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setTextFormat(Qt::RichText);
    QString text = QStringLiteral(
        "No definitions yet: Define &gt; Add... creates one, File &gt; Open... opens a configuration");
    if (const QString examples = ExamplesFolder(); !examples.isEmpty()) {
        text += QStringLiteral("<br><br><a href=\"examples\">Open the bundled examples</a>");
        connect(m_emptyHint, &QLabel::linkActivated, this, [this, examples] {
            const CKSString path = CKSString::FromQString(examples + QStringLiteral("/fakemill.ini"));
            CConfigLocation::RecordConfigFile(path.View());
            m_context.Config().LoadAt(path);
            Reload();
        });
    }
    m_emptyHint->setText(text);
    m_emptyHint->hide();
}

void CMainWindow::FitColumns() {
    if (m_userColumnWidths || m_model->rowCount() == 0) {
        return;
    }
    m_fittingColumns = true;
    QHeaderView* header = m_list->header();
    int others = 0;
    for (int column = 1; column < CDefinitionListModel::kColumnCount; ++column) {
        m_list->resizeColumnToContents(column);
        others += header->sectionSize(column);
    }
    // The name takes the spare width, and never less than its longest entry.
    m_list->resizeColumnToContents(0);
    header->resizeSection(0, std::max(header->sectionSize(0), m_list->viewport()->width() - others));
    m_fittingColumns = false;
}

std::vector<CKSString> CMainWindow::CollectSelected() const {
    std::set<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    std::vector<CKSString> names;
    for (const int row : rows) {
        names.push_back(m_model->Row(row).name);
    }
    return names;
}

void CMainWindow::OnOpenConfiguration() {
    const QString current = m_context.Config().GetConfigFile().ToQString();
    const QString chosen = Prompts().ChooseOpenFile(this, QStringLiteral("Fakemill: Open Configuration"),
                                                    current, QString(), true);
    if (!chosen.isEmpty()) {
        const CKSString path = CKSString::FromQString(chosen);
        CConfigLocation::RecordConfigFile(path.View());
        m_context.Config().LoadAt(path);
    }
    Reload();
}

void CMainWindow::OnSaveConfigurationAs() {
    const CKSString current = m_context.Config().GetConfigFile();
    const QString chosen = Prompts().ChooseSaveFile(this, QStringLiteral("Fakemill: Save Configuration"),
                                                    current.ToQString(), QString());
    if (chosen.isEmpty()) {
        return;
    }
    const CKSString target = CKSString::FromQString(chosen);
    std::u16string reason;
    if (!CIniProfile::CopyProfile(current, target, &reason)) {
        const CKSError failure(u"Could not save the configuration as", target, reason);
        Prompts().ShowError(this, Caption(), QString::fromStdU16String(failure.Text()));
        return;
    }
    CConfigLocation::RecordConfigFile(target.View());
    m_context.Config().LoadAt(target);
    Reload();
}

void CMainWindow::OnEditConfiguration() {
    const QString path = m_context.Config().GetConfigFile().ToQString();
    if (path.isEmpty()) {
        return;
    }
    // A configuration that no definition was written to yet exists only as a name: make it, empty,
    // so that the editor has a file to open.
    CKSError failure;
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            failure = CKSError(u"Could not create", CKSString::FromQString(path),
                               file.errorString().toStdU16String());
        }
    }
    if (!failure.Failed()) {
        failure = Prompts().OpenWithDesktop(path);
    }
    if (failure.Failed()) {
        Prompts().ShowError(this, Caption(),
                            QStringLiteral("Failed to open editor for %1: %2.")
                                .arg(path, QString::fromStdU16String(failure.Reason())));
    }
}

void CMainWindow::OnDelete() {
    const CKSString configFile = m_context.Config().GetConfigFile();
    QStringList failures;
    for (const CKSString& name : CollectSelected()) {
        if (const CKSError error = DeleteDefinition(configFile, name.View()); error.Failed()) {
            failures << QStringLiteral("%1: %2").arg(name.ToQString(),
                                                     QString::fromStdU16String(error.Reason()));
        }
    }
    // The list always shows the file: rows whose deletion failed come back.
    Reload();
    if (!failures.isEmpty()) {
        Prompts().ShowError(this, Caption(),
                            QStringLiteral("Could not delete from %1:\n%2")
                                .arg(configFile.ToQString(), failures.join(QLatin1Char('\n'))));
    }
}

void CMainWindow::OnGenerate() {
    CBatchOptions options;
    options.paceMilliseconds = m_context.Settings().Get(settings_key::kGeneratorPause);
    GenerateSelected(this, CollectSelected(), m_context, options);
}

void CMainWindow::OnHistory() {
    CHistoryDialog(this, m_context.Worker()).DoModal();
}

void CMainWindow::OnAddDefinition() {
    CNewDefinitionWizard wizard(m_context.Config().GetConfigFile(), this);
    if (wizard.DoModal()) {
        Reload();
    }
}

void CMainWindow::OnModifyDefinition() {
    const std::vector<CKSString> selected = CollectSelected();
    if (!selected.empty() && ModifyDefinition(this, m_context.Config().GetConfigFile(), selected.front())) {
        Reload();
    }
}

void CMainWindow::OnAddMultiple() {
    if (AddMultipleDefinitions(this, m_context.Config().GetConfigFile())) {
        Reload();
    }
}

void CMainWindow::OnAbout() {
    CAboutDialog about(this);
    about.DoModal();
}

void CMainWindow::OnHelp() {
    if (m_help.isNull()) {
        m_help = new CKSHelpWnd(this);
    }
    m_help->showNormal();
    m_help->raise();
    m_help->activateWindow();
}

void CMainWindow::RestorePlacement() {
    ::RestorePlacement(*this, m_context.Settings(), settings_key::kWindowState);
}

void CMainWindow::RestoreColumnWidths() {
    m_fittingColumns = true;
    for (int column = 0; column < CDefinitionListModel::kColumnCount; ++column) {
        const auto width = static_cast<int>(m_context.Settings().Get(settings_key::kMainColumns[column]));
        m_list->header()->resizeSection(column, width);
        // Stored widths other than the default were set by the user in an earlier run.
        m_userColumnWidths = m_userColumnWidths || width != kDefaultColumnWidth;
    }
    m_fittingColumns = false;
}

void CMainWindow::SaveSettings() {
    CFakemillSettings& settings = m_context.Settings();
    SavePlacement(*this, settings, settings_key::kWindowState);
    // Fitted widths are worked out again next time; only widths the user chose are kept.
    for (int column = 0; m_userColumnWidths && column < CDefinitionListModel::kColumnCount; ++column) {
        settings.Set(settings_key::kMainColumns[column],
                     static_cast<std::uint32_t>(m_list->header()->sectionSize(column)));
    }
    settings.Save();
}

void CMainWindow::CloseOtherWindows() {
    m_tools.CloseAll();
    for (CKSOutputWnd* window : CKSOutputWnd::Windows()) {
        window->close();
    }
}

void CMainWindow::closeEvent(QCloseEvent* event) {
    if (!m_closed) {
        m_closed = true;
        SaveSettings();
        if (m_closeHandler) {
            m_closeHandler();
        } else {
            CloseOtherWindows();
        }
    }
    event->accept();
}

void CMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    RefreshStatus();
}

bool CMainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The list's own area has its new size only after the window's layout ran.
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        m_emptyHint->setGeometry(m_list->viewport()->rect());
        FitColumns();
    }
    // Enter on the list generates the selected definitions.
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Command(res::kCmdGenerateSelected)->trigger();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool CMainWindow::event(QEvent* event) {
    // The status bar shows the configuration, never Qt's automatic status tips.
    if (event->type() == QEvent::StatusTip) {
        return true;
    }
    return QMainWindow::event(event);
}
