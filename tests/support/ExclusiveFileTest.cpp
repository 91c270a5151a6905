#include "support/KSExclusiveFile.h"
#include "tests/common/LockProbe.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes a file refuse writing even to root (the immutable attribute), for the time of a test.
class Immutable {
public:
    explicit Immutable(const std::string& path) : m_path(path) { m_set = Change(true); }
    ~Immutable() {
        if (m_set) {
            Change(false);
        }
    }
    bool IsSet() const { return m_set; }

private:
    bool Change(bool on) {
        CUniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
        int flags = 0;
        if (!fd.IsValid() || ::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) != 0) {
            return false;
        }
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        return ::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags) == 0;
    }
    std::string m_path;
    bool m_set = false;
};

} // namespace

TEST(ExclusiveFile, KeepsOutEveryKindOfLockUntilClosed) {
    TempDir dir;
    const std::string path = dir.File("held.bin");
    WriteFileBytes(path, "held");
    CKSExclusiveFile held;
    ASSERT_TRUE(held.Open(CKSString::FromUtf8(path)));
    EXPECT_TRUE(held.IsWritable());
    const LockProbe during = ProbeLocks(path);
    EXPECT_FALSE(during.flockTaken);
    EXPECT_FALSE(during.ofdWriteTaken);
    EXPECT_FALSE(during.ofdReadTaken);
    EXPECT_FALSE(during.posixWriteTaken);

    CKSExclusiveFile second;
    EXPECT_FALSE(second.Open(CKSString::FromUtf8(path)));
    EXPECT_TRUE(second.IsLockConflict());
    EXPECT_FALSE(second.IsOpen());

    held.Close();
    const LockProbe after = ProbeLocks(path);
    EXPECT_TRUE(after.flockTaken);
    EXPECT_TRUE(after.ofdWriteTaken);
    EXPECT_TRUE(after.ofdReadTaken);
    EXPECT_TRUE(after.posixWriteTaken);
    EXPECT_TRUE(second.Open(CKSString::FromUtf8(path)));
}

TEST(ExclusiveFile, AnOfdLockOfAnotherHolderRefusesTheHold) {
    TempDir dir;
    const std::string path = dir.File("taken.bin");
    WriteFileBytes(path, "taken");
    CUniqueFd other(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct flock range {};
    range.l_type = F_RDLCK;
    range.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(other.Get(), F_OFD_SETLK, &range), 0);
    CKSExclusiveFile held;
    EXPECT_FALSE(held.Open(CKSString::FromUtf8(path)));
    EXPECT_TRUE(held.IsLockConflict());
    // The flock it took on the way is gone with the failed open.
    other.Reset();
    EXPECT_TRUE(held.Open(CKSString::FromUtf8(path)));
}

TEST(ExclusiveFile, AFileThatMayOnlyBeReadIsHeldWithAReadLock) {
    TempDir dir;
    const std::string path = dir.File("readonly.bin");
    WriteFileBytes(path, "read only");
    ::chmod(path.c_str(), 0444);
    Immutable immutable(path);
    if (::geteuid() == 0 && !immutable.IsSet()) {
        GTEST_SKIP() << "root may write any file, and the immutable attribute is not available here";
    }
    CKSExclusiveFile held;
    ASSERT_TRUE(held.Open(CKSString::FromUtf8(path)));
    EXPECT_FALSE(held.IsWritable());
    const LockProbe during = ProbeLocks(path, false);
    EXPECT_FALSE(during.flockTaken);
    // A read lock lets other readers lock; writers cannot even open the file.
    EXPECT_TRUE(during.ofdReadTaken);
}

TEST(ExclusiveFile, RefusesPathsThePlatformCannotTakeAndMissingFiles) {
    TempDir dir;
    CKSExclusiveFile held;
    EXPECT_FALSE(held.Open(CKSString::FromUtf8(dir.File(std::string(kMaxPathBytes, 'y')))));
    EXPECT_EQ(held.GetLastError(), ENAMETOOLONG);
    EXPECT_FALSE(held.Open(CKSString::FromUtf8(dir.File("missing"))));
    EXPECT_EQ(held.GetLastError(), ENOENT);
    EXPECT_FALSE(held.IsLockConflict());
}
