// Start-up and shutdown of the desktop program: the first run, a start-up that fails, and an end
// that leaves no thread running and every window closed through its normal path.

#include "UiTestSupport.h"

#include "BuildVersion.h"
#include "app/AppContext.h"
#include "app/TerminationSignals.h"
#include "engine/KSObserver.h"
#include "properties/KSRegUtil.h"
#include "tests/common/CoreEventLoop.h"
#include "tests/common/TempDir.h"
#include "tests/tools/HungSource.h"
#include "ui/BatchOutputWnd.h"
#include "ui/FakemillApp.h"
#include "ui/GenerateCommand.h"
#include "ui/KSHashCalculator.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

namespace {

std::filesystem::path ConfigHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
}

std::string ApplicationLogText() {
    const std::filesystem::path folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() + "/ksfakemill";
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        text += ReadFileBytes(entry.path().string());
    }
    return text;
}

TEST(StartupTest, FirstRunRecordsANewConfigurationAndEndsCleanly) {
    PromptScript prompts;
    CFakemillApp app;
    ASSERT_TRUE(app.InitMainWindow());
    const std::filesystem::path expected = ConfigHome() / "Kestrune" / "fakemill" / "fakemill.ini";
    EXPECT_TRUE(std::filesystem::is_directory(expected.parent_path()));
    EXPECT_FALSE(std::filesystem::exists(expected));
    CKSString recorded;
    KSRegUtil(kConfigPointerKeyPath).ReadString(kConfigFileValue, recorded, 4096);
    EXPECT_EQ(recorded.ToUtf8(), expected.string());
    EXPECT_EQ(app.MainWindow()->DefinitionList()->model()->rowCount(), 0);
    EXPECT_EQ(app.MainWindow()->StatusText(2), "0");
    EXPECT_TRUE(app.Context().Worker().IsRunning());
    EXPECT_TRUE(app.MainWindow()->isVisible());

    // Closing the main window with the help window open ends the loop; the help window is closed
    // first, and the worker is stopped and joined.
    app.MainWindow()->Command(res::kCmdHelp)->trigger();
    QTimer::singleShot(0, app.MainWindow(), [&app] { app.MainWindow()->close(); });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(app.Context().Worker().ExitedEvent().IsSet());
    EXPECT_FALSE(CKSObserver::Instance().IsDispatching());
    // The main window's place is kept for the next start, on the disk.
    EXPECT_FALSE(CFakemillSettings().Get(settings_key::kWindowState).geometry.isEmpty());
}

TEST(StartupTest, AFailedStartSaysWhyInTheLogAndLeavesNothingRunning) {
    PromptScript prompts;
    // A configuration path longer than the platform allows cannot be used, and the first-run
    // creation cannot help because the variable still names it.
    ::setenv("FKMCONFIG", std::string(5000, 'x').c_str(), 1);
    CFakemillApp app;
    EXPECT_FALSE(app.InitMainWindow());
    EXPECT_FALSE(CKSObserver::Instance().IsDispatching());
    EXPECT_FALSE(app.Context().Worker().IsRunning());
    app.Shutdown();
    app.Logger().Flush(true);
    EXPECT_NE(ApplicationLogText().find("Initialized config, but could not load it."), std::string::npos)
        << ApplicationLogText();
    ::unsetenv("FKMCONFIG");
}

} // namespace

namespace {

TEST(StartupTest, ATerminationSignalEndsTheProgramLikeClosingIt) {
    PromptScript prompts;
    TempDir dir;
    ::setenv("FKMCONFIG", dir.File("fakemill.ini").c_str(), 1);
    CFakemillApp app;
    ASSERT_TRUE(app.InitMainWindow());
    const CTerminationSignals terminationWatch([&app] { app.MainWindow()->close(); });
    QTimer::singleShot(0, [] { ::raise(SIGTERM); });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(app.Context().Worker().ExitedEvent().IsSet());
    ::unsetenv("FKMCONFIG");
}

} // namespace

