// The ways of holding a file against other programs, as another process meets them: the kernel
// way (the hold helper refusing opens and reads), the permissions way with its journal, and the
// helper's refusal of anything but well-formed requests from its parent.

#include "support/HoldProtocol.h"
#include "tests/common/TempDir.h"
#include "tools/HoldHelperProcess.h"
#include "tools/KernelDenyHolder.h"
#include "tools/PermissionsHolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs what in a forked child and answers its exit status: the errno it reports (0 for success),
// or -1 when it did not end within the limit (it is then killed).
template <typename What>
int InChild(What what, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(what());
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        ::usleep(1000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// errno of another process's open of the file for reading, 0 when it opened.
int OpenErrorElsewhere(const std::string& path) {
    return InChild([&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        return fd < 0 ? errno : 0;
    });
}

bool OpensHere(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0;
}

std::uint32_t ModeOf(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

} // namespace

TEST(KernelDenyTest, OtherProcessesOpensFailWhileHeldAndReadsTooWhenAsked) {
    TempDir dir;
    const std::string held = dir.File("held.bin");
    const std::string unrelated = dir.File("unrelated.bin");
    WriteFileBytes(held, "held");
    WriteFileBytes(unrelated, "free");
    ASSERT_TRUE(ProbeKernelDeny(HoldHelperPath()).available) << ProbeKernelDeny(HoldHelperPath()).reason;

    CKernelDenyHolder holder(HoldHelperPath(), false);
    int error = -1;
    std::unique_ptr<IHeldFile> hold = holder.Hold(CKSString::FromUtf8(held), error);
    ASSERT_TRUE(hold) << error;
    EXPECT_EQ(OpenErrorElsewhere(held), EPERM);
    EXPECT_EQ(OpenErrorElsewhere(unrelated), 0);
    // The exerciser itself still opens what it holds.
    EXPECT_TRUE(OpensHere(held));
    // The same file held twice stays refused until both holds are gone.
    std::unique_ptr<IHeldFile> second = holder.Hold(CKSString::FromUtf8(held), error);
    ASSERT_TRUE(second);
    hold.reset();
    EXPECT_EQ(OpenErrorElsewhere(held), EPERM);
    second.reset();
    EXPECT_EQ(OpenErrorElsewhere(held), 0);

    // With reads failing: a program that opened the file between two holds of a run (as rotate
    // mode makes them) cannot read it once it is held again. The kernel decides at an open
    // whether the descriptor's reads are checked: from the file's first hold of the run on.
    CKernelDenyHolder readsToo(HoldHelperPath(), true);
    hold = readsToo.Hold(CKSString::FromUtf8(held), error);
    ASSERT_TRUE(hold) << error;
    hold.reset();
    int ready[2];
    int go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int fd = ::open(held.c_str(), O_RDONLY);
        char buffer[4];
        const bool readFreely = ::pread(fd, buffer, sizeof buffer, 0) == 4;
        if (::write(ready[1], readFreely ? "r" : "x", 1) != 1 || ::read(go[0], buffer, 1) != 1) {
            ::_exit(100);
        }
        ::_exit(::pread(fd, buffer, sizeof buffer, 0) < 0 ? errno : 0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'r') << "a released file is read freely";
    hold = readsToo.Hold(CKSString::FromUtf8(held), error);
    ASSERT_TRUE(hold) << error;
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_EQ(WEXITSTATUS(status), EPERM);
    hold.reset();
    for (int fd : {ready[0], ready[1], go[0], go[1]}) {
        ::close(fd);
    }

    // A FIFO is refused with its reason rather than waited on.
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(holder.Hold(CKSString::FromUtf8(fifo), error));
    EXPECT_EQ(error, kHoldErrorNotRegular);
}

TEST(KernelDenyTest, TheHelperEndsAtTheFirstMalformedRequestAndTakesNoPathDescriptor) {
    TempDir dir;
    const std::string file = dir.File("file.bin");
    WriteFileBytes(file, "x");
    auto startHelper = [](int& channel) {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], holdprotocol::kChannelDescriptor);
        const std::string program = HoldHelperPath();
        char* argv[] = {const_cast<char*>("fakemill-hold"), nullptr};
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        channel = ends[0];
        holdprotocol::Reply hello{};
        EXPECT_EQ(::recv(channel, &hello, sizeof hello, 0), static_cast<ssize_t>(sizeof hello));
        EXPECT_EQ(hello.error, 0);
        return pid;
    };
    auto exitsSoon = [](pid_t pid) {
        for (int i = 0; i < 2000; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                return true;
            }
            ::usleep(1000);
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return false;
    };

    // A path descriptor proves no right to open the file: refused, and the helper goes on.
    int channel = -1;
    pid_t helper = startHelper(channel);
    const int pathOnly = ::open(file.c_str(), O_PATH | O_CLOEXEC);
    ASSERT_TRUE(holdprotocol::SendRequest(channel, {holdprotocol::kHold, 7, 0, 0}, pathOnly));
    holdprotocol::Reply reply{};
    ASSERT_EQ(::recv(channel, &reply, sizeof reply, 0), static_cast<ssize_t>(sizeof reply));
    EXPECT_EQ(reply.id, 7u);
    EXPECT_EQ(reply.error, EBADF);
    EXPECT_EQ(OpenErrorElsewhere(file), 0);
    ::close(pathOnly);
    // A hold without its descriptor, an unknown flag, a short record: each ends the helper.
    const holdprotocol::Request noDescriptor{holdprotocol::kHold, 8, 0, 0};
    ASSERT_EQ(::send(channel, &noDescriptor, sizeof noDescriptor, 0),
              static_cast<ssize_t>(sizeof noDescriptor));
    EXPECT_TRUE(exitsSoon(helper));
    ::close(channel);

    helper = startHelper(channel);
    const holdprotocol::Request unknownFlag{holdprotocol::kRelease, 1, 0x80, 0};
    ASSERT_EQ(::send(channel, &unknownFlag, sizeof unknownFlag, 0), static_cast<ssize_t>(sizeof unknownFlag));
    EXPECT_TRUE(exitsSoon(helper));
    ::close(channel);

    helper = startHelper(channel);
    ASSERT_EQ(::send(channel, "junk", 4, 0), 4);
    EXPECT_TRUE(exitsSoon(helper));
    ::close(channel);

    // Started by anything but its parent's socket, it says so and does nothing.
    pid_t alone = -1;
    char* argv[] = {const_cast<char*>("fakemill-hold"), nullptr};
    ASSERT_EQ(posix_spawn(&alone, HoldHelperPath().c_str(), nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(alone, &status, 0), alone);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

TEST(KernelDenyTest, AnotherUserWithTheCapableHelperHoldsTheirOwnFilesOnly) {
    // A copy of the helper with the capability (as the package documents it) in a folder every
    // user may enter, a file of that user's and a file of root's that the user may read.
    std::string shared = "/tmp/fkmcapable.XXXXXX";
    ASSERT_NE(::mkdtemp(shared.data()), nullptr);
    ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
    const std::string helper = shared + "/fakemill-hold";
    std::filesystem::copy_file(HoldHelperPath(), helper);
    ASSERT_EQ(std::system(("setcap cap_sys_admin+ep " + helper).c_str()), 0);
    const uid_t user = 4244;
    const std::string own = shared + "/own.bin";
    const std::string roots = shared + "/roots.bin";
    WriteFileBytes(own, "own");
    WriteFileBytes(roots, "root's");
    ASSERT_EQ(::chown(own.c_str(), user, user), 0);
    ASSERT_EQ(::chmod(roots.c_str(), 0644), 0);

    int ready[2];
    int done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(user, user, user) != 0 || ::setresuid(user, user, user) != 0) {
            ::_exit(99);
        }
        CKernelDenyHolder holder(helper, false);
        int ownError = 0;
        int rootsError = 0;
        auto held = holder.Hold(CKSString::FromUtf8(own), ownError);
        auto refused = holder.Hold(CKSString::FromUtf8(roots), rootsError);
        const unsigned char report = (held ? 1 : 0) | (!refused && rootsError == EPERM ? 2 : 0);
        char byte = 0;
        if (::write(ready[1], &report, 1) != 1 || ::read(done[0], &byte, 1) != 1) {
            ::_exit(98);
        }
        ::_exit(0);
    }
    unsigned char report = 0;
    ASSERT_EQ(::read(ready[0], &report, 1), 1);
    EXPECT_EQ(report, 3) << "1: the user's own file held, 2: root's file refused with EPERM";
    // Held against everybody else, root included; root's file is left alone.
    EXPECT_EQ(OpenErrorElsewhere(own), EPERM);
    EXPECT_EQ(OpenErrorElsewhere(roots), 0);
    ASSERT_EQ(::write(done[1], "d", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(OpenErrorElsewhere(own), 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]}) {
        ::close(fd);
    }
    std::filesystem::remove_all(shared);
}

