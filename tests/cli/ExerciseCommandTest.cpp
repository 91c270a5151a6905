#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRun.h"
#include "tests/common/LockProbe.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string NextLine(ChildProcess& child) {
    std::string line;
    EXPECT_TRUE(child.ReadLine(line)) << "no line from the exercising process";
    return line;
}

} // namespace

TEST(ExerciseCommand, AnotherProcessCannotLockTheHeldFileUntilTheTimeIsUp) {
    TempDir dir;
    const std::string file = dir.File("target.txt");
    WriteFileBytes(file, "target");
    ChildProcess child({FAKEMILL_CLI_PATH, "exercise", "--deny", "lock", "--seconds", "2", file});
    ASSERT_EQ(NextLine(child), "Opening: " + file + " (lock)");
    EXPECT_FALSE(ProbeLocks(file).AnyTaken());
    EXPECT_EQ(NextLine(child), "Closing: " + file);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(ProbeLocks(file).AllTaken());
}

TEST(ExerciseCommand, KillingTheHolderReleasesTheLocks) {
    TempDir dir;
    const std::string file = dir.File("target.txt");
    WriteFileBytes(file, "target");
    ChildProcess child({FAKEMILL_CLI_PATH, "exercise", "--deny", "lock", "--mode", "fixed", file});
    ASSERT_EQ(NextLine(child), "Opening: " + file + " (lock)");
    EXPECT_FALSE(ProbeLocks(file).AnyTaken());
    child.Signal(SIGKILL);
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
    EXPECT_TRUE(ProbeLocks(file).AllTaken());
}

TEST(ExerciseCommand, CtrlCAndTerminationReleaseEverything) {
    TempDir dir;
    const std::string first = dir.File("first.txt");
    const std::string second = dir.File("second.txt");
    WriteFileBytes(first, "1");
    WriteFileBytes(second, "2");
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 128 + SIGTERM}}) {
        ChildProcess child(
            {FAKEMILL_CLI_PATH, "exercise", "--deny", "lock", "--mode", "rotate", first, second});
        ASSERT_EQ(NextLine(child), "Opening: " + first + " (lock)");
        EXPECT_FALSE(ProbeLocks(first).AnyTaken());
        EXPECT_TRUE(ProbeLocks(second).AllTaken());
        child.Signal(signal);
        // The 3,001 ms hold is cut short.
        EXPECT_EQ(NextLine(child), "Closing: " + first);
        EXPECT_EQ(child.Wait(std::chrono::milliseconds(2000)), status);
        EXPECT_TRUE(ProbeLocks(first).AllTaken());
    }
}

