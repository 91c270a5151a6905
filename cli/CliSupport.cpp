#include "cli/CliSupport.h"

#include "engine/GenerationProgress.h"
#include "properties/KSProperty.h"

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <pthread.h>

bool ParseCliNumber(const std::string& text, std::uint64_t& value) {
    // The definition syntax reads any prefix; here the whole text must be a number with at most
    // one exact unit suffix.
    std::string digits = text;
    for (const char* suffix : {"KB", "MB", "GB", "TB", "K", "M"}) {
        const std::string ending(suffix);
        if (digits.size() > ending.size() && digits.compare(digits.size() - ending.size(), ending.size(), ending) == 0) {
            digits.resize(digits.size() - ending.size());
            break;
        }
    }
    if (digits.empty()) {
        return false;
    }
    const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    const bool octal = !hex && digits.size() > 1 && digits[0] == '0';
    for (std::size_t i = hex ? 2 : 0; i < digits.size(); ++i) {
        const char c = digits[i];
        const bool ok = hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (octal ? c >= '0' && c <= '7' : c >= '0' && c <= '9');
        if (!ok) {
            return false;
        }
    }
    const std::int64_t parsed = CIntString::Parse(Utf8ToUtf16(text));
    if (parsed < 0) {
        return false;
    }
    value = static_cast<std::uint64_t>(parsed);
    return true;
}

void CStreamOutput::Write(std::u16string_view text, bool error) {
    if (error) {
        m_errorLines.fetch_add(1);
    }
    WriteLine(Utf16ToUtf8(text));
}

void CStreamOutput::WriteA(std::string_view text) { WriteLine(std::string(text)); }

void CStreamOutput::WriteLine(std::string line) {
    // Some messages carry their own "\r\n"; the terminal gets one plain line ending.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    std::lock_guard lock(m_mutex);
    if (m_progressActive) {
        m_stream << "\r\033[K";
    }
    m_stream << line << '\n';
    m_stream.flush();
}

void CStreamOutput::SetProgressActive(bool active) {
    std::lock_guard lock(m_mutex);
    if (m_progressActive && !active) {
        m_stream << "\r\033[K";
        m_stream.flush();
    }
    m_progressActive = active;
}

void CStreamOutput::DrawProgress(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_progressActive) {
        m_stream << "\r\033[K" << text;
        m_stream.flush();
    }
}

std::string FormatByteCount(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 4) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof(text), unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

CProgressLine::CProgressLine(CStreamOutput& output) : m_output(output) {
    m_output.SetProgressActive(true);
    m_thread = std::thread([this] {
        using Clock = std::chrono::steady_clock;
        const CGenerationProgress& progress = CGenerationProgress::Instance();
        const auto start = Clock::now();
        const std::uint64_t bytesAtStart = progress.Bytes();
        const std::uint64_t filesAtStart = progress.Files();
        while (!m_done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const double bytes = static_cast<double>(progress.Bytes() - bytesAtStart);
            const std::uint64_t files = progress.Files() - filesAtStart;
            m_output.DrawProgress(std::to_string(files) + " files, " + FormatByteCount(bytes) + " written, " +
                                  FormatByteCount(seconds > 0 ? bytes / seconds : 0) + "/s");
        }
    });
}

CProgressLine::~CProgressLine() {
    m_done = true;
    m_thread.join();
    m_output.SetProgressActive(false);
}

CInterruptWatcher::CInterruptWatcher(std::function<void()> onInterrupt) : m_onInterrupt(std::move(onInterrupt)) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // Threads made from now on inherit the mask, so only the watcher takes these signals.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_thread = std::thread([this, signals] {
        while (!m_done.load()) {
            const timespec pause{0, 100 * 1000 * 1000};
            if (sigtimedwait(&signals, nullptr, &pause) > 0 && !m_interrupted.exchange(true)) {
                m_onInterrupt();
            }
        }
    });
}

CInterruptWatcher::~CInterruptWatcher() {
    m_done = true;
    m_thread.join();
}
