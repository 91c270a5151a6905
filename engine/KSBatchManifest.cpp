#include "engine/KSBatchManifest.h"

#include "engine/KSFileDigest.h"
#include "properties/KSPropertyList.h"
#include "support/ChecksumLines.h"
#include "support/KSFormat.h"
#include "support/LockFile.h"
#include "support/StagedFile.h"
#include "support/VersionInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QString ToQ(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// How long a batch waits for another one writing its manifest into the same folder.
constexpr std::uint32_t kLockWaitMilliseconds = 60000;

std::string Hidden(const QDir& folder, const CKSString& name, const char* suffix) {
    return folder.filePath(QStringLiteral(".") + name.ToQString() + QLatin1String(suffix)).toStdString();
}

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
    return hex;
}

// The class, what a reader is expected to do, and each change: its offset, the bytes taken away
// and the bytes now there (hexadecimal, when short).
QJsonObject DamageJson(const CDamageRecord& damage) {
    QJsonArray changes;
    for (const CByteChange& change : damage.changes) {
        QJsonObject entry{{QStringLiteral("offset"), static_cast<qint64>(change.offset)},
                          {QStringLiteral("length"), static_cast<qint64>(change.length)}};
        if (change.length <= CByteChange::kShortBytes) {
            entry[QStringLiteral("original")] = ToQ(Hex(change.original));
        }
        if (!change.written.empty() || change.length == 0) {
            entry[QStringLiteral("written")] = ToQ(Hex(change.written));
        }
        changes.append(entry);
    }
    QJsonObject json{{QStringLiteral("class"), ToQ(damage.damageClass)},
                     {QStringLiteral("outcome"), ToQ(std::string(OutcomeName(damage.outcome)))},
                     {QStringLiteral("expected"), ToQ(damage.expected)},
                     {QStringLiteral("changes"), changes}};
    if (damage.rows) {
        json[QStringLiteral("rows")] = static_cast<qint64>(*damage.rows);
    }
    return json;
}

} // namespace

CKSBatchManifest::CKSBatchManifest(CKSString destination, CManifestRun run)
    : m_destination(std::move(destination)), m_run(std::move(run)) {}

CKSString CKSBatchManifest::ChecksumFileName(CFileShard shard) {
    if (shard.count <= 1) {
        return CKSString(u"fakemill.sha256");
    }
    return CKSString(
        KSFormat(std::u16string_view(u"fakemill-shard-%u-of-%u.sha256"), shard.index, shard.count));
}

bool CKSBatchManifest::IsManifestName(std::string_view name) {
    const auto ends = [name](std::string_view suffix) {
        return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    };
    return (name.rfind("fakemill", 0) == 0 && ends(".sha256")) ||
           (name.rfind("fakemill-manifest", 0) == 0 && ends(".json")) ||
           (name.rfind(".fakemill-manifest", 0) == 0 && ends(".json.lock"));
}

CKSString CKSBatchManifest::JsonFileName(CFileShard shard) {
    if (shard.count <= 1) {
        return CKSString(u"fakemill-manifest.json");
    }
    return CKSString(
        KSFormat(std::u16string_view(u"fakemill-manifest-shard-%u-of-%u.json"), shard.index, shard.count));
}

void CKSBatchManifest::AddDefinition(std::size_t order, const CKSString& name,
                                     const CKSPropertyList& properties) {
    std::vector<std::pair<std::string, std::string>> values;
    properties.ForEachProperty([&values](const CKSProperty& property) {
        CKSString text;
        if (!property.FormatValue(text)) {
            text = CKSString(u"");
        }
        values.emplace_back(property.GetName().ToUtf8(), text.ToUtf8());
    });
    CAutoLock lock(m_lock);
    m_definitions.push_back(CDefinition{order, name.ToUtf8(), std::move(values)});
}

std::string CKSBatchManifest::RelativePath(const CKSString& path) const {
    const QDir base(m_destination.ToQString());
    const QString absolute = QDir::cleanPath(path.ToQString());
    const QString relative = base.relativeFilePath(absolute);
    // A file outside the destination keeps its absolute path: a list read from the destination
    // still finds it.
    if (relative.startsWith(QStringLiteral("../")) || QDir::isAbsolutePath(relative)) {
        return absolute.toStdString();
    }
    return relative.toStdString();
}

void CKSBatchManifest::AddFile(const CKSString& definition, std::uint32_t index, const CKSString& path,
                               std::uint64_t size, const std::string& sha256, const CDamageRecord* damage,
                               const CNameRecord* name) {
    CManifestFile file{RelativePath(path), definition.ToUtf8(), index, size, sha256,
                       std::nullopt,       std::nullopt};
    if (damage != nullptr) {
        file.damage = *damage;
    }
    if (name != nullptr) {
        file.name = *name;
    }
    CAutoLock lock(m_lock);
    m_files.push_back(std::move(file));
}

