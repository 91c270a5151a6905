#include "tools/BinaryFileLoader.h"

#include <cerrno>

CBinaryFileLoader::CBinaryFileLoader(const CKSManualResetEvent* watched) : CBinaryLoader(watched) {}

// The thread calls ReadAt, so it must end before this object's members go.
CBinaryFileLoader::~CBinaryFileLoader() {
    StopAndJoin();
}

bool CBinaryFileLoader::Open() {
    if (m_file.IsOpen()) {
        return true;
    }
    if (!m_file.SetPathAndOpen(m_path)) {
        m_lastError = static_cast<int>(m_file.GetLastError());
        return false;
    }
    m_size.store(m_file.GetSize(), std::memory_order_release);
    return true;
}

bool CBinaryFileLoader::ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count) {
    if (!m_file.Seek(offset)) {
        m_lastError = static_cast<int>(m_file.GetLastError());
        return false;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        errno = 0;
        const std::size_t n = m_file.Read(bytes + done, count - done);
        if (n == 0) {
            m_lastError = errno != 0 ? errno : ENODATA;
            return false;
        }
        done += n;
    }
    return true;
}
