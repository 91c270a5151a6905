#include "support/KSLogger.h"

#include "support/KSSynchronizer.h"
#include "support/PosixFile.h"

#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool DebugOutputEnabled() {
    static const bool enabled = std::getenv("FAKEMILL_DEBUG") != nullptr;
    return enabled;
}

CKSLogger& SilentLogger() {
    static CKSLogger silent(u"kssilent", "");
    silent.SetLevel(CKSLogger::kLevelNone);
    return silent;
}

} // namespace

void KSDebugOutput(std::u16string_view text) {
    KSDebugOutputA(Utf16ToUtf8(text));
}

void KSDebugOutputA(std::string_view text) {
    if (DebugOutputEnabled()) {
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
}

void CDbgOutput::Write(std::u16string_view text, bool) {
    KSDebugOutputA(Utf16ToUtf8(text) + "\n");
}

void CDbgOutput::WriteA(std::string_view text) {
    KSDebugOutputA(std::string(text) + "\n");
}

CKSLogger::CKSLogger() : CKSLogger(u"ksapp", "") {}

CKSLogger::CKSLogger(std::u16string_view name, std::string_view options) : m_name(name) {
    ChooseLogPath();
    ApplyOptions(options);
}

CKSString CKSLogger::GetLogFolder() const {
    const QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return temp.isEmpty() ? CKSString(u".") : CKSString::FromQString(temp);
}

CKSString CKSLogger::LogPathFor(int number) const {
    CKSPathName folder(m_logFolder);
    folder.EnsureBackslash();
    const std::u16string pattern =
        std::u16string(folder.View()) + std::u16string(m_name.View()) + u"%04d.log";
    return CKSString(KSFormat(pattern, number));
}

void CKSLogger::ChooseLogPath() {
    // Only a candidate: the name is taken for good by ClaimLogFile's exclusive create, since
    // another logger may pick the same free name before this one writes anything.
    constexpr int kLastNumber = 99999;
    CKSString folder = GetLogFolder();
    std::lock_guard lock(m_pathMutex);
    m_logFolder = std::move(folder);
    for (int n = 0;; ++n) {
        CKSString candidate = LogPathFor(n);
        struct stat info {};
        if (::lstat(candidate.ToUtf8().c_str(), &info) != 0 || n == kLastNumber) {
            m_logPath = std::move(candidate);
            m_logNumber = n;
            break;
        }
    }
    m_pathClaimed = false;
    m_claimFailed = false;
}

CKSString CKSLogger::GetLogPath() const {
    std::lock_guard lock(m_pathMutex);
    return m_logPath;
}

bool CKSLogger::ClaimLogFile() {
    std::lock_guard lock(m_pathMutex);
    if (m_pathClaimed || m_claimFailed) {
        return m_pathClaimed;
    }
    // O_EXCL makes the existence test and the creation one step: of two loggers that chose the
    // same name, exactly one gets it and the other moves on to the next number.
    constexpr int kAttempts = 1000;
    for (int n = m_logNumber; n < m_logNumber + kAttempts; ++n) {
        CKSString candidate = LogPathFor(n);
        const std::string native = candidate.ToUtf8();
        if (!PathFitsPlatform(native)) {
            break;
        }
        CUniqueFd fd(::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (fd.IsValid()) {
            m_logPath = std::move(candidate);
            m_logNumber = n;
            m_pathClaimed = true;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    m_claimFailed = true;
    return false;
}

void CKSLogger::ApplyOptions(std::string_view options) {
    for (char letter : options) {
        switch (letter) {
        case 'a':
            m_saveAlways = true;
            InfoF("'save always' on");
            break;
        case 'b':
            m_threshold *= 2;
            break;
        case 's':
            m_threshold /= 2;
            break;
        case 'd':
            SetLevel(kLevelDebug);
            break;
        case 'e':
            SetLevel(kLevelErrors);
            break;
        case 'i':
            SetLevel(kLevelInfo);
            break;
        default:
            break;
        }
    }
}

void CKSLogger::Info(std::u16string_view text) {
    if (GetLevel() > kLevelErrors) {
        if (IOutput* output = GetOutput()) {
            // Through the formatter, so that the cut is the same as for formatted messages.
            const CKSFormatArg argument(text);
            output->Write(KSFormatWide(u"%s", std::span(&argument, 1), kMessageCapacity), false);
        }
    }
}

void CKSLogger::Pass(const CKSFormatString& format, std::u16string_view prefix, bool error,
                     std::span<const CKSFormatArg> args) {
    IOutput* output = GetOutput();
    if (output == nullptr) {
        return;
    }
    std::u16string full(prefix);
    full += format.ToWide();
    output->Write(KSFormatWide(full, args, kMessageCapacity), error);
}

void CKSLogger::SetTitle(std::u16string_view title) {
    m_title = CKSString(title);
    m_headerPending = true;
}

void CKSLogger::Flush(bool force) {
    if (!force && m_buffer.size() <= m_threshold) {
        return;
    }
    CTryAutoLock lock(m_lock);
    if (m_lock != nullptr && !lock.IsLocked()) {
        return;
    }
    if (!m_saveAlways) {
        return;
    }
    if (!ClaimLogFile()) {
        return;
    }
    // Our own file from the claim on; O_NOFOLLOW keeps a link planted under its name from
    // redirecting the log elsewhere.
    CUniqueFd fd(
        ::open(GetLogPath().ToUtf8().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.IsValid()) {
        return;
    }
    std::string text;
    if (m_headerPending) {
        text += m_title.ToUtf8() + " LOG\r\n--------------------------\r\n";
        m_headerPending = false;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string date = KSFormat(std::string_view("%d/%d"), local.tm_mon + 1, local.tm_mday);
    const std::string time =
        KSFormat(std::string_view("%02d:%02d:%02d"), local.tm_hour, local.tm_min, local.tm_sec);
    text += KSFormat(std::string_view("Log file created: %s, %s\r\n"), date, time);
    text += Utf16ToUtf8(m_buffer);
    m_buffer.clear();
    WriteAllToDescriptor(fd.Get(), text.data(), text.size());
}

void CKSLogger::Close() {
    {
        CAutoLock lock(m_lock);
        Flush(true);
    }
    m_lock = nullptr;
}

bool CKSFileLogger::Open(const CKSString& path) {
    std::lock_guard lock(m_mutex);
    return m_file.OpenForAppend(path);
}

void CKSFileLogger::Close() {
    std::lock_guard lock(m_mutex);
    m_file.Close();
}

bool CKSFileLogger::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_file.IsOpen();
}

void CKSFileLogger::Write(std::u16string_view text, bool) {
    std::lock_guard lock(m_mutex);
    m_file.WriteText(text);
}

void CKSFileLogger::WriteA(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_file.WriteBytes(text);
}

CKSLogger& CKSIsLogging::Logger() const {
    return m_logger != nullptr ? *m_logger : SilentLogger();
}

void TraceClose() {}
