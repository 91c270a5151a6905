// The file exerciser dialog: its controls through a run, what another process finds locked, the
// run log (failed opens explained, always appended at the end), Stop then Start, drops, closing in
// the middle of a rotation, and a run that cannot start.

#include "UiTestSupport.h"

#include "app/AppContext.h"
#include "tests/common/LockProbe.h"
#include "tests/common/TempDir.h"
#include "tools/PermissionsHolder.h"
#include "ui/KSHamperingAgentDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>
#include <QUrl>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// What another process gets when it tries each kind of lock on the file (a lock of this process's
// own would not stand in its way): a child process probes and reports.
LockProbe ProbeFromAnotherProcess(const std::string& path) {
    int channel[2];
    if (::pipe(channel) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const LockProbe probe = ProbeLocks(path);
        const unsigned char bits = (probe.flockTaken ? 1 : 0) | (probe.ofdWriteTaken ? 2 : 0) |
                                   (probe.ofdReadTaken ? 4 : 0) | (probe.posixWriteTaken ? 8 : 0);
        const ssize_t written = ::write(channel[1], &bits, 1);
        ::_exit(written == 1 ? 0 : 1);
    }
    ::close(channel[1]);
    unsigned char bits = 0;
    const ssize_t got = ::read(channel[0], &bits, 1);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(got, 1);
    return LockProbe{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

class FileExerciserTest : public ::testing::Test {
protected:
    FileExerciserTest() {
        for (const char* name : {"b.txt", "a.txt"}) {
            WriteFileBytes(m_dir.File(name), name);
        }
        m_dialog.show();
        // These tests are about locks; the kernel way has tests of its own below.
        m_dialog.Way()->setCurrentIndex(m_dialog.Way()->findData(QStringLiteral("lock")));
    }
    ~FileExerciserTest() override { m_dialog.reject(); }

    QString LogText() const { return m_dialog.Log()->toPlainText(); }
    bool LogHas(const QString& text, int milliseconds = 5000) const {
        return WaitUntil([&] { return LogText().contains(text); }, milliseconds);
    }
    bool IdleAgain() const {
        return WaitUntil([this] { return !m_dialog.IsRunning(); });
    }

    // What another process finds once the file in hand is let go, which the exerciser's own
    // thread does moments after a close.
    static bool FreedForOthers(const std::string& path) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (ProbeFromAnotherProcess(path).AllTaken()) {
                return true;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return false;
    }

    TempDir m_dir;
    PromptScript m_prompts;
    CAppContext m_context;
    CKSHamperingAgentDialog m_dialog{m_context};
};

} // namespace

TEST_F(FileExerciserTest, ControlsFollowTheRunAndOtherProcessesFindTheFilesLocked) {
    // At open: "All the files", nothing to start or stop, no log.
    EXPECT_EQ(m_dialog.Mode()->currentText(), "All the files");
    EXPECT_EQ(m_dialog.Mode()->count(), 3);
    EXPECT_FALSE(m_dialog.StartButton()->isEnabled());
    EXPECT_FALSE(m_dialog.StopButton()->isEnabled());
    EXPECT_FALSE(m_dialog.Log()->isVisible());
    EXPECT_TRUE(m_dialog.WayNote()->text().contains("only programs that lock"))
        << m_dialog.WayNote()->text().toStdString();

    // One file picked: exactly its path. The list shows targets sorted, the agent keeps its order.
    m_prompts->filesAnswers.push_back({Q(m_dir.File("b.txt"))});
    m_dialog.AddFiles();
    m_prompts->filesAnswers.push_back({Q(m_dir.File("a.txt")), Q(m_dir.File("missing.txt"))});
    m_dialog.AddFiles();
    ASSERT_EQ(m_dialog.Targets()->count(), 3);
    EXPECT_EQ(m_dialog.Targets()->item(0)->text(), Q(m_dir.File("a.txt")));
    EXPECT_EQ(m_dialog.Tool().Targets().front().ToUtf8(), m_dir.File("b.txt"));
    EXPECT_TRUE(m_dialog.StartButton()->isEnabled());

    m_dialog.StartRun();
    EXPECT_TRUE(m_dialog.StopButton()->isEnabled());
    EXPECT_FALSE(m_dialog.StartButton()->isVisible());
    EXPECT_FALSE(m_dialog.AddFileButton()->isVisible());
    EXPECT_FALSE(m_dialog.Targets()->isVisible());
    EXPECT_FALSE(m_dialog.Mode()->isVisible());
    EXPECT_TRUE(m_dialog.Log()->isVisible());
    ASSERT_TRUE(LogHas("Opening: " + Q(m_dir.File("missing.txt"))));
    EXPECT_FALSE(ProbeFromAnotherProcess(m_dir.File("a.txt")).AnyTaken());
    EXPECT_FALSE(ProbeFromAnotherProcess(m_dir.File("b.txt")).AnyTaken());
    // A failed open says why on an indented line of its own.
    EXPECT_TRUE(LogText().contains("Opening: " + Q(m_dir.File("missing.txt")) + " (lock)\n    Failed: "));

    m_dialog.StopRun();
    EXPECT_FALSE(m_dialog.StopButton()->isEnabled());
    ASSERT_TRUE(IdleAgain());
    // The log stays in view with the run's closing lines.
    EXPECT_TRUE(m_dialog.Log()->isVisible());
    EXPECT_TRUE(m_dialog.StartButton()->isVisible() && m_dialog.StartButton()->isEnabled());
    EXPECT_TRUE(ProbeFromAnotherProcess(m_dir.File("a.txt")).AllTaken());
    EXPECT_TRUE(ProbeFromAnotherProcess(m_dir.File("b.txt")).AllTaken());
    const QString log = LogText();
    EXPECT_EQ(log.count("Closing: "), 2) << log.toStdString();
    EXPECT_FALSE(log.contains("Closing: " + Q(m_dir.File("missing.txt"))));
}

TEST_F(FileExerciserTest, StopWaitsForTheHoldToRunOutAndAQuickStartRunsAgainWithLinesAtTheEnd) {
    m_dialog.Add(Q(m_dir.File("a.txt")));
    m_dialog.Add(Q(m_dir.File("b.txt")));
    m_dialog.Mode()->setCurrentIndex(m_dialog.Mode()->findText("Single file, rotate"));
    m_dialog.SetRotateHold(400);
    m_dialog.StartRun();
    ASSERT_TRUE(LogHas("Opening: " + Q(m_dir.File("a.txt"))));
    // The user clicks at the top of the log: later lines still go to the end.
    QTextCursor top(m_dialog.Log()->document());
    top.movePosition(QTextCursor::Start);
    m_dialog.Log()->setTextCursor(top);
    ASSERT_TRUE(LogHas("Opening: " + Q(m_dir.File("b.txt"))));
    m_dialog.StopRun();
    // The file in hand is still held while its hold runs out: no Start until the run has ended.
    EXPECT_TRUE(m_dialog.IsRunning());
    EXPECT_TRUE(m_dialog.Log()->isVisible());
    EXPECT_FALSE(m_dialog.StartButton()->isEnabled() && m_dialog.StartButton()->isVisible());
    ASSERT_TRUE(IdleAgain());
    m_dialog.StartRun();
    EXPECT_TRUE(m_dialog.IsRunning());
    ASSERT_TRUE(WaitUntil([this] { return LogText().count("Opening: " + Q(m_dir.File("a.txt"))) == 2; }));
    const QStringList lines = LogText().split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 7);
    // Each run starts with a line naming its time and its way.
    EXPECT_TRUE(
        QRegularExpression("^---- Run of \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d, lock way: .* ----$")
            .match(lines[0])
            .hasMatch())
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], "Opening: " + Q(m_dir.File("a.txt")) + " (lock)");
    EXPECT_EQ(lines[2], "Closing: " + Q(m_dir.File("a.txt")));
    EXPECT_EQ(lines[3], "Opening: " + Q(m_dir.File("b.txt")) + " (lock)");
    EXPECT_EQ(lines[4], "Closing: " + Q(m_dir.File("b.txt")));
    EXPECT_TRUE(lines[5].startsWith("---- Run of ")) << lines[5].toStdString();
    EXPECT_EQ(lines[6], "Opening: " + Q(m_dir.File("a.txt")) + " (lock)");
}

