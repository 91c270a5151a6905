#include "engine/KSManifestVerifier.h"

#include "engine/KSBatchManifest.h"
#include "engine/KSFileDigest.h"
#include "support/ChecksumLines.h"
#include "support/PosixFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string FileName(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string Where(const std::string& folder, const std::string& listed) {
    const fs::path path(listed);
    return path.is_absolute() ? listed : (fs::path(folder) / path).string();
}

std::string Canonical(const std::string& path) {
    std::error_code ignored;
    const fs::path canonical = fs::weakly_canonical(fs::path(path), ignored);
    return ignored ? path : canonical.string();
}

// Opens a manifest without waiting on a FIFO and refuses anything but a regular file: a device
// such as /dev/zero would never end.
CUniqueFd OpenRegularFile(const std::string& path, std::string& error) {
    CUniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file.IsValid() || ::fstat(file.Get(), &info) != 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return CUniqueFd();
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return CUniqueFd();
    }
    ::fcntl(file.Get(), F_SETFL, ::fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
    return file;
}

bool ReadAll(int fd, std::string& bytes) {
    char buffer[64 * 1024];
    for (;;) {
        const long n = ReadFromDescriptor(fd, buffer, sizeof buffer);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Whether the file starts (after blanks) with '{', read without moving past what was looked at.
bool LooksLikeJson(int fd) {
    char buffer[256];
    const long n = ::pread(fd, buffer, sizeof buffer, 0);
    for (long i = 0; i < n; ++i) {
        if (!std::isspace(static_cast<unsigned char>(buffer[i]))) {
            return buffer[i] == '{';
        }
    }
    return false;
}

// The bytes a damaged file's record says were written where, when it says so.
std::vector<std::pair<std::uint64_t, std::string>> RecordedDamage(const QJsonObject& file) {
    std::vector<std::pair<std::uint64_t, std::string>> damage;
    const QJsonArray changes =
        file.value(QStringLiteral("damage")).toObject().value(QStringLiteral("changes")).toArray();
    for (const QJsonValue& value : changes) {
        const QJsonObject change = value.toObject();
        const QByteArray written =
            QByteArray::fromHex(change.value(QStringLiteral("written")).toString().toLatin1());
        const double offset = change.value(QStringLiteral("offset")).toDouble(-1);
        if (!written.isEmpty() && offset >= 0) {
            damage.emplace_back(static_cast<std::uint64_t>(offset),
                                std::string(written.constData(), static_cast<std::size_t>(written.size())));
        }
    }
    return damage;
}

// The first recorded offset whose bytes the file does not hold; none when all are there.
std::optional<std::uint64_t>
DamageMismatch(const std::string& where, const std::vector<std::pair<std::uint64_t, std::string>>& damage) {
    if (damage.empty()) {
        return std::nullopt;
    }
    const CUniqueFd file(::open(where.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsValid()) {
        return damage.front().first;
    }
    std::string found;
    for (const auto& [offset, bytes] : damage) {
        found.assign(bytes.size(), '\0');
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
            ::pread(file.Get(), found.data(), found.size(), static_cast<off_t>(offset)) !=
                static_cast<ssize_t>(found.size()) ||
            found != bytes) {
            return offset;
        }
    }
    return std::nullopt;
}

} // namespace

bool CKSManifestVerifier::Load(const CKSString& target, std::string& error) {
    const std::string path = target.ToUtf8();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = "no such file or folder: " + path;
        return false;
    }
    bool loaded = false;
    if (S_ISDIR(info.st_mode)) {
        m_wholeFolder = true;
        m_batchFolder = Canonical(path);
        loaded = LoadFolder(m_batchFolder, error);
    } else {
        m_batchFolder = Canonical(fs::path(path).parent_path().string());
        loaded = LoadFile(path, error);
    }
    if (loaded && m_entries.empty()) {
        // sha256sum -c fails a list without a single line; so does an empty batch here.
        error = m_wholeFolder ? "the manifests in " + path + " list no file" : path + " lists no file";
        return false;
    }
    return loaded;
}

