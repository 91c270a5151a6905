// The main window over a configuration file: what the list and the status bar show, the menus'
// enable rules, Delete, Open, Save As, Edit, Help, the Active submenu and what survives a restart.

#include "UiTestSupport.h"

#include "app/AppContext.h"
#include "app/ScreenPlacement.h"
#include "properties/KSRegUtil.h"
#include "support/IniProfile.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"
#include "ui/ElidedLabel.h"
#include "ui/MainWindow.h"
#include "ui/OutputWindow.h"
#include "ui/ToolWindowManager.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTreeView>

#include <filesystem>

namespace {

const char kConfiguration[] = "[Small binary]\nType=bin\nSize=4KB\nFiles=2,5\n"
                              "[Huge]\nType=bin\nSize=4GB\n"
                              "[Table]\nType=csv\nRows=10\n"
                              "[Odd one]\nType=nothing\n";

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_config = m_dir.File("fakemill.ini");
        WriteFileBytes(m_config, kConfiguration);
        m_context.Config().LoadAt(CKSString::FromUtf8(m_config));
        m_window = std::make_unique<CMainWindow>(m_context, m_tools);
        m_window->Reload();
    }

    QString Cell(int row, int column, int role = Qt::DisplayRole) const {
        const QAbstractItemModel* model = m_window->DefinitionList()->model();
        return model->data(model->index(row, column), role).toString();
    }
    int RowCount() const { return m_window->DefinitionList()->model()->rowCount(); }
    void SelectRows(std::initializer_list<int> rows) {
        QTreeView* list = m_window->DefinitionList();
        for (const int row : rows) {
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    void OpenMenuOf(int commandId) {
        // The enable rules run when a menu opens.
        for (QMenu* menu : m_window->findChildren<QMenu*>()) {
            if (menu->actions().contains(m_window->Command(commandId))) {
                emit menu->aboutToShow();
            }
        }
    }

    TempDir m_dir;
    std::string m_config;
    CAppContext m_context;
    CToolWindowManager m_tools;
    PromptScript m_prompts;
    std::unique_ptr<CMainWindow> m_window;
};

TEST_F(MainWindowTest, ListsSectionsInFileOrderWithTheirColumnsAndCount) {
    ASSERT_EQ(RowCount(), 4);
    EXPECT_EQ(Cell(0, 0), "Small binary");
    EXPECT_EQ(Cell(0, 1), "bin");
    // Sizes read as the configuration writes them, with the exact bytes on hover.
    EXPECT_EQ(Cell(0, 2), "4KB");
    EXPECT_EQ(Cell(0, 2, Qt::ToolTipRole), "4096 bytes");
    EXPECT_EQ(Cell(0, 3), "2");
    // A 4 GiB minimum is shown whole, not as its low 32 bits.
    EXPECT_EQ(Cell(1, 2), "4GB");
    EXPECT_EQ(Cell(1, 2, Qt::ToolTipRole), "4294967296 bytes");
    EXPECT_EQ(Cell(2, 1), "csv");
    EXPECT_EQ(Cell(2, 2), "-");
    // A section no generator results from shows its name only.
    EXPECT_EQ(Cell(3, 0), "Odd one");
    EXPECT_EQ(Cell(3, 1), "");
    EXPECT_TRUE(m_window->StatusText(1).startsWith(QString::fromStdString(m_config) + " ["));
    EXPECT_EQ(m_window->StatusText(2), "4");
    EXPECT_EQ(m_window->windowTitle(), "Fakemill");

    // The columns fit what they show and the name takes the spare width, at any window size.
    QTreeView* list = m_window->DefinitionList();
    for (const int width : {CMainWindow::kDefaultWidth, 900}) {
        m_window->resize(width, CMainWindow::kDefaultHeight);
        m_window->show();
        QCoreApplication::processEvents();
        int total = 0;
        for (int column = 0; column < 4; ++column) {
            for (int row = 0; row < RowCount(); ++row) {
                EXPECT_LT(list->fontMetrics().horizontalAdvance(Cell(row, column)),
                          list->header()->sectionSize(column))
                    << row << "," << column;
            }
            total += list->header()->sectionSize(column);
        }
        EXPECT_GE(total, list->viewport()->width()) << width;
    }
}

TEST_F(MainWindowTest, ASectionNameUsedTwiceIsListedOnceAndTheLogSaysTheLaterOneIsIgnored) {
    CapturingOutput log;
    CKSLogger logger;
    logger.SetOutput(&log);
    m_window->SetLog(&logger);
    WriteFileBytes(m_config, std::string(kConfiguration) + "[ small BINARY ]\nType=txt\n");
    m_window->Reload();
    EXPECT_EQ(RowCount(), 4);
    EXPECT_EQ(Cell(0, 1), "bin");
    EXPECT_EQ(m_window->StatusText(2), "4");
    EXPECT_TRUE(
        log.Contains("A later section [small BINARY] is ignored: a definition of that name comes first"))
        << log.All();
    m_window->SetLog(nullptr);
}

TEST_F(MainWindowTest, SelectionEnablesCommandsAndTheDisabledGenerateExplainsItself) {
    OpenMenuOf(res::kCmdGenerateSelected);
    OpenMenuOf(res::kCmdDeleteDefinition);
    for (const int id : {res::kCmdGenerateSelected, res::kCmdModifyDefinition, res::kCmdDeleteDefinition}) {
        EXPECT_FALSE(m_window->Command(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(m_window->Command(res::kCmdAddDefinition)->isEnabled());

    emit m_window->Command(res::kCmdGenerateSelected)->hovered();
    EXPECT_EQ(m_window->StatusText(1), "Select a definition to generate files");
    EXPECT_EQ(m_window->StatusText(2), "");
    emit m_window->Command(res::kCmdHistory)->hovered();
    EXPECT_EQ(m_window->StatusText(2), "4");
    // Moving from the disabled Selected onto the Active submenu clears the hint as well.
    emit m_window->Command(res::kCmdGenerateSelected)->hovered();
    QMenu* active = nullptr;
    for (QMenu* menu : m_window->findChildren<QMenu*>()) {
        active = menu->title() == "&Active" ? menu : active;
    }
    ASSERT_NE(active, nullptr);
    emit active->menuAction()->hovered();
    EXPECT_NE(m_window->StatusText(1), "Select a definition to generate files");
    EXPECT_EQ(m_window->StatusText(2), "4");

    SelectRows({1});
    OpenMenuOf(res::kCmdGenerateSelected);
    OpenMenuOf(res::kCmdDeleteDefinition);
    for (const int id : {res::kCmdGenerateSelected, res::kCmdModifyDefinition, res::kCmdDeleteDefinition}) {
        EXPECT_TRUE(m_window->Command(id)->isEnabled()) << id;
    }
    emit m_window->Command(res::kCmdGenerateSelected)->hovered();
    EXPECT_EQ(m_window->StatusText(2), "4");
}

TEST_F(MainWindowTest, DeleteRemovesExactlyTheSelectedSectionsAndReportsAFailure) {
    SelectRows({2, 0});
    const std::vector<CKSString> selected = m_window->CollectSelected();
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_EQ(selected[0].ToUtf8(), "Small binary");
    EXPECT_EQ(selected[1].ToUtf8(), "Table");
    m_window->Command(res::kCmdDeleteDefinition)->trigger();
    const auto names = CIniProfile::GetSectionNames(CKSString::FromUtf8(m_config));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].ToUtf8(), "Huge");
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(m_window->StatusText(2), "2");
    EXPECT_TRUE(m_prompts->messages.isEmpty());

    // The file becomes something that cannot be rewritten: the failure is told and the list shows
    // what the file holds now (nothing readable), not rows that seem deleted.
    std::filesystem::remove(m_config);
    std::filesystem::create_directory(m_config);
    SelectRows({0});
    m_window->Command(res::kCmdDeleteDefinition)->trigger();
    ASSERT_EQ(m_prompts->messages.size(), 1);
    EXPECT_TRUE(m_prompts->messages[0].contains("Huge"));
    EXPECT_EQ(RowCount(), 0);
}

TEST_F(MainWindowTest, OpenSwitchesAndSaveAsCopiesTheConfiguration) {
    const std::string other = m_dir.File("other.ini");
    WriteFileBytes(other, "[Only]\nType=txt\n");
    m_prompts->fileAnswers = {QString::fromStdString(other)};
    m_window->Command(res::kCmdOpenConfiguration)->trigger();
    EXPECT_EQ(m_context.Config().GetConfigFile().ToUtf8(), other);
    CKSString recorded;
    KSRegUtil(kConfigPointerKeyPath).ReadString(kConfigFileValue, recorded, 4096);
    EXPECT_EQ(recorded.ToUtf8(), other);
    ASSERT_EQ(RowCount(), 1);
    EXPECT_EQ(Cell(0, 0), "Only");

    // Cancel changes nothing but the reload.
    m_window->Command(res::kCmdOpenConfiguration)->trigger();
    EXPECT_EQ(m_context.Config().GetConfigFile().ToUtf8(), other);

    const std::string copy = m_dir.File("copy.ini");
    m_prompts->fileAnswers = {QString::fromStdString(copy)};
    m_window->Command(res::kCmdSaveConfigurationAs)->trigger();
    EXPECT_TRUE(m_prompts->messages.isEmpty()) << m_prompts->messages.join('\n').toStdString();
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(other));
    EXPECT_EQ(m_context.Config().GetConfigFile().ToUtf8(), copy);
    EXPECT_EQ(RowCount(), 1);

    // A place that cannot take the copy is reported and the configuration stays.
    m_prompts->fileAnswers = {QString::fromStdString(m_dir.File("no/such/folder/x.ini"))};
    m_window->Command(res::kCmdSaveConfigurationAs)->trigger();
    EXPECT_EQ(m_prompts->messages.size(), 1);
    EXPECT_EQ(m_context.Config().GetConfigFile().ToUtf8(), copy);
}

TEST_F(MainWindowTest, EditOpensTheFileAndMakesAMissingOneFirst) {
    const std::string fresh = m_dir.File("fresh.ini");
    m_context.Config().LoadAt(CKSString::FromUtf8(fresh));
    m_window->Command(res::kCmdEditConfiguration)->trigger();
    ASSERT_EQ(m_prompts->opened.size(), 1);
    EXPECT_EQ(m_prompts->opened[0].toStdString(), fresh);
    EXPECT_TRUE(std::filesystem::is_regular_file(fresh));

    // No invented number: the file and the desktop's reason.
    m_prompts->openSucceeds = false;
    m_window->Command(res::kCmdEditConfiguration)->trigger();
    ASSERT_EQ(m_prompts->messages.size(), 1);
    EXPECT_EQ(m_prompts->errors, m_prompts->messages);
    EXPECT_EQ(m_prompts->messages[0], "Failed to open editor for " + QString::fromStdString(fresh) +
                                          ": no opener program is installed.");

    // A configuration that cannot be made says why, and the editor is not asked to open it.
    m_prompts->openSucceeds = true;
    const std::string unmakeable = m_dir.File("no/such/folder/fakemill.ini");
    m_context.Config().LoadAt(CKSString::FromUtf8(unmakeable));
    m_window->Command(res::kCmdEditConfiguration)->trigger();
    ASSERT_EQ(m_prompts->messages.size(), 2);
    EXPECT_TRUE(m_prompts->messages[1].startsWith("Failed to open editor for " +
                                                  QString::fromStdString(unmakeable) + ": "))
        << m_prompts->messages[1].toStdString();
    EXPECT_EQ(m_prompts->opened.size(), 2);
}

TEST_F(MainWindowTest, HelpOpensOnceAndActiveListsBatchWindowsNewestFirst) {
    m_window->Command(res::kCmdHelp)->trigger();
    m_window->Command(res::kCmdHelp)->trigger();
    QCoreApplication::processEvents();
    const auto helps = m_window->findChildren<CKSHelpWnd*>();
    ASSERT_EQ(helps.size(), 1);
    EXPECT_EQ(helps[0]->Text(),
              "Fakemill Help\n=============================\n\n"
              "Use the 'Define > Add...' command to create new definitions.\n\n"
              "Choose 'Generate > Selected' to generate files.  You must select at least one "
              "definition first.\n\n"
              "By default, the generator will prompt \n"
              "you for a directory to generate the files in.  You can change this behaviour "
              "in the Options dialog.\n\n");
    EXPECT_EQ(m_window->Command(res::kCmdCalculateHash)->text(), "&Calculate hash...");

    QMenu* active = nullptr;
    for (QMenu* menu : m_window->findChildren<QMenu*>()) {
        if (menu->title() == "&Active") {
            active = menu;
        }
    }
    ASSERT_NE(active, nullptr);
    emit active->aboutToShow();
    ASSERT_EQ(active->actions().size(), 1);
    EXPECT_EQ(active->actions()[0]->text(), "<none>");
    EXPECT_FALSE(active->actions()[0]->isEnabled());

    class BatchWindow : public CKSOutputWnd {
    public:
        using CKSOutputWnd::CKSOutputWnd;
        int GetKind() const override { return res::kKindBatchOutput; }
    };
    auto* first = new BatchWindow(m_window.get(), "first");
    auto* second = new BatchWindow(m_window.get(), "second");
    // A window whose batch waits, never shown yet, is not listed.
    emit active->aboutToShow();
    EXPECT_EQ(active->actions()[0]->text(), "<none>");
    first->show();
    second->show();
    emit active->aboutToShow();
    ASSERT_EQ(active->actions().size(), 2);
    EXPECT_EQ(active->actions()[0]->text(), "second");
    EXPECT_EQ(active->actions()[0]->data().toInt(), res::kCmdFirstActiveWindow + 1);
    EXPECT_EQ(active->actions()[1]->text(), "first");
    QAction* stale = active->actions()[0];
    delete second;
    // The window went between the menu's opening and the choice: nothing happens.
    stale->trigger();
    emit active->aboutToShow();
    ASSERT_EQ(active->actions().size(), 1);
    EXPECT_EQ(active->actions()[0]->text(), "first");
    delete first;
}

TEST_F(MainWindowTest, KeysEnterAndDoubleClickReachTheirCommandsAtOnce) {
    const std::pair<int, const char*> keys[] = {{res::kCmdOpenConfiguration, "Ctrl+O"},
                                                {res::kCmdReloadConfiguration, "F5"},
                                                {res::kCmdDeleteDefinition, "Del"},
                                                {res::kCmdGenerateSelected, "Ctrl+G"},
                                                {res::kCmdAddDefinition, "Ctrl+N"},
                                                {res::kCmdHelp, "F1"},
                                                {res::kCmdExit, "Ctrl+Q"}};
    for (const auto& [id, key] : keys) {
        EXPECT_EQ(m_window->Command(id)->shortcut().toString(), key) << id;
    }
    int generated = 0;
    int modified = 0;
    m_window->SetCommandHandler(res::kCmdGenerateSelected, [&] { ++generated; });
    m_window->SetCommandHandler(res::kCmdModifyDefinition, [&] { ++modified; });
    // Without a selection the keys do nothing; a selection enables them without a menu opening.
    QTreeView* list = m_window->DefinitionList();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(generated, 0);
    SelectRows({0});
    EXPECT_TRUE(m_window->Command(res::kCmdDeleteDefinition)->isEnabled());
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(generated, 1);
    emit list->doubleClicked(list->model()->index(0, 0));
    EXPECT_EQ(modified, 1);

    // Output windows close on Esc or Ctrl+W.
    m_window->Command(res::kCmdHelp)->trigger();
    QPointer<CKSHelpWnd> help = m_window->findChild<CKSHelpWnd*>();
    ASSERT_FALSE(help.isNull());
    auto* close = help->findChild<QAction*>("closeWindow");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->shortcuts().mid(0, 2),
              QList<QKeySequence>({QKeySequence(Qt::Key_Escape), QKeySequence("Ctrl+W")}));
    close->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(help.isNull());
}