TEST_F(FileExerciserTest, ClosingMidRotationReturnsAtOnceAndLeavesNothingHeld) {
    m_dialog.Add(Q(m_dir.File("a.txt")));
    m_dialog.Mode()->setCurrentIndex(m_dialog.Mode()->findText("Single file, rotate"));
    m_dialog.StartRun();
    ASSERT_TRUE(LogHas("Opening: "));
    ASSERT_FALSE(ProbeFromAnotherProcess(m_dir.File("a.txt")).AnyTaken());
    const auto started = std::chrono::steady_clock::now();
    m_dialog.reject();
    // Well under the 3,001 ms hold: the dialog waits for nothing, and the file goes at once.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
    EXPECT_FALSE(m_dialog.isVisible());
    EXPECT_TRUE(FreedForOthers(m_dir.File("a.txt")));
}

TEST(FileExerciserStart, ARunThatCannotStartIsShownAndTheDialogStaysIdle) {
    TempDir dir;
    WriteFileBytes(dir.File("a.txt"), "a");
    PromptScript prompts;
    CAppContext context;
    CKSHamperingAgentDialog dialog(context, nullptr,
                                   std::make_unique<CFileExerciserTool>(context.Reaper(), [] {
                                       return std::unique_ptr<CKSHamperingAgent>();
                                   }));
    dialog.show();
    dialog.Add(Q(dir.File("a.txt")));
    dialog.StartRun();
    ASSERT_EQ(prompts->messages.size(), 1);
    EXPECT_EQ(prompts->messages[0], "Could not start the exerciser: its thread could not be made");
    EXPECT_FALSE(dialog.IsRunning());
    EXPECT_TRUE(dialog.StartButton()->isVisible() && dialog.StartButton()->isEnabled());
}

