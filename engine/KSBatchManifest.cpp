#include "engine/KSBatchManifest.h"

#include "properties/KSPropertyList.h"
#include "support/KSFormat.h"
#include "support/VersionInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cctype>

namespace {

QString ToQ(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool SaveAtomically(const QString& path, const std::string& bytes, std::string& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !file.commit()) {
        error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
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

std::string ChecksumLine(const std::string& sha256, const std::string& path) {
    std::string escaped;
    bool needsEscape = false;
    for (const char c : path) {
        if (c == '\\') {
            escaped += "\\\\";
            needsEscape = true;
        } else if (c == '\n') {
            escaped += "\\n";
            needsEscape = true;
        } else if (c == '\r') {
            escaped += "\\r";
            needsEscape = true;
        } else {
            escaped.push_back(c);
        }
    }
    return (needsEscape ? "\\" : "") + sha256 + "  " + escaped + "\n";
}

bool ParseChecksumLine(std::string_view line, std::string& sha256, std::string& path) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped) {
        line.remove_prefix(1);
    }
    const std::size_t gap = line.find(' ');
    if (gap != 64 || line.size() < 67 || (line[65] != ' ' && line[65] != '*')) {
        return false;
    }
    sha256 = std::string(line.substr(0, 64));
    if (!std::all_of(sha256.begin(), sha256.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
        return false;
    }
    std::transform(sha256.begin(), sha256.end(), sha256.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    path.clear();
    const std::string_view rest = line.substr(66);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (escaped && rest[i] == '\\' && i + 1 < rest.size()) {
            const char next = rest[++i];
            path.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next);
        } else {
            path.push_back(rest[i]);
        }
    }
    return !path.empty();
}

CKSBatchManifest::CKSBatchManifest(CKSString destination, CManifestRun run)
    : m_destination(std::move(destination)), m_run(std::move(run)) {}

CKSString CKSBatchManifest::ChecksumFileName(CFileShard shard) {
    if (shard.count <= 1) {
        return CKSString(u"fakemill.sha256");
    }
    return CKSString(
        KSFormat(std::u16string_view(u"fakemill-shard-%u-of-%u.sha256"), shard.index, shard.count));
}

CKSString CKSBatchManifest::JsonFileName(CFileShard shard) {
    if (shard.count <= 1) {
        return CKSString(u"fakemill-manifest.json");
    }
    return CKSString(
        KSFormat(std::u16string_view(u"fakemill-manifest-shard-%u-of-%u.json"), shard.index, shard.count));
}

void CKSBatchManifest::AddDefinition(const CKSString& name, const CKSPropertyList& properties) {
    std::vector<std::pair<std::string, std::string>> values;
    properties.ForEachProperty([&values](const CKSProperty& property) {
        CKSString text;
        if (!property.FormatValue(text)) {
            text = CKSString(u"");
        }
        values.emplace_back(property.GetName().ToUtf8(), text.ToUtf8());
    });
    CAutoLock lock(m_lock);
    m_definitions.emplace_back(name.ToUtf8(), std::move(values));
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
        text += ChecksumLine(file.sha256, file.path);
    }
    return text;
}

std::string CKSBatchManifest::JsonText(bool stopped) {
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

    const std::vector<CManifestFile> files = Files();
    QJsonArray definitions;
    {
        CAutoLock lock(m_lock);
        for (const auto& [name, values] : m_definitions) {
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
    return SaveAtomically(folder.filePath(ChecksumFileName(m_run.shard).ToQString()), ChecksumText(),
                          error) &&
           SaveAtomically(folder.filePath(JsonFileName(m_run.shard).ToQString()), JsonText(stopped), error);
}
