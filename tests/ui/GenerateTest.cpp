// Generating from the desktop: the Generate command with its destination choices, batch windows
// that appear when their batch starts and stop their own batch only, the options dialog's stored
// values, and the history with live additions and its folder messages.

#include "UiTestSupport.h"

#include "app/AppContext.h"
#include "app/ScreenPlacement.h"
#include "engine/KSObserver.h"
#include "support/IniProfile.h"
#include "tests/common/TempDir.h"
#include "ui/BatchOutputWnd.h"
#include "ui/GenerateCommand.h"
#include "ui/HistoryDialog.h"
#include "ui/MainWindow.h"
#include "ui/OptionsDialog.h"
#include "ui/Resources.h"
#include "ui/ToolWindowManager.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTreeView>

#include <filesystem>

namespace {

class GenerateTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFileBytes(m_dir.File("fakemill.ini"), "[Alpha]\nType=bin\nSize=1KB\nFiles=1\n"
                                                   "[Beta]\nType=bin\nSize=2KB\nFiles=2\n"
                                                   "[Gamma]\nType=txt\nSize=1KB\nFiles=1\n"
                                                   "[Huge]\nType=bin\nSize=16MB\nFiles=64\n");
        m_context.Config().LoadAt(CKSString::FromUtf8(m_dir.File("fakemill.ini")));
        CKSObserver::Instance().StartDispatch();
        ASSERT_TRUE(m_worker.Start());
        m_window = std::make_unique<CMainWindow>(m_context, m_tools);
        m_window->Reload();
    }
    void TearDown() override {
        m_window.reset();
        m_context.Shutdown(nullptr, EXIT_FAILURE);
        CKSObserver::Instance().Shutdown();
    }
    // A fixed destination folder from the options: no prompt.
    void GenerateInto(const std::string& folder) {
        m_context.Settings().Set(settings_key::kGeneratorPrompt, 1);
        m_context.Settings().Set(settings_key::kGeneratorPath, CKSString::FromUtf8(folder).View());
    }

    void Select(std::initializer_list<int> rows) {
        QTreeView* list = m_window->DefinitionList();
        list->clearSelection();
        for (const int row : rows) {
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    CBatchOutputWnd* Generate(std::initializer_list<int> rows) {
        Select(rows);
        return GenerateSelected(m_window.get(), m_window->CollectSelected(), m_context, CBatchOptions{0, 7});
    }
    std::size_t FinishedBatches() {
        std::vector<CKSString> names;
        return m_worker.ListBatches(names);
    }

    TempDir m_dir;
    PromptScript m_prompts;
    CAppContext m_context;
    GeneratorWorker& m_worker = m_context.Worker();
    CToolWindowManager m_tools;
    std::unique_ptr<CMainWindow> m_window;
};

TEST_F(GenerateTest, SelectedRowsBecomeOneBatchWhoseWindowAppearsWhenItStarts) {
    // Nothing selected: no prompt, no batch.
    EXPECT_EQ(Generate({}), nullptr);
    EXPECT_TRUE(m_prompts->titles.isEmpty());
    // Cancel at the prompt abandons everything.
    EXPECT_EQ(Generate({0}), nullptr);
    EXPECT_EQ(m_prompts->titles, QStringList({"Select destination"}));
    EXPECT_TRUE(CKSOutputWnd::Windows().empty());

    const std::string out = m_dir.File("out");
    std::filesystem::create_directory(out);
    m_prompts->folderAnswers = {QString::fromStdString(out)};
    CBatchOutputWnd* window = Generate({2, 0, 1});
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->windowTitle().startsWith("'Alpha+' (3 total) started "))
        << window->windowTitle().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return FinishedBatches() == 1; }, 20000));
    ASSERT_TRUE(
        WaitUntil([&] { return window->isVisible() && window->Text().contains("3 generators finished"); }));
    const QString text = window->Text();
    EXPECT_LT(text.indexOf("Starting 'Alpha'"), text.indexOf("Starting 'Beta'"));
    EXPECT_LT(text.indexOf("Starting 'Beta'"), text.indexOf("Starting 'Gamma'"));
    ASSERT_TRUE(WaitUntil([&] { return window->ProgressText().endsWith(" - finished"); }));
    EXPECT_TRUE(window->ProgressText().startsWith("4 files, ")) << window->ProgressText().toStdString();
    EXPECT_FALSE(window->StopButton()->isEnabled());
    // The window keeps its size whatever it shows: long lines scroll inside it.
    window->Write(QString(400, QLatin1Char('x')));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(CKSOutputWnd::kDefaultWidth, CKSOutputWnd::kDefaultHeight));

    // A fixed folder from the options: no prompt at all.
    const std::string fixed = m_dir.File("fixed");
    GenerateInto(fixed);
    m_prompts->titles.clear();
    ASSERT_NE(Generate({0}), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FinishedBatches() == 2; }, 20000));
    EXPECT_TRUE(m_prompts->titles.isEmpty());
    EXPECT_TRUE(std::filesystem::exists(fixed));
}