std::vector<CManifestFile> CKSBatchManifest::Files() {
    CAutoLock lock(m_lock);
    std::vector<CManifestFile> files = m_files;
    std::sort(files.begin(), files.end(),
              [](const CManifestFile& a, const CManifestFile& b) { return a.path < b.path; });
    return files;
}

std::string CKSBatchManifest::ChecksumText() {
    std::string text;
    for (const CManifestFile& file : Files()) {
        text += FormatChecksumLine(file.sha256, file.path);
    }
    return text;
}

std::string CKSBatchManifest::JsonText(bool stopped, const std::string& checksumSha256) {
    QJsonObject root;
    root[QStringLiteral("program")] = QStringLiteral("fakemill");
    root[QStringLiteral("version")] = CVersionInfoThis().GetVersionText().ToQString();
    root[QStringLiteral("seed")] = m_run.seed ? QJsonValue(static_cast<qint64>(*m_run.seed)) : QJsonValue();
    root[QStringLiteral("jobs")] = static_cast<qint64>(m_run.jobs);
    root[QStringLiteral("shard")] =
        QJsonObject{{QStringLiteral("index"), static_cast<qint64>(m_run.shard.index)},
                    {QStringLiteral("count"), static_cast<qint64>(m_run.shard.count)}};
    root[QStringLiteral("configuration")] = QFileInfo(m_run.configFile.ToQString()).absoluteFilePath();
    root[QStringLiteral("stopped")] = stopped;
    // Tells a reader whether the checksum list beside this record is the one written with it.
    root[QStringLiteral("checksums")] =
        QJsonObject{{QStringLiteral("file"), ChecksumFileName(m_run.shard).ToQString()},
                    {QStringLiteral("sha256"), ToQ(checksumSha256)}};

    const std::vector<CManifestFile> files = Files();
    QJsonArray definitions;
    {
        CAutoLock lock(m_lock);
        std::sort(m_definitions.begin(), m_definitions.end(),
                  [](const CDefinition& a, const CDefinition& b) { return a.order < b.order; });
        for (const auto& [order, name, values] : m_definitions) {
            QJsonObject properties;
            for (const auto& [key, value] : values) {
                properties[ToQ(key)] = ToQ(value);
            }
            definitions.append(
                QJsonObject{{QStringLiteral("name"), ToQ(name)}, {QStringLiteral("properties"), properties}});
        }
    }
    root[QStringLiteral("definitions")] = definitions;
    QJsonArray list;
    std::uint64_t total = 0;
    for (const CManifestFile& file : files) {
        // Sizes above 2^53 would lose precision as JSON numbers; no generated file comes near.
        QJsonObject entry{{QStringLiteral("path"), ToQ(file.path)},
                          {QStringLiteral("definition"), ToQ(file.definition)},
                          {QStringLiteral("index"), static_cast<qint64>(file.index)},
                          {QStringLiteral("size"), static_cast<qint64>(file.size)},
                          {QStringLiteral("sha256"), ToQ(file.sha256)}};
        if (file.damage) {
            entry[QStringLiteral("damage")] = DamageJson(*file.damage);
        }
        if (file.name) {
            entry[QStringLiteral("name")] = QJsonObject{{QStringLiteral("style"), ToQ(file.name->style)},
                                                        {QStringLiteral("detail"), ToQ(file.name->detail)}};
        }
        list.append(entry);
        total += file.size;
    }
    root[QStringLiteral("fileCount")] = static_cast<qint64>(files.size());
    root[QStringLiteral("totalBytes")] = static_cast<qint64>(total);
    root[QStringLiteral("files")] = list;
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool CKSBatchManifest::Write(bool stopped, std::string& error) {
    const QDir folder(m_destination.ToQString());
    const CKSString checksumName = ChecksumFileName(m_run.shard);
    const CKSString jsonName = JsonFileName(m_run.shard);
    CLockFile lock;
    if (!lock.Lock(Hidden(folder, jsonName, ".lock"), kLockWaitMilliseconds, error)) {
        return false;
    }
    const std::string checksums = ChecksumText();
    CStagedFile checksumFile;
    CStagedFile jsonFile;
    return checksumFile.Write(folder.filePath(checksumName.ToQString()).toStdString(),
                              Hidden(folder, checksumName, ".part"), checksums, error) &&
           jsonFile.Write(folder.filePath(jsonName.ToQString()).toStdString(),
                          Hidden(folder, jsonName, ".part"), JsonText(stopped, Sha256Hex(checksums)),
                          error) &&
           checksumFile.Commit(error) && jsonFile.Commit(error);
}