TEST(PermissionsDenyTest, TheOwnersOtherProgramsGetEaccesAndTheExactModeComesBack) {
    TempDir dir;
    // The owner's programs must reach the file: a folder every user may pass through.
    std::string shared = "/tmp/fkmowned.XXXXXX";
    ASSERT_NE(::mkdtemp(shared.data()), nullptr);
    ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
    const std::string file = shared + "/owned.bin";
    WriteFileBytes(file, "owned");
    // A mode with every kind of bit, so that a lossy put-back shows.
    ASSERT_EQ(::chmod(file.c_str(), 02754), 0);
    const uid_t owner = 4242;
    ASSERT_EQ(::chown(file.c_str(), owner, owner), 0);
    ASSERT_EQ(::chmod(file.c_str(), 02754), 0);
    auto openAsOwner = [&] {
        return InChild([&] {
            if (::setresgid(owner, owner, owner) != 0 || ::setresuid(owner, owner, owner) != 0) {
                return 99;
            }
            const int fd = ::open(file.c_str(), O_RDONLY);
            return fd < 0 ? errno : 0;
        });
    };
    EXPECT_EQ(openAsOwner(), 0);
    const CPermissionsJournal journal(dir.File("data/exerciser-modes"));
    auto holder = std::make_shared<CPermissionsHolder>(journal);
    int error = -1;
    std::unique_ptr<IHeldFile> hold = holder->Hold(CKSString::FromUtf8(file), error);
    ASSERT_TRUE(hold) << error;
    EXPECT_EQ(ModeOf(file), 0u);
    EXPECT_EQ(openAsOwner(), EACCES);
    // Held twice at once: the second hold must not take 000 for the original.
    std::unique_ptr<IHeldFile> again = holder->Hold(CKSString::FromUtf8(file), error);
    ASSERT_TRUE(again);
    // The journal has the entry, on disk, while the file is held; nothing to restore for a live run.
    EXPECT_NE(ReadFileBytes(journal.Path()).find(" 2754 "), std::string::npos);
    EXPECT_TRUE(journal.Restore().empty());
    hold.reset();
    EXPECT_EQ(ModeOf(file), 0u);
    again.reset();
    EXPECT_EQ(ModeOf(file), 02754u);
    EXPECT_EQ(openAsOwner(), 0);
    EXPECT_EQ(ReadFileBytes(journal.Path()), "");

    // Another user's file is refused with the reason when this process is not root.
    const int refused = InChild([&] {
        if (::setresuid(owner + 1, owner + 1, owner + 1) != 0) {
            return 99;
        }
        int childError = 0;
        CPermissionsHolder(CPermissionsJournal(dir.File("other/journal")))
            .Hold(CKSString::FromUtf8(file), childError);
        return childError == kHoldErrorOtherOwner ? 0 : 1;
    });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(ModeOf(file), 02754u);
    std::filesystem::remove_all(shared);
}