TEST(ExerciseCommand, NamesTheFilesItCannotHold) {
    TempDir dir;
    const std::string file = dir.File("target.txt");
    WriteFileBytes(file, "target");
    const std::string missing = dir.File("missing.txt");
    const CliRun run = RunCli({"exercise", "--deny", "lock", "--seconds", "0", file, missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "Opening: " + file + " (lock)\nOpening: " + missing + " (lock)\nClosing: " + file + "\n");
    EXPECT_NE(run.err.find("cannot hold '" + missing + "': No such file or directory"), std::string::npos)
        << run.err;
}

TEST(ExerciseCommand, AFileItMayNotOpenIsAPermissionProblemNotALock) {
    TempDir dir;
    const std::string file = dir.File("private.txt");
    WriteFileBytes(file, "private");
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    // The superuser may open anything: the command runs as nobody in a child process then.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) {
            ::_exit(3);
        }
        const CliRun run = RunCli({"exercise", "--deny", "lock", "--seconds", "0", file});
        const bool named =
            run.err.find("cannot hold '" + file + "': Permission denied") != std::string::npos &&
            run.err.find("holds a lock") == std::string::npos;
        if (!named) {
            std::fprintf(stderr, "%s", run.err.c_str());
        }
        ::_exit(run.status == 1 && named ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ExerciseCommand, UsageErrors) {
    EXPECT_EQ(RunCli({"exercise"}).status, 2);
    EXPECT_EQ(RunCli({"exercise", "--mode", "sometimes", "a"}).status, 2);
    EXPECT_EQ(RunCli({"exercise", "--seconds", "soon", "a"}).status, 2);
    EXPECT_EQ(RunCli({"exercise", "--seconds", "-1", "a"}).status, 2);
    EXPECT_EQ(RunCli({"exercise", "--deny", "politely", "a"}).status, 2);
    EXPECT_EQ(RunCli({"exercise", "--deny", "lock", "--fail-reads", "a"}).status, 2);
}

TEST(ExerciseCommand, KillingAKernelHolderFreesTheFileWithinASecondAndLeavesNobodyWaiting) {
    TempDir dir;
    const std::string file = dir.File("target.txt");
    WriteFileBytes(file, "target");
    ChildProcess child({FAKEMILL_CLI_PATH, "exercise", "--mode", "fixed", file});
    // The kernel way is the default where it works (the suite runs as root).
    ASSERT_EQ(NextLine(child), "Opening: " + file + " (kernel)");
    // Programs keep trying to open the file while the holder is killed: each open is answered at
    // once (refused), and one succeeds soon after the kill.
    std::vector<pid_t> openers;
    for (int i = 0; i < 3; ++i) {
        const pid_t opener = ::fork();
        if (opener == 0) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            bool refused = false;
            while (std::chrono::steady_clock::now() < giveUp) {
                const int fd = ::open(file.c_str(), O_RDONLY);
                if (fd >= 0) {
                    ::_exit(refused ? 0 : 3);
                }
                refused = refused || errno == EPERM;
            }
            ::_exit(1);
        }
        openers.push_back(opener);
    }
    ::usleep(100 * 1000);
    const auto killed = std::chrono::steady_clock::now();
    child.Signal(SIGKILL);
    for (const pid_t opener : openers) {
        int status = 0;
        ASSERT_EQ(::waitpid(opener, &status, 0), opener);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(1));
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
}

TEST(ExerciseCommand, RestorePutsBackTheExactModeAKilledPermissionsRunLeft) {
    TempDir dir;
    const std::string file = dir.File("target.txt");
    WriteFileBytes(file, "target");
    ASSERT_EQ(::chmod(file.c_str(), 04751), 0);
    ChildProcess child({FAKEMILL_CLI_PATH, "exercise", "--deny", "permissions", file});
    ASSERT_EQ(NextLine(child), "Opening: " + file + " (permissions)");
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0u);
    child.Signal(SIGKILL);
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0u);

    const CliRun restored = RunCli({"exercise", "--restore"});
    EXPECT_EQ(restored.status, 0);
    EXPECT_EQ(restored.out, "put back mode 4751 of " + file + "\n");
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 04751u);
    EXPECT_EQ(RunCli({"exercise", "--restore"}).out, "no file modes to put back\n");
}

TEST(ExerciseCommand, WithoutTheKernelWayItSaysWhyAndHoldsWithLocksUnlessTheKernelWayWasAskedFor) {
    TempDir dir;
    const std::string file = dir.File("target.txt");
    WriteFileBytes(file, "target");
    const std::string helper = std::getenv("FAKEMILL_HOLD_HELPER");
    const std::string missing = dir.File("no-such-helper");
    ::setenv("FAKEMILL_HOLD_HELPER", missing.c_str(), 1);
    const CliRun fallback = RunCli({"exercise", "--seconds", "0", file});
    const CliRun asked = RunCli({"exercise", "--deny", "kernel", "--seconds", "0", file});
    ::setenv("FAKEMILL_HOLD_HELPER", helper.c_str(), 1);
    EXPECT_EQ(fallback.status, 0);
    EXPECT_EQ(fallback.out, "Opening: " + file + " (lock)\nClosing: " + file + "\n");
    EXPECT_NE(
        fallback.err.find("the kernel way is not available (the helper " + missing + " is not installed"),
        std::string::npos)
        << fallback.err;
    EXPECT_NE(fallback.err.find("holding the lock way"), std::string::npos) << fallback.err;
    EXPECT_EQ(asked.status, 1);
    EXPECT_EQ(asked.out, "");
    EXPECT_NE(asked.err.find("the kernel way is not available: the helper " + missing), std::string::npos)
        << asked.err;
}
