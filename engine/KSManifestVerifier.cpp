#include "engine/KSManifestVerifier.h"

#include "engine/KSBatchManifest.h"
#include "engine/KSFileDigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace {

std::string Where(const QString& folder, const std::string& path) {
    const QString listed = QString::fromStdString(path);
    return QDir::isAbsolutePath(listed) ? path : QDir(folder).filePath(listed).toStdString();
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
    QFile file(QString::fromStdString(where));
    if (!file.open(QIODevice::ReadOnly)) {
        return damage.empty() ? std::nullopt : std::optional<std::uint64_t>(damage.front().first);
    }
    for (const auto& [offset, bytes] : damage) {
        if (!file.seek(static_cast<qint64>(offset)) ||
            file.read(static_cast<qint64>(bytes.size())).toStdString() != bytes) {
            return offset;
        }
    }
    return std::nullopt;
}

} // namespace

bool CKSManifestVerifier::Load(const CKSString& target, std::string& error) {
    const QFileInfo info(target.ToQString());
    if (!info.exists()) {
        error = "no such file or folder: " + target.ToUtf8();
        return false;
    }
    if (!info.isDir()) {
        return LoadFile(target, error);
    }
    const QDir folder(info.absoluteFilePath());
    QStringList names =
        folder.entryList({QStringLiteral("fakemill-manifest*.json")}, QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        names = folder.entryList({QStringLiteral("fakemill*.sha256")}, QDir::Files, QDir::Name);
    }
    if (names.isEmpty()) {
        error = "no manifest in " + target.ToUtf8();
        return false;
    }
    for (const QString& name : names) {
        if (!LoadFile(CKSString::FromQString(folder.filePath(name)), error)) {
            return false;
        }
    }
    return true;
}

bool CKSManifestVerifier::LoadFile(const CKSString& path, std::string& error) {
    QFile file(path.ToQString());
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path.ToUtf8() + ": " + file.errorString().toStdString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    const std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const auto first = std::find_if_not(text.begin(), text.end(),
                                        [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    if (first != text.end() && *first == '{') {
        return LoadJson(path, text, error);
    }
    return LoadChecksums(path, text, error);
}

bool CKSManifestVerifier::LoadJson(const CKSString& path, const std::string& bytes, std::string& error) {
    QJsonParseError parseError{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &parseError);
    const QJsonValue files = document.object().value(QStringLiteral("files"));
    if (document.isNull() || !files.isArray()) {
        error = path.ToUtf8() + " is not a manifest: " +
                (document.isNull() ? parseError.errorString().toStdString() : std::string("no file list"));
        return false;
    }
    m_stopped = m_stopped || document.object().value(QStringLiteral("stopped")).toBool();
    const QString folder = QFileInfo(path.ToQString()).absolutePath();
    for (const QJsonValue& value : files.toArray()) {
        const QJsonObject file = value.toObject();
        const std::string listed = file.value(QStringLiteral("path")).toString().toStdString();
        const std::string sha256 = file.value(QStringLiteral("sha256")).toString().toLower().toStdString();
        const double size = file.value(QStringLiteral("size")).toDouble(-1);
        if (listed.empty() || sha256.size() != 64 || size < 0) {
            error = path.ToUtf8() + " lists a file without path, size or SHA-256";
            return false;
        }
        m_entries.push_back(
            {listed, Where(folder, listed), static_cast<std::uint64_t>(size), sha256, RecordedDamage(file)});
    }
    return true;
}

bool CKSManifestVerifier::LoadChecksums(const CKSString& path, const std::string& bytes, std::string& error) {
    const QString folder = QFileInfo(path.ToQString()).absolutePath();
    std::size_t start = 0;
    std::size_t lineNumber = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        const std::string_view line(bytes.data() + start, end - start);
        ++lineNumber;
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        std::string sha256;
        std::string listed;
        if (!ParseChecksumLine(line, sha256, listed)) {
            error = path.ToUtf8() + ": line " + std::to_string(lineNumber) + " is not a SHA-256 line";
            return false;
        }
        m_entries.push_back({listed, Where(folder, listed), std::nullopt, sha256, {}});
    }
    return true;
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
            results[i] = VerifyOne(m_entries[i]);
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
