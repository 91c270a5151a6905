#include "support/KSFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CKSFile::Open(const CKSString& path, int flags) {
    Close();
    m_path = path;
    const std::string native = path.ToUtf8();
    if (!PathFitsPlatform(native)) {
        m_lastError = ENAMETOOLONG;
        return false;
    }
    m_fd.Reset(::open(native.c_str(), flags | O_CLOEXEC, 0644));
    m_lastError = m_fd.IsValid() ? 0 : static_cast<std::uint32_t>(errno);
    return m_fd.IsValid();
}

bool CKSFile::SetPathAndOpen(const CKSString& path) {
    return Open(path, O_RDONLY);
}

bool CKSFile::OpenForAppend(const CKSString& path) {
    return Open(path, O_WRONLY | O_APPEND | O_CREAT);
}

std::size_t CKSFile::Read(void* buffer, std::size_t count) {
    if (!IsOpen()) {
        return 0;
    }
    const long n = ReadFromDescriptor(m_fd.Get(), buffer, count);
    if (n < 0) {
        m_lastError = static_cast<std::uint32_t>(errno);
        return 0;
    }
    return static_cast<std::size_t>(n);
}

bool CKSFile::Seek(std::uint64_t position) {
    if (!IsOpen() || position > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    if (::lseek(m_fd.Get(), static_cast<off_t>(position), SEEK_SET) < 0) {
        m_lastError = static_cast<std::uint32_t>(errno);
        return false;
    }
    return true;
}

std::uint64_t CKSFile::GetSize() const {
    struct stat info {};
    if (!IsOpen() || ::fstat(m_fd.Get(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::uint32_t CKSFile::WriteTextResult(std::u16string_view text) {
    return WriteBytesResult(Utf16ToUtf8(text));
}

std::uint32_t CKSFile::WriteBytesResult(std::string_view bytes) {
    if (!IsOpen()) {
        m_lastError = EBADF;
        return m_lastError;
    }
    std::size_t written = 0;
    if (!WriteAllToDescriptor(m_fd.Get(), bytes.data(), bytes.size(), &written)) {
        m_lastError = static_cast<std::uint32_t>(errno);
        return written > 0 ? kErrorShortWrite : m_lastError;
    }
    return 0;
}

void CKSFile::Close() {
    m_fd.Reset();
}