TEST(PermissionsDenyTest, ARestoreAfterAKilledRunPutsBackTheModeAndLeavesAReplacedFileAlone) {
    TempDir dir;
    const std::string kept = dir.File("kept.bin");
    const std::string replaced = dir.File("replaced.bin");
    WriteFileBytes(kept, "k");
    WriteFileBytes(replaced, "r");
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    ASSERT_EQ(::chmod(replaced.c_str(), 0604), 0);
    const CPermissionsJournal journal(dir.File("data/exerciser-modes"));
    // A run that dies holding both files.
    const int died = InChild([&] {
        auto holder = std::make_shared<CPermissionsHolder>(journal);
        int error = 0;
        auto first = holder->Hold(CKSString::FromUtf8(kept), error);
        auto second = holder->Hold(CKSString::FromUtf8(replaced), error);
        if (!first || !second) {
            return 1;
        }
        ::kill(::getpid(), SIGKILL);
        return 2;
    });
    EXPECT_EQ(died, -1);
    EXPECT_EQ(ModeOf(kept), 0u);
    // Meanwhile the second file is replaced by a new one at mode 000.
    ASSERT_EQ(::unlink(replaced.c_str()), 0);
    WriteFileBytes(replaced, "new");
    ASSERT_EQ(::chmod(replaced.c_str(), 0), 0);

    const std::vector<std::string> told = journal.Restore();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], "put back mode 0640 of " + kept);
    EXPECT_EQ(told[1], "left alone " + replaced + ": it was replaced by another file since it was held");
    EXPECT_EQ(ModeOf(kept), 0640u);
    EXPECT_EQ(ModeOf(replaced), 0u);
    EXPECT_TRUE(journal.Restore().empty());
}