bool CKSManifestVerifier::LoadFolder(const std::string& folder, std::string& error) {
    std::vector<std::string> names;
    std::error_code failure;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, failure)) {
        const std::string name = entry.path().filename().string();
        if (CKSBatchManifest::IsManifestName(name) && name.front() != '.') {
            names.push_back(name);
        }
    }
    if (failure) {
        error = "cannot read the folder " + folder + ": " + failure.message();
        return false;
    }
    if (names.empty()) {
        error = "no manifest in " + folder;
        return false;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        CPairedList paired;
        if (!LoadFile((fs::path(folder) / name).string(), error, &paired)) {
            return false;
        }
        if (paired.name.empty()) {
            continue;
        }
        // The record names the list written with it: another list there (tampered with, or left
        // by another batch) is a disagreement even when no file line contradicts the record.
        std::uint64_t size = 0;
        std::string sha256;
        const std::string listPath = (fs::path(folder) / paired.name).string();
        if (fs::is_regular_file(listPath) && HashFileSha256(CKSString::FromUtf8(listPath), size, sha256) &&
            sha256 != paired.sha256) {
            m_disagreements.push_back(paired.name + " is not the checksum list " + name +
                                      " was written with");
        }
    }
    return true;
}

bool CKSManifestVerifier::LoadFile(const std::string& path, std::string& error, CPairedList* paired) {
    const CUniqueFd file = OpenRegularFile(path, error);
    if (!file.IsValid()) {
        return false;
    }
    if (!LooksLikeJson(file.Get())) {
        return LoadChecksums(path, file.Get(), error);
    }
    std::string bytes;
    if (!ReadAll(file.Get(), bytes)) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    return LoadJson(path, bytes, error, paired);
}

bool CKSManifestVerifier::LoadJson(const std::string& path, const std::string& bytes, std::string& error,
                                   CPairedList* paired) {
    QJsonParseError parseError{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &parseError);
    const QJsonObject root = document.object();
    const QJsonValue files = root.value(QStringLiteral("files"));
    if (document.isNull() || !files.isArray()) {
        error = path + " is not a manifest: " +
                (document.isNull() ? parseError.errorString().toStdString() : std::string("no file list"));
        return false;
    }
    m_stopped = m_stopped || root.value(QStringLiteral("stopped")).toBool();
    const QJsonObject checksums = root.value(QStringLiteral("checksums")).toObject();
    const std::string list = checksums.value(QStringLiteral("file")).toString().toStdString();
    // Only a name beside the record, never a path elsewhere.
    if (paired != nullptr && !list.empty() && list.find('/') == std::string::npos) {
        paired->name = list;
        paired->sha256 = checksums.value(QStringLiteral("sha256")).toString().toLower().toStdString();
    }
    const std::string folder = fs::path(path).parent_path().string();
    for (const QJsonValue& value : files.toArray()) {
        const QJsonObject file = value.toObject();
        const std::string listed = file.value(QStringLiteral("path")).toString().toStdString();
        const std::string sha256 = file.value(QStringLiteral("sha256")).toString().toLower().toStdString();
        const double size = file.value(QStringLiteral("size")).toDouble(-1);
        if (listed.empty() || sha256.size() != 64 || size < 0) {
            error = path + " lists a file without path, size or SHA-256";
            return false;
        }
        AddEntry({listed, Where(folder, listed), static_cast<std::uint64_t>(size), sha256, FileName(path),
                  RecordedDamage(file)});
    }
    return true;
}

