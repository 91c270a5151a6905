#include "engine/SeededBatchFiles.h"

#include "support/PosixFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace {

std::string Key(const CKSString& path) {
    return std::filesystem::path(path.ToUtf8()).lexically_normal().string();
}

// Reads up to count bytes, as many as the file gives; -1 on failure.
long ReadFully(int fd, unsigned char* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const long n = ReadFromDescriptor(fd, buffer + got, count - got);
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

} // namespace

void CSeededBatchFiles::LoadEarlierManifest(const CKSString& jsonPath) {
    QFile file(jsonPath.ToQString());
    const QFileInfo info(file);
    // Only a regular file of ours: a link or a device in its place is no manifest.
    if (info.isSymLink() || !info.isFile() || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QString folder = info.absolutePath();
    for (const QJsonValue& value : document.object().value(QStringLiteral("files")).toArray()) {
        const QJsonObject entry = value.toObject();
        const QString listed = entry.value(QStringLiteral("path")).toString();
        if (listed.isEmpty()) {
            continue;
        }
        const QString path = QFileInfo(listed).isAbsolute() ? listed : folder + QLatin1Char('/') + listed;
        m_earlier[Key(CKSString::FromQString(path))] =
            CListing{entry.value(QStringLiteral("definition")).toString().toStdString(),
                     static_cast<std::uint32_t>(entry.value(QStringLiteral("index")).toInteger())};
    }
}

CSeededBatchFiles::EListed CSeededBatchFiles::Listed(const CKSString& path, const CKSString& definition,
                                                     std::uint32_t index) const {
    const auto found = m_earlier.find(Key(path));
    if (found == m_earlier.end()) {
        return EListed::No;
    }
    return found->second.definition == definition.ToUtf8() && found->second.index == index
               ? EListed::ThisFile
               : EListed::AnotherFile;
}

bool CSeededBatchFiles::Claim(const CKSString& path) {
    std::lock_guard lock(m_mutex);
    return m_claimed.insert(Key(path)).second;
}

bool CSeededBatchFiles::IsClaimed(const CKSString& path) const {
    std::lock_guard lock(m_mutex);
    return m_claimed.count(Key(path)) > 0;
}

CSeededBatchFiles::EMatch CSeededBatchFiles::Compare(const CKSString& existing,
                                                     const CKSString& regenerated) {
    CUniqueFd found(::open(existing.ToUtf8().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    CUniqueFd made(::open(regenerated.ToUtf8().c_str(), O_RDONLY | O_CLOEXEC));
    struct stat foundInfo {};
    struct stat madeInfo {};
    if (!found.IsValid() || !made.IsValid() || ::fstat(found.Get(), &foundInfo) != 0 ||
        ::fstat(made.Get(), &madeInfo) != 0 || !S_ISREG(foundInfo.st_mode) ||
        foundInfo.st_size > madeInfo.st_size) {
        return EMatch::Different;
    }
    constexpr std::size_t kPiece = 1 << 20;
    const auto a = std::make_unique_for_overwrite<unsigned char[]>(kPiece);
    const auto b = std::make_unique_for_overwrite<unsigned char[]>(kPiece);
    for (;;) {
        const long n = ReadFully(found.Get(), a.get(), kPiece);
        if (n <= 0) {
            if (n < 0) {
                return EMatch::Different;
            }
            break;
        }
        if (ReadFully(made.Get(), b.get(), static_cast<std::size_t>(n)) != n ||
            std::memcmp(a.get(), b.get(), static_cast<std::size_t>(n)) != 0) {
            return EMatch::Different;
        }
    }
    return foundInfo.st_size == madeInfo.st_size ? EMatch::Same : EMatch::CutShort;
}