TEST_F(MainWindowTest, AnEmptyListSaysWhatToDoAndOpensTheExamplesInOneClick) {
    EXPECT_EQ(m_window->EmptyHint(), nullptr);
    WriteFileBytes(m_config, "");
    m_window->Reload();
    QLabel* hint = m_window->EmptyHint();
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(
        hint->text().startsWith("No definitions yet: Define &gt; Add... creates one, File &gt; Open... "
                                "opens a configuration"));
    // The tests run from the build tree, beside the repository's examples.
    ASSERT_TRUE(hint->text().contains("<a href=")) << hint->text().toStdString();
    emit hint->linkActivated("examples");
    EXPECT_GT(RowCount(), 0);
    EXPECT_EQ(m_window->EmptyHint(), nullptr);
    EXPECT_TRUE(m_context.Config().GetConfigFile().ToQString().endsWith("/examples/fakemill.ini"));
}

TEST_F(MainWindowTest, ClosingSavesPlacementAndColumnsAndClosesToolWindows) {
    m_window->setGeometry(40, 50, 500, 300);
    m_window->DefinitionList()->header()->resizeSection(2, 150);
    const int nameWidth = m_window->DefinitionList()->header()->sectionSize(0);
    auto* tool = new QWidget(nullptr, Qt::Window);
    m_tools.Register(tool);
    tool->show();
    const QPointer<QWidget> watched(tool);
    m_window->close();
    EXPECT_FALSE(watched->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull());

    CToolWindowManager tools;
    CMainWindow again(m_context, tools);
    again.RestorePlacement();
    EXPECT_EQ(again.geometry(), QRect(40, 50, 500, 300));
    EXPECT_EQ(again.DefinitionList()->header()->sectionSize(2), 150);
    // Once the user set a width, every column keeps its width, and a reload does not refit them.
    again.Reload();
    EXPECT_EQ(again.DefinitionList()->header()->sectionSize(2), 150);
    EXPECT_EQ(again.DefinitionList()->header()->sectionSize(0), nameWidth);
}

