#include "app/KSGeneratorBatch.h"

#include "support/KSTime.h"
#include "support/KSWorker.h"

#include <algorithm>
#include <thread>

CKSGeneratorBatch::CKSGeneratorBatch(std::vector<CKSString> definitionNames, CKSString configFile,
                                     CKSString destination, std::shared_ptr<IOutput> output,
                                     CBatchOptions options)
    : m_definitionNames(std::move(definitionNames)), m_configFile(std::move(configFile)),
      m_destination(std::move(destination)), m_output(std::move(output)), m_options(options),
      m_control(std::make_shared<CKSBatchControl>()) {}

std::uint32_t EffectiveJobs(std::uint32_t jobs) {
    const std::uint32_t wanted = jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
    return std::clamp<std::uint32_t>(wanted, 1, CKSWorkerList::kPumpCount);
}

void CKSGeneratorBatch::AddFile(CKSString definitionName, CKSString outputFolder) {
    m_folders.emplace_back(std::move(outputFolder), std::move(definitionName));
}

void CKSGeneratorBatch::LogFinished(CKSLogger& logger) const {
    const CKSString time = FormatShortTime(CKSTime::Now(), false);
    const std::u16string_view shown = time.View().substr(0, 127);
    if (m_definitionNames.size() > 1) {
        logger.InfoF("%u generators finished %s", static_cast<std::uint32_t>(m_definitionNames.size()),
                     shown);
    } else if (m_definitionNames.size() == 1) {
        logger.InfoF("Generator finished %s", shown);
    }
}

CKSBatchInfo::CKSBatchInfo(const CKSGeneratorBatch& batch)
    : m_name(batch.GetName()), m_folders(batch.GetFolders()), m_stopped(batch.WasStopped()) {}

CKSBatchInfo::CKSBatchInfo(CKSGeneratorBatch&& batch)
    : m_name(batch.GetName()), m_folders(batch.TakeFolders()), m_stopped(batch.WasStopped()) {}

std::int64_t CKSBatchControl::Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void CKSBatchControl::MarkStarted() {
    m_startNs.store(Now(), std::memory_order_relaxed);
    m_started.store(true, std::memory_order_release);
}

void CKSBatchControl::MarkFinished() {
    m_endNs.store(Now(), std::memory_order_relaxed);
    m_finished.Set();
}

CKSBatchControl::Snapshot CKSBatchControl::Read() const {
    Snapshot snapshot;
    snapshot.finished = m_finished.IsSet(); // before the counters: a finished batch counts all
    snapshot.started = m_started.load(std::memory_order_acquire);
    snapshot.stopRequested = m_stop.IsSet();
    snapshot.files = m_progress.Files();
    snapshot.bytes = m_progress.Bytes();
    if (snapshot.started) {
        const std::int64_t end = snapshot.finished ? m_endNs.load(std::memory_order_relaxed) : Now();
        snapshot.seconds = static_cast<double>(end - m_startNs.load(std::memory_order_relaxed)) / 1e9;
        if (snapshot.seconds > 0) {
            snapshot.bytesPerSecond = static_cast<double>(snapshot.bytes) / snapshot.seconds;
        }
    }
    return snapshot;
}

CBatchName::CBatchName(const std::vector<CKSString>& definitionNames) {
    if (definitionNames.empty()) {
        Assign(std::u16string_view());
        return;
    }
    const CKSTime now = CKSTime::Now();
    const CKSString date = CKSString(FormatShortDate(now).View().substr(0, 31));
    const CKSString time = CKSString(FormatShortTime(now, false).View().substr(0, 31));
    std::u16string text;
    for (const std::size_t capacity : {std::size_t{120}, std::size_t{240}}) {
        text = definitionNames.size() == 1
                   ? KSFormat(std::u16string_view(u"'%s' started %s %s"), definitionNames[0], date, time)
                   : KSFormat(std::u16string_view(u"'%s+' (%u total) started %s %s"), definitionNames[0],
                              static_cast<std::uint32_t>(definitionNames.size()), date, time);
        if (text.size() < capacity) {
            break;
        }
        text.resize(capacity - 1); // the second, larger buffer cuts what still does not fit
    }
    Assign(std::u16string_view(text));
}
