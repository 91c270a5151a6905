#pragma once
// Thin helpers over POSIX file descriptors, shared by the file classes.

#include "support/KSString.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

// The longest path the platform accepts, in bytes of UTF-8, without the terminator.
inline constexpr std::size_t kMaxPathBytes = PATH_MAX - 1;

// Whether the path can be handed to the operating system whole. Longer paths are refused, never
// cut and then used.
bool PathFitsPlatform(std::string_view nativePath);
inline bool PathFitsPlatform(const CKSString& path) {
    return PathFitsPlatform(path.ToUtf8());
}

// Writes every byte, retrying after interruptions and partial writes. On failure answers false
// with errno set; bytesWritten (when given) says how far it got.
bool WriteAllToDescriptor(int fd, const void* data, std::size_t count, std::size_t* bytesWritten = nullptr);
// The same at a given offset of the file (pwrite), leaving the descriptor's own position alone.
bool WriteAllAt(int fd, const void* data, std::size_t count, std::uint64_t offset,
                std::size_t* bytesWritten = nullptr);

// Reads up to count bytes, retrying after interruptions; -1 on error.
long ReadFromDescriptor(int fd, void* buffer, std::size_t count);

// Why the path is no file whose bytes can be read to an end: "it is a folder", "it is a FIFO"
// (whose open waits for a writer and whose bytes never end), "it is not a regular file" (a
// character device such as /dev/zero, a socket). Empty for a regular file, a block device, or a
// path that cannot be looked at (the open that follows says why).
std::string WhyNotAFile(const std::string& path);

// Owns a descriptor; move-only; closing never throws.
class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept;
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    ~CUniqueFd() { Reset(); }

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    int Release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the held descriptor; answers whether the close succeeded (true when none was held).
    bool Reset(int fd = -1) noexcept;

private:
    int m_fd = -1;
};
