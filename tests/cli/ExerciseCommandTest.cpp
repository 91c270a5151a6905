#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRun.h"
#include "tests/common/LockProbe.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

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
}