bool CKSManifestVerifier::LoadChecksums(const std::string& path, int fd, std::string& error) {
    const std::string folder = fs::path(path).parent_path().string();
    CChecksumLineReader reader(fd);
    bool wrongLine = false;
    const CChecksumLineReader::EResult result = reader.ReadAll([&](bool parsed, CChecksumLine& line) {
        if (!parsed || line.digits.size() != 64) {
            wrongLine = true;
            return false;
        }
        std::transform(line.digits.begin(), line.digits.end(), line.digits.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        AddEntry({line.path, Where(folder, line.path), std::nullopt, line.digits, FileName(path), {}});
        return true;
    });
    if (result == CChecksumLineReader::EResult::TooLong) {
        error = path + ": line " + std::to_string(reader.LineNumber()) + " is longer than " +
                std::to_string(CChecksumLineReader::kMaxLineBytes / 1024) + " KiB";
        return false;
    }
    if (result == CChecksumLineReader::EResult::Failed) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (wrongLine) {
        error = path + ": line " + std::to_string(reader.LineNumber()) + " is not a SHA-256 line";
        return false;
    }
    return true;
}

void CKSManifestVerifier::AddEntry(CVerifyEntry entry) {
    const auto [found, added] =
        m_entryByPath.emplace(fs::path(entry.where).lexically_normal().string(), m_entries.size());
    if (added) {
        m_entries.push_back(std::move(entry));
        return;
    }
    CVerifyEntry* const same = &m_entries[found->second];
    const bool sizesDiffer = same->size && entry.size && *same->size != *entry.size;
    if (same->sha256 != entry.sha256 || sizesDiffer) {
        m_disagreements.push_back(same->listedBy + " and " + entry.listedBy + " list " + entry.path +
                                  " with a different " + (sizesDiffer ? "size" : "SHA-256"));
    }
    if (!same->size) {
        same->size = entry.size;
    }
    // Only the JSON record carries the damage, whichever manifest was read first.
    if (same->damage.empty()) {
        same->damage = std::move(entry.damage);
    }
}

bool CKSManifestVerifier::IsInsideBatch(const CVerifyEntry& entry) const {
    const fs::path listed(entry.path);
    if (listed.is_absolute()) {
        return false;
    }
    for (const fs::path& part : listed) {
        if (part == "..") {
            return false;
        }
    }
    // A link on the way may still lead out of the folder.
    const std::string resolved = Canonical(entry.where);
    return resolved.size() > m_batchFolder.size() &&
           resolved.compare(0, m_batchFolder.size(), m_batchFolder) == 0 &&
           resolved[m_batchFolder.size()] == '/';
}

CVerifyResult CKSManifestVerifier::VerifyOne(const CVerifyEntry& entry) {
    CVerifyResult result;
    struct stat info {};
    if (::stat(entry.where.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.outcome = EVerifyOutcome::Missing;
        return result;
    }
    result.foundSize = static_cast<std::uint64_t>(info.st_size);
    if (entry.size && *entry.size != result.foundSize) {
        result.outcome = EVerifyOutcome::SizeChanged; // no need to read it
        return result;
    }
    std::uint64_t size = 0;
    std::string sha256;
    if (!HashFileSha256(CKSString::FromUtf8(entry.where), size, sha256)) {
        result.outcome = EVerifyOutcome::Unreadable;
        return result;
    }
    result.foundSize = size;
    if (entry.size && *entry.size != size) {
        result.outcome = EVerifyOutcome::SizeChanged;
    } else if (sha256 != entry.sha256) {
        result.outcome = EVerifyOutcome::ContentChanged;
    } else if (const std::optional<std::uint64_t> offset = DamageMismatch(entry.where, entry.damage)) {
        // The file is the one listed, but its record of damage says otherwise: the record is wrong.
        result.outcome = EVerifyOutcome::DamageDiffers;
        result.damageOffset = *offset;
    }
    return result;
}

std::vector<CVerifyResult> CKSManifestVerifier::Verify(unsigned threads) const {
    std::vector<CVerifyResult> results(m_entries.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < m_entries.size(); i = next++) {
            if (IsInsideBatch(m_entries[i])) {
                results[i] = VerifyOne(m_entries[i]);
            } else {
                results[i].outcome = EVerifyOutcome::Outside;
            }
        }
    };
    const unsigned count =
        std::clamp<unsigned>(threads, 1, static_cast<unsigned>(std::max<std::size_t>(m_entries.size(), 1)));
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < count; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the threads that started, and this one, do the rest
        }
    }
    work();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    return results;
}

std::vector<std::string> CKSManifestVerifier::FindExtraFiles() const {
    std::vector<std::string> extra;
    if (!m_wholeFolder) {
        return extra;
    }
    const fs::path folder(m_batchFolder);
    std::error_code failure;
    for (fs::recursive_directory_iterator it(folder, failure), end; !failure && it != end;
         it.increment(failure)) {
        if (it->is_directory() && !it->is_symlink()) {
            continue;
        }
        const fs::path relative = it->path().lexically_relative(folder);
        if (it.depth() == 0 && CKSBatchManifest::IsManifestName(relative.string())) {
            continue;
        }
        if (m_entryByPath.count(it->path().lexically_normal().string()) == 0) {
            extra.push_back(relative.string());
        }
    }
    std::sort(extra.begin(), extra.end());
    return extra;
}
