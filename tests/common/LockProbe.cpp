#include "tests/common/LockProbe.h"

#include "support/PosixFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

bool TryFcntl(const std::string& path, int command, short type) {
    CUniqueFd fd(::open(path.c_str(), (type == F_WRLCK ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    if (!fd.IsValid()) {
        return false;
    }
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return ::fcntl(fd.Get(), command, &range) == 0;
}

} // namespace

LockProbe ProbeLocks(const std::string& path, bool canWrite) {
    LockProbe probe;
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    probe.flockTaken = fd.IsValid() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
    fd.Reset();
    probe.ofdWriteTaken = canWrite && TryFcntl(path, F_OFD_SETLK, F_WRLCK);
    probe.ofdReadTaken = TryFcntl(path, F_OFD_SETLK, F_RDLCK);
    probe.posixWriteTaken = canWrite && TryFcntl(path, F_SETLK, F_WRLCK);
    return probe;
}
