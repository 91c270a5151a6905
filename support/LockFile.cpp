#include "support/LockFile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Whether the descriptor is still the file of that name: a holder removes the file before it
// lets the lock go, so a waiter may lock a file that has lost its name.
bool StillNamed(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

} // namespace

CLockFile::~CLockFile() {
    if (m_fd.IsValid()) {
        ::unlink(m_path.c_str());
    }
}

bool CLockFile::Lock(const std::string& path, std::uint32_t milliseconds, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        // Read and write: on network file systems an flock is a POSIX lock, which needs both.
        m_fd.Reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!m_fd.IsValid()) {
            error = "cannot lock " + path + ": " + std::strerror(errno);
            return false;
        }
        if (::flock(m_fd.Get(), LOCK_EX | LOCK_NB) == 0) {
            if (StillNamed(m_fd.Get(), path)) {
                m_path = path;
                return true;
            }
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "cannot lock " + path + ": " + std::strerror(errno);
            m_fd.Reset();
            return false;
        }
        m_fd.Reset();
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "cannot lock " + path + ": another process holds it";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
