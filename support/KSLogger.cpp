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

void CKSLogger::ChooseLogPath() {
    m_logFolder = GetLogFolder();
    CKSPathName folder(m_logFolder);
    folder.EnsureBackslash();
    const std::u16string pattern =
        std::u16string(folder.View()) + std::u16string(m_name.View()) + u"%04d.log";
    for (int n = 0;; ++n) {
        CKSString candidate(KSFormat(pattern, n));
        struct stat info {};
        if (::stat(candidate.ToUtf8().c_str(), &info) != 0 || n == 9999) {
            m_logPath = candidate;
            m_logNumber = n;
            break;
        }
    }
    m_pathClaimed = false;
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
            output->Write(text.substr(0, kMessageCapacity - 1), false);
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

int CKSLogger::OpenOwnFile() {
    if (m_pathClaimed) {
        return ::open(m_logPath.ToUtf8().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    // The name chosen at construction may have been taken since; move on to the next free one.
    CKSPathName folder(m_logFolder);
    folder.EnsureBackslash();
    const std::u16string pattern =
        std::u16string(folder.View()) + std::u16string(m_name.View()) + u"%04d.log";
    for (int n = m_logNumber; n <= 9999; ++n) {
        CKSString candidate(KSFormat(pattern, n));
        const int fd =
            ::open(candidate.ToUtf8().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            m_logPath = candidate;
            m_logNumber = n;
            m_pathClaimed = true;
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
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
    const int fd = OpenOwnFile();
    if (fd < 0) {
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
    WriteAllToDescriptor(fd, text.data(), text.size());
    ::close(fd);
}

void CKSLogger::Close() {
    {
        CAutoLock lock(m_lock);
        Flush(true);
    }
    m_lock = nullptr;
}

CKSLogger& CKSIsLogging::Logger() const {
    return m_logger != nullptr ? *m_logger : SilentLogger();
}

void TraceClose() {}