TEST_F(GenerateTest, StopEndsItsOwnBatchOnlyAndTheHistoryMarksIt) {
    GenerateInto(m_dir.File("out"));
    CBatchOutputWnd* huge = Generate({3});
    CBatchOutputWnd* small = Generate({0});
    ASSERT_NE(huge, nullptr);
    ASSERT_NE(small, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return huge->isVisible(); }));
    // The second batch waits for the first: its window stays hidden meanwhile. Each window's frame
    // is on the screen, the second a step below and right of the first, not over it.
    EXPECT_FALSE(small->isVisible());
    const QRect screen = huge->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(huge->frameGeometry().topLeft()))
        << huge->pos().x() << "," << huge->pos().y();
    EXPECT_EQ(small->pos(), huge->pos() + QPoint(kCascadeStep, kCascadeStep));
    huge->StopButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return FinishedBatches() == 2; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return small->Text().contains("Generator finished"); }));
    EXPECT_FALSE(small->Text().contains("ERROR")) << small->Text().toStdString();

    CHistoryDialog history(m_window.get(), m_worker);
    ASSERT_EQ(history.Batches()->count(), 2);
    EXPECT_TRUE(history.Batches()->item(0)->text().endsWith(" (stopped)"));
    EXPECT_FALSE(history.Batches()->item(1)->text().endsWith(" (stopped)"));
    EXPECT_FALSE(ApplicationStopEvent().IsSet());
}

TEST_F(GenerateTest, HistoryAddsFinishedBatchesOnceAndOpensTheirFolders) {
    GenerateInto(m_dir.File("out"));
    CHistoryDialog history(m_window.get(), m_worker);
    EXPECT_EQ(history.Batches()->count(), 0);
    EXPECT_FALSE(history.ViewFilesButton()->isEnabled());

    // Two batches with the same name (same definition, same minute) keep their own generators.
    ASSERT_NE(Generate({0}), nullptr);
    ASSERT_NE(Generate({1}), nullptr);
    ASSERT_NE(Generate({1}), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return history.Batches()->count() == 3; }, 20000));
    QCoreApplication::processEvents();
    EXPECT_EQ(history.Batches()->count(), 3);
    history.Batches()->setCurrentRow(0);
    ASSERT_EQ(history.Generators()->count(), 1);
    EXPECT_EQ(history.Generators()->item(0)->text(), "Alpha");
    history.Batches()->setCurrentRow(2);
    ASSERT_EQ(history.Generators()->count(), 1);
    EXPECT_EQ(history.Generators()->item(0)->text(), "Beta");
    EXPECT_FALSE(history.ViewFilesButton()->isEnabled());

    // Each batch shows the folder its files went to.
    const QString out = QString::fromStdString(m_dir.File("out"));
    EXPECT_TRUE(history.FolderText().startsWith("Folder: " + out)) << history.FolderText().toStdString();
    EXPECT_EQ(history.Batches()->item(2)->toolTip(), history.FolderText());

    history.Generators()->setCurrentRow(0);
    ASSERT_TRUE(history.ViewFilesButton()->isEnabled());
    history.ViewFilesButton()->click();
    ASSERT_EQ(m_prompts->opened.size(), 1);
    EXPECT_TRUE(std::filesystem::is_directory(m_prompts->opened[0].toStdString()));
    EXPECT_EQ(history.FolderText(), "Folder: " + m_prompts->opened[0]);
    EXPECT_EQ(history.Message(), "");

    // No invented number: the folder and the desktop's reason.
    m_prompts->openSucceeds = false;
    history.ViewFilesButton()->click();
    EXPECT_EQ(history.Message(),
              "Failed to explore folder " + m_prompts->opened[0] + ": no opener program is installed");
    // Another batch chosen: the message was about the last one and goes.
    history.Batches()->setCurrentRow(1);
    EXPECT_EQ(history.Message(), "");
    history.Generators()->setCurrentRow(0);
    history.ViewFilesButton()->click();
    EXPECT_FALSE(history.Message().isEmpty());
    history.Generators()->setCurrentRow(-1);
    history.Generators()->setCurrentRow(0);
    EXPECT_EQ(history.Message(), "");

    // The desktop's own opener, on a system without a file manager, says so instead of failing
    // with nothing to show.
    {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(m_dir.File("no-programs-here")));
        std::unique_ptr<IUserPrompts> scripted = InstallPrompts(nullptr);
        history.ViewFilesButton()->click();
        qputenv("PATH", path);
        InstallPrompts(std::move(scripted));
    }
    EXPECT_EQ(history.Message(),
              "Failed to explore folder " + m_prompts->opened[0] +
                  ": no file manager is installed (the desktop's opener xdg-open is missing)");

    std::filesystem::remove_all(m_prompts->opened[0].toStdString());
    history.ViewFilesButton()->click();
    EXPECT_EQ(history.Message(), "'" + m_prompts->opened[0] + "' is not a folder");
}

