#include "support/KSExclusiveFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

int OpenNoBlock(const std::string& path, int access) {
    // Non-blocking, so that a FIFO or a device cannot stall the thread that holds files.
    int fd;
    do {
        fd = ::open(path.c_str(), access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Errors after which opening for reading only is still worth a try.
bool WritingRefused(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EISDIR || error == ETXTBSY;
}

bool IsConflict(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EACCES;
}

} // namespace

bool CKSExclusiveFile::Open(const CKSString& path) {
    Close();
    m_error = 0;
    m_lockConflict = false;
    const std::string native = path.ToUtf8();
    if (!PathFitsPlatform(native)) {
        m_error = ENAMETOOLONG;
        return false;
    }
    CUniqueFd fd(OpenNoBlock(native, O_RDWR));
    bool writable = fd.IsValid();
    if (!fd.IsValid()) {
        if (!WritingRefused(errno)) {
            m_error = errno;
            return false;
        }
        fd.Reset(OpenNoBlock(native, O_RDONLY));
        if (!fd.IsValid()) {
            m_error = errno;
            return false;
        }
    }
    int result;
    do {
        result = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        m_error = errno;
        m_lockConflict = errno == EWOULDBLOCK;
        return false;
    }
    // A write lock needs the file open for writing; a read lock still keeps writers out.
    struct flock range {};
    range.l_type = writable ? F_WRLCK : F_RDLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;
    do {
        result = ::fcntl(fd.Get(), F_OFD_SETLK, &range);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        m_error = errno;
        m_lockConflict = IsConflict(errno);
        return false;
    }
    m_fd = std::move(fd);
    m_writable = writable;
    return true;
}

void CKSExclusiveFile::Close() {
    m_fd.Reset();
    m_writable = false;
}