TEST_F(FileExerciserTest, DroppedFilesBecomeTargetsUnlessShiftIsHeld) {
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(Q(m_dir.File("a.txt"))), QUrl::fromLocalFile(Q(m_dir.File("b.txt"))),
                   QUrl::fromLocalFile(Q(m_dir.File("a.txt")))});
    files.setText(QStringLiteral("all three names as one text"));
    QWidget* viewport = m_dialog.Targets()->viewport();
    for (const Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers()}) {
        QDragEnterEvent enter(QPoint(3, 3), Qt::CopyAction, &files, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(viewport, &enter);
        EXPECT_EQ(enter.isAccepted(), modifiers == Qt::NoModifier);
        QDropEvent drop(QPointF(3, 3), Qt::CopyAction, &files, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(viewport, &drop);
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(WaitUntil([this] { return m_dialog.Targets()->count() == 3; }));
    EXPECT_EQ(m_dialog.Tool().Targets().size(), 3u);
    EXPECT_EQ(m_dialog.Tool().Targets()[1].ToUtf8(), m_dir.File("b.txt"));
    EXPECT_TRUE(m_dialog.StartButton()->isEnabled());
}

TEST_F(FileExerciserTest, TheKernelWayIsTheDefaultAndRefusesOtherProgramsOpensUntilStop) {
    // A fresh dialog picks the kernel way where it works (the suite runs as root) and says so.
    CKSHamperingAgentDialog dialog(m_context);
    dialog.show();
    ASSERT_EQ(dialog.Way()->currentData().toString(), "kernel") << dialog.WayNote()->text().toStdString();
    EXPECT_TRUE(dialog.WayNote()->text().contains("opens of a held file fail (EPERM)"));
    EXPECT_FALSE(dialog.WayNote()->text().contains("not available"));
    dialog.FailReads()->setChecked(true);
    EXPECT_TRUE(dialog.WayNote()->text().contains("opens and reads"));
    dialog.Way()->setCurrentIndex(dialog.Way()->findData(QStringLiteral("lock")));
    EXPECT_FALSE(dialog.FailReads()->isEnabled());
    dialog.Way()->setCurrentIndex(dialog.Way()->findData(QStringLiteral("kernel")));

    const std::string path = m_dir.File("a.txt");
    dialog.Add(Q(path));
    dialog.Mode()->setCurrentIndex(dialog.Mode()->findText("Single file, fixed"));
    dialog.StartRun();
    ASSERT_TRUE(
        WaitUntil([&] { return dialog.Log()->toPlainText().contains("Opening: " + Q(path) + " (kernel)"); }));
    EXPECT_TRUE(dialog.Log()->toPlainText().contains(", kernel way: other programs' opens and reads"));
    const auto openError = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            ::_exit(fd < 0 ? errno : 0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WEXITSTATUS(status);
    };
    EXPECT_EQ(openError(), EPERM);
    dialog.StopRun();
    ASSERT_TRUE(WaitUntil([&] { return !dialog.IsRunning(); }));
    EXPECT_EQ(openError(), 0);
    EXPECT_TRUE(dialog.Log()->isVisible());
    EXPECT_TRUE(dialog.Log()->toPlainText().contains("Closing: " + Q(path)));

    // The permissions way: mode 000 while held, the mode back after.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    dialog.Way()->setCurrentIndex(dialog.Way()->findData(QStringLiteral("permissions")));
    dialog.StartRun();
    ASSERT_TRUE(WaitUntil([&] { return dialog.Log()->toPlainText().contains("(permissions)"); }));
    struct stat status {};
    ::stat(path.c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0u);
    dialog.StopRun();
    ASSERT_TRUE(WaitUntil([&] { return !dialog.IsRunning(); }));
    ::stat(path.c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    dialog.reject();
}

TEST(FileExerciserRestore, OpeningTheDialogPutsBackTheModeAKilledRunLeftAndShowsIt) {
    TempDir dir;
    const std::string path = dir.File("left.txt");
    WriteFileBytes(path, "left");
    ASSERT_EQ(::chmod(path.c_str(), 0612), 0);
    // A run that dies holding the file at mode 000.
    const pid_t run = ::fork();
    if (run == 0) {
        auto holder = std::make_shared<CPermissionsHolder>(CPermissionsJournal::UserJournal());
        int error = 0;
        auto held = holder->Hold(CKSString::FromUtf8(path), error);
        ::kill(::getpid(), SIGKILL);
        ::_exit(held ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(run, &status, 0), run);
    ASSERT_TRUE(WIFSIGNALED(status));
    struct stat mode {};
    ::stat(path.c_str(), &mode);
    ASSERT_EQ(mode.st_mode & 07777, 0u);

    PromptScript prompts;
    CAppContext context;
    CKSHamperingAgentDialog dialog(context);
    dialog.show();
    ::stat(path.c_str(), &mode);
    EXPECT_EQ(mode.st_mode & 07777, 0612u);
    EXPECT_TRUE(dialog.Log()->isVisible());
    EXPECT_EQ(dialog.Log()->toPlainText().toStdString(), "put back mode 0612 of " + path + "\n");
}
