#include "tools/HashCalculatorTool.h"

#include "tools/ChecksumFile.h"
#include "tools/HashKinds.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

QString KindName(int kind) {
    return QString::fromUtf16(kHashKinds[static_cast<std::size_t>(kind)].shownName);
}

int KindIndexOfCode(std::uint32_t code) {
    for (std::size_t i = 0; i < kHashKinds.size(); ++i) {
        if (kHashKinds[i].code == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::u16string_view View(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

} // namespace

CHashCalculatorTool::CHashCalculatorTool(CFakemillSettings& settings, CThreadReaper& reaper,
                                         std::unique_ptr<CKSHashWorker> engine, QObject* parent)
    : QObject(parent), m_settings(settings), m_copyOptions(settings.Get(settings_key::kCopyOptions)),
      m_engine(this, reaper) {
    m_statusTimer.setSingleShot(true);
    m_statusTimer.setInterval(kStatusDelayMilliseconds);
    connect(&m_statusTimer, &QTimer::timeout, this, &CHashCalculatorTool::StatusChanged);
    // The tool's own engine, stopped by the tool alone: no other tool's end or stop reaches it.
    m_engine.Reset(engine ? std::move(engine) : std::make_unique<CKSHashWorker>(nullptr));
    // A window hashes regular files only: a FIFO would hold the engine in open() until a writer came.
    m_engine->SetRegularFilesOnly(true);
    m_engine->SetListener(this);
}

CHashCalculatorTool::~CHashCalculatorTool() {
    Close();
}

void CHashCalculatorTool::Close() {
    if (m_engine.Close()) {
        m_statusTimer.stop();
    }
}

void CHashCalculatorTool::AddFiles(const QStringList& paths, int kind) {
    if (IsClosed() || paths.isEmpty()) {
        return;
    }
    QueueRows(m_model.Append(paths, std::clamp(kind, 0, static_cast<int>(kHashKinds.size()) - 1)));
}

void CHashCalculatorTool::QueueRows(std::uint32_t first) {
    std::vector<CKSHashJob> jobs;
    jobs.reserve(m_model.Count() - first);
    for (std::uint32_t row = first; row < m_model.Count(); ++row) {
        const CHashListModel::Row& added = m_model.At(row);
        CKSHashJob job;
        job.path = CKSString::FromQString(added.path);
        job.kind = kHashKinds[static_cast<std::size_t>(added.kind)].code;
        job.id = row;
        jobs.push_back(std::move(job));
    }
    if (!m_engine->AddJobs(std::move(jobs))) {
        // No thread to hash them: say so rather than show "..." for ever.
        const CKSError failure(u"Could not hash", CKSString(u""), u"the hashing thread could not be started");
        for (std::uint32_t row = first; row < m_model.Count(); ++row) {
            m_model.SetResult(row, false, {}, failure);
        }
    }
    ScheduleStatus();
}

void CHashCalculatorTool::OnHashDone(std::uint32_t rowId, bool /*success*/) {
    m_engine.Post([this, rowId] { FinishRow(rowId); });
}

void CHashCalculatorTool::OnHashProgress(std::uint32_t rowId, std::uint64_t done, std::uint64_t size,
                                         std::uint64_t elapsedMilliseconds) {
    const Progress progress{rowId, done, size, elapsedMilliseconds};
    m_engine.Post([this, progress] {
        m_progress = progress;
        ScheduleStatus();
    });
}

void CHashCalculatorTool::FinishRow(std::uint32_t row) {
    if (IsClosed()) {
        return;
    }
    // Failed jobs are taken too: left in the queue they would be looked at for ever.
    CKSHashJob job;
    if (m_engine->TakeJob(row, job)) {
        const CKSError failure =
            job.succeeded ? CKSError() : CKSError::FromErrno(u"Could not hash", job.path, job.error);
        m_model.SetResult(row, job.succeeded, job.result.ToQString(), failure);
    } else {
        m_model.SetResult(row, false, {});
    }
    ScheduleStatus();
}

void CHashCalculatorTool::ScheduleStatus() {
    if (!m_statusTimer.isActive()) {
        m_statusTimer.start();
    }
}

QString CHashCalculatorTool::StatusText() const {
    QStringList parts;
    const QLocale locale;
    if (m_model.Pending() > 0) {
        const bool inHand = m_progress.row < m_model.Count() && !m_model.At(m_progress.row).done &&
                            m_progress.elapsedMilliseconds > 0;
        if (inHand) {
            const CHashListModel::Row& row = m_model.At(m_progress.row);
            const double seconds = static_cast<double>(m_progress.elapsedMilliseconds) / 1000.0;
            const auto rate = static_cast<qint64>(static_cast<double>(m_progress.done) / seconds);
            QString part = QStringLiteral("Hashing %1: %2")
                               .arg(QFileInfo(row.path).fileName(),
                                    locale.formattedDataSize(static_cast<qint64>(m_progress.done)));
            if (m_progress.size > 0) {
                part += QStringLiteral(" of %1 (%2%)")
                            .arg(locale.formattedDataSize(static_cast<qint64>(m_progress.size)))
                            .arg(m_progress.done * 100 / m_progress.size);
            }
            part += QStringLiteral(", %1/s").arg(locale.formattedDataSize(rate));
            parts << part;
        }
        parts
            << QStringLiteral("%1 of %2 done").arg(m_model.Count() - m_model.Pending()).arg(m_model.Count());
    }
    if (m_model.AnyChecked()) {
        QString checked =
            QStringLiteral("Checked: %1 OK, %2 FAILED").arg(m_model.CheckedOk()).arg(m_model.CheckedFailed());
        // Files that could not be hashed are told apart from wrong hashes, as verify does.
        for (const auto check : {CHashListModel::Check::Missing, CHashListModel::Check::Unreadable}) {
            if (const int count = m_model.CheckedAs(check); count > 0) {
                checked += QStringLiteral(", %1 %2").arg(count).arg(CheckText(check));
            }
        }
        parts << checked;
    }
    if (parts.isEmpty()) {
        parts << m_lastMessage;
    }
    return parts.join(QStringLiteral("; "));
}

void CHashCalculatorTool::ToggleCopyOption(std::uint32_t bit) {
    m_copyOptions ^= bit;
    m_settings.Set(settings_key::kCopyOptions, m_copyOptions);
    m_settings.Save();
}

QString CHashCalculatorTool::CopyText(std::vector<std::uint32_t> rows) const {
    std::sort(rows.begin(), rows.end());
    if (rows.empty()) {
        for (std::uint32_t row = 0; row < m_model.Count(); ++row) {
            rows.push_back(row);
        }
    }
    const char16_t separator = CopySeparatorOrDefault(m_settings.Get(settings_key::kCopySeparator));
    std::u16string text;
    for (const std::uint32_t row : rows) {
        if (row < m_model.Count()) {
            const CHashListModel::Row& line = m_model.At(row);
            // A row without a hash ("[Error]", "...") is copied as shown: no "0x", no case change.
            const std::uint32_t options =
                line.succeeded ? m_copyOptions : m_copyOptions & ~(kCopyPrefix0x | kCopyLowerCase);
            text += FormatCopyLine(View(line.path), View(line.value), options, separator);
        }
    }
    return QString::fromStdU16String(text);
}

QString CHashCalculatorTool::ChecksumFileName(int kind) {
    static const char* const names[] = {"CRC32SUMS", "MD5SUMS", "SHA1SUMS", "SHA256SUMS"};
    return QString::fromLatin1(names[std::clamp(kind, 0, 3)]);
}

QString CHashCalculatorTool::NothingToSave(int kind) const {
    for (std::uint32_t row = 0; row < m_model.Count(); ++row) {
        if (m_model.At(row).kind == kind && m_model.At(row).succeeded) {
            return {};
        }
    }
    return QStringLiteral("There are no finished %1 hashes to save. The rows saved are those of the "
                          "algorithm selected above.")
        .arg(KindName(kind));
}

CToolReport CHashCalculatorTool::SaveChecksums(int kind, const QString& file) {
    std::vector<ChecksumEntry> entries;
    int leftOut = 0;
    for (std::uint32_t row = 0; row < m_model.Count(); ++row) {
        const CHashListModel::Row& line = m_model.At(row);
        if (line.kind != kind) {
            continue;
        }
        if (line.succeeded) {
            entries.push_back(ChecksumEntry{CKSString::FromQString(line.path), line.value.toStdString()});
        } else {
            ++leftOut;
        }
    }
    if (entries.empty()) {
        return CToolReport{{}, NothingToSave(kind)};
    }
    const CKSString target = CKSString::FromQString(file);
    int error = 0;
    if (!WriteChecksumFile(target, entries, error)) {
        return CToolReport{CKSError::FromErrno(u"Could not write", target, error), {}};
    }
    m_lastMessage =
        QStringLiteral("Saved %1 %2 checksums to %3").arg(entries.size()).arg(KindName(kind), file);
    if (leftOut > 0) {
        m_lastMessage += QStringLiteral(" (%1 rows not finished or failed were left out)").arg(leftOut);
    }
    emit StatusChanged();
    return {};
}

CToolReport CHashCalculatorTool::VerifyChecksums(const QString& file) {
    if (IsClosed()) {
        return {};
    }
    ChecksumListing listing;
    int error = 0;
    const CKSString checksumFile = CKSString::FromQString(file);
    if (!ReadChecksumFile(checksumFile, listing, error)) {
        return CToolReport{CKSError::FromErrno(u"Could not read", checksumFile, error), {}};
    }
    std::size_t unknown = listing.unreadableLines;
    // Consecutive entries of one algorithm go into the list together.
    QStringList paths;
    QStringList expected;
    int runKind = -1;
    const auto flush = [&] {
        if (!paths.isEmpty()) {
            QueueRows(m_model.Append(paths, runKind, expected));
            paths.clear();
            expected.clear();
        }
    };
    for (const ChecksumEntry& entry : listing.entries) {
        const int kind = KindIndexOfCode(HashCodeForDigits(entry.digits.size()));
        if (kind < 0) {
            ++unknown;
            continue;
        }
        if (kind != runKind) {
            flush();
            runKind = kind;
        }
        paths << ResolveChecksumPath(checksumFile, entry.path).ToQString();
        expected << QString::fromStdString(entry.digits);
    }
    flush();
    emit StatusChanged();
    if (listing.entries.empty()) {
        return CToolReport{{}, QStringLiteral("%1 holds no checksum lines.").arg(file)};
    }
    if (unknown > 0) {
        return CToolReport{
            {},
            QStringLiteral("%1: %2 line(s) are not checksum lines and were skipped.").arg(file).arg(unknown)};
    }
    return {};
}