TEST_F(GenerateTest, ClosingARunningBatchsWindowHidesItAndActiveBringsItBackToStopIt) {
    GenerateInto(m_dir.File("out"));
    QPointer<CBatchOutputWnd> window = Generate({3});
    ASSERT_FALSE(window.isNull());
    ASSERT_TRUE(WaitUntil([&] { return window->isVisible(); }));
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());
    ASSERT_TRUE(window->IsRunning());

    // Active still lists it; choosing it shows it again with what was written meanwhile.
    QMenu* active = nullptr;
    for (QMenu* menu : m_window->findChildren<QMenu*>()) {
        active = menu->title() == "&Active" ? menu : active;
    }
    ASSERT_NE(active, nullptr);
    emit active->aboutToShow();
    ASSERT_EQ(active->actions().size(), 1);
    EXPECT_EQ(active->actions()[0]->text(), window->windowTitle());
    active->actions()[0]->trigger();
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return window->Text().contains("Starting 'Huge'"); }));
    ASSERT_TRUE(window->StopButton()->isEnabled());
    window->StopButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return FinishedBatches() == 1; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return !window->IsRunning(); }));

    // Closed after its batch ended, the window goes.
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(GenerateTest, ADestinationInTheWayOrAVanishedDefinitionIsReportedAndTheRestRuns) {
    // A file where the destination folder should be.
    const std::string blocked = m_dir.File("blocked");
    WriteFileBytes(blocked, "not a folder");
    m_prompts->folderAnswers = {QString::fromStdString(blocked)};
    CBatchOutputWnd* refused = Generate({0});
    ASSERT_NE(refused, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FinishedBatches() == 1; }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return refused->Text().contains("Generator finished"); }));
    EXPECT_TRUE(refused->Text().contains("ERROR")) << refused->Text().toStdString();
    EXPECT_TRUE(refused->Text().contains(QString::fromStdString(blocked))) << refused->Text().toStdString();

    // The next batch waits behind a long one; meanwhile one of its definitions is deleted.
    const std::string out = m_dir.File("out");
    std::filesystem::create_directory(out);
    m_prompts->folderAnswers = {QString::fromStdString(out), QString::fromStdString(out)};
    CBatchOutputWnd* huge = Generate({3});
    CBatchOutputWnd* later = Generate({0, 1});
    ASSERT_NE(huge, nullptr);
    ASSERT_NE(later, nullptr);
    ASSERT_TRUE(CIniProfile::DeleteSection(CKSString::FromUtf8(m_dir.File("fakemill.ini")), u"Alpha"));
    huge->StopButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return FinishedBatches() == 3; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return later->Text().contains("2 generators finished"); }));
    const QString text = later->Text();
    EXPECT_TRUE(text.contains("Alpha")) << text.toStdString();
    EXPECT_TRUE(text.contains("Starting 'Beta'")) << text.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return later->ProgressText().endsWith(" - finished"); }));
    EXPECT_TRUE(later->ProgressText().startsWith("2 files, ")) << later->ProgressText().toStdString();
}

TEST_F(GenerateTest, GenerateSelectedPausesAfterEachFileAsTheOptionsSay) {
    const std::string out = m_dir.File("paced");
    GenerateInto(out);
    // A pause far above the default of 100 ms: a one-file batch takes at least that long.
    ASSERT_TRUE(m_context.Settings().Set(settings_key::kGeneratorPause, 900));
    Select({0});
    QElapsedTimer timer;
    timer.start();
    m_window->Command(res::kCmdGenerateSelected)->trigger();
    ASSERT_TRUE(WaitUntil([&] { return FinishedBatches() == 1; }, 20000));
    EXPECT_GE(timer.elapsed(), 900);
    ASSERT_TRUE(std::filesystem::is_directory(out));
    EXPECT_FALSE(std::filesystem::is_empty(out));
}