namespace {

TEST(StartupTest, ClosingDuringABatchEndsSoonAndLeavesNoCutShortFile) {
    PromptScript prompts;
    TempDir dir;
    WriteFileBytes(dir.File("fakemill.ini"), "[Huge]\nType=bin\nSize=512MB\nFiles=2\n");
    ::setenv("FKMCONFIG", dir.File("fakemill.ini").c_str(), 1);
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    CFakemillApp app;
    ASSERT_TRUE(app.InitMainWindow());
    prompts->folderAnswers = {QString::fromStdString(out)};
    CBatchOutputWnd* window =
        GenerateSelected(app.MainWindow(), {CKSString(u"Huge")}, app.Context(), CBatchOptions{0, {}});
    ASSERT_NE(window, nullptr);
    QElapsedTimer closing;
    QString seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        seen = window->ProgressText();
        // Under way: some KiB, MiB or GiB are written (the live line is refreshed a few times a second).
        if (seen.contains("iB written") || seen.endsWith(" - finished")) {
            poll.stop();
            closing.start();
            app.MainWindow()->close();
        }
    });
    poll.start(20);
    // Never wait for ever on a batch that does not get going: close anyway and fail.
    QTimer::singleShot(30000, app.MainWindow(), [&] {
        if (!closing.isValid()) {
            app.MainWindow()->close();
        }
    });
    EXPECT_EQ(app.Run(), 0);
    ASSERT_TRUE(closing.isValid()) << seen.toStdString();
    EXPECT_TRUE(seen.contains("iB written")) << seen.toStdString();
    EXPECT_LT(closing.elapsed(), 15000);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(entry.file_size(), 512u << 20) << entry.path();
        }
    }
    ::unsetenv("FKMCONFIG");
}

} // namespace

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
};

// The desktop program run as a user runs it in a terminal without a display.
ProgramRun RunWithoutDisplay(const std::string& arguments) {
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" FAKEMILL_PATH "' " + arguments + " 2>&1";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        run.out += buffer;
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

TEST(StartupTest, VersionAndHelpAnswerWithoutADisplay) {
    const ProgramRun version = RunWithoutDisplay("--version");
    EXPECT_EQ(version.status, 0) << version.out;
    EXPECT_EQ(version.out, "fakemill " FAKEMILL_VERSION_TEXT "\n");
    const ProgramRun help = RunWithoutDisplay("--help");
    EXPECT_EQ(help.status, 0) << help.out;
    EXPECT_NE(help.out.find("Usage: fakemill [--help | --version]\n"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("takes no other arguments"), std::string::npos) << help.out;
}

TEST(StartupTest, AToolWindowStuckOnAFileClosesAtOnceAndTheProgramEndsWithinItsBound) {
    TempDir dir;
    ::setenv("FKMCONFIG", dir.File("fakemill.ini").c_str(), 1);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EXIT(
        {
            PromptScript prompts;
            CHungFile hung;
            CFakemillApp app;
            if (!app.InitMainWindow()) {
                std::_Exit(2);
            }
            auto engine = HungHashWorker(hung);
            auto* calculator = new CKSHashCalculator(
                app.Context(), nullptr,
                std::make_unique<CHashCalculatorTool>(app.Context().Settings(), app.Context().Reaper(),
                                                      std::move(engine)));
            app.ToolWindows().Register(calculator);
            calculator->Create();
            calculator->AddFile(QStringLiteral("/mnt/hung/file"));
            if (!hung.Entered()) {
                std::_Exit(3);
            }
            QElapsedTimer closing;
            closing.start();
            calculator->close();
            if (closing.elapsed() >= 200) {
                std::_Exit(4);
            }
            QTimer::singleShot(0, app.MainWindow(), [&app] { app.MainWindow()->close(); });
            app.Run(); // ends the process: the hashing thread never ends
            std::_Exit(0);
        },
        testing::ExitedWithCode(EXIT_FAILURE), "");
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took,
              std::chrono::milliseconds(CAppContext::kToolThreadsExitMilliseconds) + std::chrono::seconds(5));
    EXPECT_NE(ApplicationLogText().find("1 tool threads did not end within 3000 ms"), std::string::npos)
        << ApplicationLogText();
    ::unsetenv("FKMCONFIG");
}

} // namespace