TEST(WindowPlacementTest, KeepsAReachableRectangleAndBringsBackALostOne) {
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    EXPECT_EQ(KeepOnScreens(QRect(2000, 100, 400, 300), screens), QRect(2000, 100, 400, 300));
    // A window left on a monitor that is gone comes back onto the first screen, whole.
    EXPECT_EQ(KeepOnScreens(QRect(-32000, -32000, 400, 300), screens), QRect(0, 0, 400, 300));
    EXPECT_EQ(KeepOnScreens(QRect(5000, 200, 4000, 3000), screens), QRect(0, 0, 1920, 1080));
    // Only the title bar matters: a window hanging off the bottom stays where it is.
    EXPECT_EQ(KeepOnScreens(QRect(100, 1000, 400, 300), screens), QRect(100, 1000, 400, 300));

    // New windows step down from the last of their kind and start again at the top when the next
    // step would leave the screen.
    const QRect area(0, 30, 1280, 770);
    const QPoint first = CascadePlacement(std::nullopt, QSize(300, 700), area);
    EXPECT_EQ(first, QPoint(kCascadeStep, 30 + kCascadeStep));
    EXPECT_EQ(CascadePlacement(first, QSize(300, 500), area), first + QPoint(kCascadeStep, kCascadeStep));
    EXPECT_EQ(CascadePlacement(first, QSize(300, 720), area), first);
    EXPECT_EQ(CascadePlacement(QPoint(1000, 40), QSize(300, 100), area), first);
}

} // namespace

// The status bar's path: cut in the middle to the room it has, so that the file name and the
// time stay readable, and whole in the tooltip; whole again once the room is there.
TEST(ElidedLabel, ALongPathIsCutInTheMiddleWithTheWholeInItsTooltip) {
    CElidedLabel label;
    label.resize(200, 20);
    label.show();
    const QString path = "/home/tester/" + QString(60, QLatin1Char('d')) + "/fakemill.ini [18:23]";
    label.SetFullText(path);
    EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), 200);
    EXPECT_TRUE(label.text().startsWith("/home/")) << label.text().toStdString();
    EXPECT_TRUE(label.text().endsWith("[18:23]")) << label.text().toStdString();
    EXPECT_EQ(label.toolTip(), path);
    EXPECT_EQ(label.FullText(), path);
    EXPECT_LT(label.minimumSizeHint().width(), 200);

    label.resize(2000, 20);
    EXPECT_EQ(label.text(), path);
    EXPECT_TRUE(label.toolTip().isEmpty());
}