TEST(OptionsDialogTest, StoresWhatTheUserChoseNothingOnCancelAndSaysWhenItCannotStore) {
    PromptScript prompts;
    CFakemillSettings settings;
    // What a store opened now reads.
    const auto stored = [](const settings_key::Number& key) { return CFakemillSettings().Get(key); };
    {
        COptionsDialog dialog(nullptr, settings);
        auto* folder = dialog.findChild<QLineEdit*>("folder");
        EXPECT_TRUE(dialog.findChild<QRadioButton*>("promptForDestination")->isChecked());
        EXPECT_TRUE(folder->text().endsWith("/testfiles"));
        EXPECT_FALSE(folder->isEnabled());
        EXPECT_EQ(dialog.findChild<QLineEdit*>("separator")->text(), ":");
        // The whole folder shows, and the dialog offers no minimise or maximise.
        dialog.show();
        QCoreApplication::processEvents();
        EXPECT_GT(folder->width(), folder->fontMetrics().horizontalAdvance(folder->text()));
        EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        dialog.findChild<QRadioButton*>("fixedFolder")->click();
        EXPECT_TRUE(folder->isEnabled());
        prompts->folderAnswers = {"/data/tests"};
        dialog.findChild<QPushButton*>("browse")->click();
        EXPECT_EQ(prompts->titles, QStringList({"Set Generate Destination"}));
        dialog.findChild<QPushButton*>("tab")->click();
        dialog.accept();
    }
    CKSString path;
    EXPECT_EQ(stored(settings_key::kGeneratorPrompt), 1u);
    EXPECT_TRUE(CFakemillSettings().Get(settings_key::kGeneratorPath, path));
    EXPECT_EQ(path.ToUtf8(), "/data/tests");
    EXPECT_EQ(stored(settings_key::kCopySeparator), 9u);

    const auto runWith = [&settings](const QString& separator, bool prompt, bool ok) {
        COptionsDialog dialog(nullptr, settings);
        EXPECT_EQ(dialog.findChild<QLineEdit*>("folder")->text(), "/data/tests");
        if (prompt) {
            dialog.findChild<QRadioButton*>("promptForDestination")->click();
        }
        dialog.findChild<QLineEdit*>("separator")->setText(separator);
        ok ? dialog.accept() : dialog.reject();
        return dialog.result();
    };
    runWith("\\n", true, true);
    EXPECT_EQ(stored(settings_key::kCopySeparator), 10u);
    EXPECT_EQ(stored(settings_key::kGeneratorPrompt), 0u);
    runWith(";", false, false); // Cancel
    EXPECT_EQ(stored(settings_key::kCopySeparator), 10u);
    runWith("", false, true); // empty keeps the stored separator
    EXPECT_EQ(stored(settings_key::kCopySeparator), 10u);
    runWith(";", false, true);
    EXPECT_EQ(stored(settings_key::kCopySeparator), 59u);
    EXPECT_EQ(COptionsDialog::SeparatorText(9), "\\t");
    EXPECT_TRUE(prompts->messages.isEmpty());

    // The pause after each file: 100 ms until changed, 0 for full speed; anything but a whole
    // number of milliseconds up to a minute is refused with the text quoted, and nothing is stored.
    const auto pauseWith = [&settings](const QString& pause, const QString& separator) {
        COptionsDialog dialog(nullptr, settings);
        const QString shown = dialog.findChild<QLineEdit*>("pause")->text();
        dialog.findChild<QLineEdit*>("pause")->setText(pause);
        dialog.findChild<QLineEdit*>("separator")->setText(separator);
        dialog.show();
        dialog.accept();
        return std::pair{shown, dialog.result() == QDialog::Accepted};
    };
    EXPECT_EQ(pauseWith(" 250 ", "|"), std::pair(QStringLiteral("100"), true));
    EXPECT_EQ(stored(settings_key::kGeneratorPause), 250u);
    for (const QString& bad :
         {QStringLiteral("-5"), QStringLiteral("abc"), QStringLiteral("1.5"), QStringLiteral(""),
          QStringLiteral("+7"), QStringLiteral("60001"), QStringLiteral("99999999999")}) {
        EXPECT_EQ(pauseWith(bad, "#"), std::pair(QStringLiteral("250"), false)) << bad.toStdString();
        ASSERT_FALSE(prompts->messages.isEmpty());
        EXPECT_EQ(prompts->messages.takeLast(),
                  "The pause after each file is a whole number of milliseconds from 0 to 60000, not \"" +
                      bad + "\".");
    }
    EXPECT_EQ(stored(settings_key::kGeneratorPause), 250u);
    EXPECT_EQ(stored(settings_key::kCopySeparator), u'|');
    EXPECT_EQ(pauseWith("0", "!"), std::pair(QStringLiteral("250"), true));
    EXPECT_EQ(stored(settings_key::kGeneratorPause), 0u);
    EXPECT_EQ(stored(settings_key::kCopySeparator), u'!');
    EXPECT_TRUE(prompts->messages.isEmpty());

    // The settings file cannot be written (a folder stands in its place): OK says why and the
    // dialog stays open.
    const std::string file = CFakemillSettings().FilePath().ToUtf8();
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_NE(runWith(":", false, true), QDialog::Accepted);
    ASSERT_EQ(prompts->messages.size(), 1);
    EXPECT_EQ(prompts->messages[0],
              "Could not save the settings to " + QString::fromStdString(file) + ": Is a directory");
}

} // namespace
