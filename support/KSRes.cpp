#include "support/KSRes.h"

#include "support/PosixFile.h"

#include <QResource>
#include <QString>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CKSRes::Load(int resourceId) {
    for (const char* type : {"FILEDATA", "binary"}) {
        QResource resource(QStringLiteral(":/%1/%2").arg(QLatin1String(type)).arg(resourceId));
        if (!resource.isValid() || resource.size() == 0) {
            continue;
        }
        if (resource.compressionAlgorithm() == QResource::NoCompression) {
            m_storage.clear();
            m_bytes = std::span(reinterpret_cast<const std::byte*>(resource.data()),
                                static_cast<std::size_t>(resource.size()));
        } else {
            m_storage = resource.uncompressedData();
            m_bytes = std::span(reinterpret_cast<const std::byte*>(m_storage.constData()),
                                static_cast<std::size_t>(m_storage.size()));
        }
        return !m_bytes.empty();
    }
    m_bytes = {};
    return false;
}

bool CKSResToFile::WritePiece(int fd, const std::byte* data, std::size_t count) {
    return WriteAllToDescriptor(fd, data, count);
}

bool CKSResToFile::WriteToFile(const CKSString& path) {
    const std::string target = path.ToUtf8();
    const std::string temporary = target + ".XXXXXX";
    if (!PathFitsPlatform(temporary)) {
        return false;
    }
    std::string pattern = temporary;
    CUniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.IsValid()) {
        return false;
    }
    ::fchmod(fd.Get(), 0644);
    bool ok = true;
    const std::span<const std::byte> bytes = Bytes();
    for (std::size_t done = 0; ok && done < bytes.size(); done += kMaxPiece) {
        const std::size_t piece = std::min(kMaxPiece, bytes.size() - done);
        ok = WritePiece(fd.Get(), bytes.data() + done, piece);
    }
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Reset() && ok;
    if (ok && ::rename(pattern.c_str(), target.c_str()) != 0) {
        ok = false;
    }
    if (!ok) {
        ::unlink(pattern.c_str());
    }
    return ok;
}
