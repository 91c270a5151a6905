#include "support/PosixFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <unistd.h>

bool PathFitsPlatform(std::string_view nativePath) {
    return nativePath.size() <= kMaxPathBytes;
}

namespace {

// Both writers: write(fd, ...) or pwrite(fd, ..., offset + done).
template <typename WriteSome>
bool WriteAll(std::size_t count, std::size_t* bytesWritten, WriteSome writeSome) {
    std::size_t done = 0;
    bool ok = true;
    while (done < count) {
        const ssize_t n = writeSome(done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        if (n == 0) {
            errno = EIO;
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = done;
    }
    return ok;
}

} // namespace

bool WriteAllToDescriptor(int fd, const void* data, std::size_t count, std::size_t* bytesWritten) {
    const auto* bytes = static_cast<const char*>(data);
    return WriteAll(count, bytesWritten,
                    [&](std::size_t done) { return ::write(fd, bytes + done, count - done); });
}

bool WriteAllAt(int fd, const void* data, std::size_t count, std::uint64_t offset,
                std::size_t* bytesWritten) {
    const auto* bytes = static_cast<const char*>(data);
    return WriteAll(count, bytesWritten, [&](std::size_t done) {
        return ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
    });
}

long ReadFromDescriptor(int fd, void* buffer, std::size_t count) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(n);
    }
}

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

std::string WhyNotAFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) {
        return {};
    }
    return S_ISDIR(info.st_mode)    ? "it is a folder"
           : S_ISFIFO(info.st_mode) ? "it is a FIFO"
                                    : "it is not a regular file";
}

bool CUniqueFd::Reset(int fd) noexcept {
    bool ok = true;
    if (m_fd >= 0) {
        ok = ::close(m_fd) == 0;
    }
    m_fd = fd;
    return ok;
}
