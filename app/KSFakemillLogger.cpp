#include "app/KSFakemillLogger.h"

#include "support/MakePath.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// "<name><4 or more digits>.log": the names CKSLogger gives its files.
bool IsLogFileName(const std::string& file, const std::string& name) {
    constexpr std::string_view kExtension = ".log";
    if (!file.starts_with(name) || !file.ends_with(kExtension)) {
        return false;
    }
    const std::string digits = file.substr(name.size(), file.size() - name.size() - kExtension.size());
    return digits.size() >= 4 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct LogFile {
    std::string path;
    struct timespec modified;
};

bool Newer(const LogFile& a, const LogFile& b) {
    if (a.modified.tv_sec != b.modified.tv_sec) {
        return a.modified.tv_sec > b.modified.tv_sec;
    }
    if (a.modified.tv_nsec != b.modified.tv_nsec) {
        return a.modified.tv_nsec > b.modified.tv_nsec;
    }
    return a.path > b.path;
}

} // namespace

CKSFakemillLogger::CKSFakemillLogger() : CKSLogger(kLogName, "a") {
    SetLevel(kLevelErrors);
    // The base chose its candidate in the temporary folder, before this class's folder existed.
    ChooseLogPath();
}

CKSString CKSFakemillLogger::GetLogFolder() const {
    if (KnownFolderPath(KnownFolder::LocalAppData).IsEmpty()) {
        return CKSLogger::GetLogFolder();
    }
    const CKnownPath folder(KnownFolder::LocalAppData, kLogFolderName);
    if (folder.CreateDirectory()) {
        return folder.Path();
    }
    return CKSLogger::GetLogFolder();
}

void CKSFakemillLogger::Flush(bool /*force*/) {
    if (!m_headerWritten.exchange(true)) {
        CKSLogger::Flush(true);
    }
}

std::vector<std::string> CKSFakemillLogger::RemoveOldLogFiles(std::size_t keep) const {
    const std::filesystem::path own(GetLogPath().ToUtf8());
    const std::string name = CKSString(kLogName).ToUtf8();
    std::vector<LogFile> files;
    std::error_code error;
    std::filesystem::directory_iterator entries(own.parent_path(), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        const std::string file = entry.path().filename().string();
        struct stat info {};
        // lstat: a link under a log's name is not ours to follow or delete.
        if (!IsLogFileName(file, name) || ::lstat(entry.path().c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        files.push_back({entry.path().string(), info.st_mtim});
    }
    std::sort(files.begin(), files.end(), Newer);
    // This run's file stays whatever its time says.
    std::erase_if(files, [&own](const LogFile& file) { return file.path == own.string(); });
    const std::size_t othersKept = keep > 0 ? keep - 1 : 0;
    std::vector<std::string> removed;
    for (std::size_t index = othersKept; index < files.size(); ++index) {
        if (::unlink(files[index].path.c_str()) == 0) {
            removed.push_back(files[index].path);
        }
    }
    return removed;
}

CKSFKMOutput::~CKSFKMOutput() {
    Close();
}

bool CKSFKMOutput::Open(CKSLogger& logger) {
    if (!logger.ClaimLogFile()) {
        return false;
    }
    logger.Flush(true);
    std::lock_guard lock(m_mutex);
    return m_file.OpenForAppend(logger.GetLogPath());
}

void CKSFKMOutput::Close() {
    std::lock_guard lock(m_mutex);
    m_file.Close();
}

bool CKSFKMOutput::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_file.IsOpen();
}

CKSString CKSFKMOutput::GetPath() const {
    std::lock_guard lock(m_mutex);
    return m_file.GetPath();
}

void CKSFKMOutput::Write(std::u16string_view text, bool error) {
    m_debug.Write(text, error);
    Append(Utf16ToUtf8(text));
}

void CKSFKMOutput::WriteA(std::string_view text) {
    m_debug.WriteA(text);
    Append(std::string(text));
}

void CKSFKMOutput::Append(std::string line) {
    // Messages come without a line ending (some carry their own CR LF): each becomes one line.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    line += '\n';
    std::lock_guard lock(m_mutex);
    if (m_file.IsOpen()) {
        m_file.WriteBytes(line);
    }
}
