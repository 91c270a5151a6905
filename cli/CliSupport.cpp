#include "cli/CliSupport.h"

#include "engine/GenerationProgress.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <pthread.h>

namespace {

// The line the table generator logs at the end of every row.
bool IsDetailLine(std::u16string_view text) {
    return text.find(u"bytes at end of block.") != std::u16string_view::npos;
}

// "Generator finished 10:42" or "3 generators finished 10:42".
bool IsFinishedLine(std::u16string_view text) {
    return text.find(u"enerator finished ") != std::u16string_view::npos ||
           text.find(u"generators finished ") != std::u16string_view::npos;
}

} // namespace

void CStreamOutput::Write(std::u16string_view text, bool error) {
    if (error) {
        m_errorLines.fetch_add(1);
    }
    const bool shown = error || m_shown == EShown::Everything ||
                       (m_shown == EShown::WithoutDetail ? !IsDetailLine(text) : IsFinishedLine(text));
    if (shown) {
        WriteLine(Utf16ToUtf8(text));
    }
}

void CStreamOutput::WriteA(std::string_view text) {
    WriteLine(std::string(text));
}

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
    if (m_flushEachLine) {
        m_stream.flush();
    }
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
            m_output.DrawProgress(FormatProgress(files, bytes, seconds));
        }
    });
}

CProgressLine::~CProgressLine() {
    m_done = true;
    m_thread.join();
    m_output.SetProgressActive(false);
}

SignalCatcher::SignalCatcher() {
    sigemptyset(&m_set);
    sigaddset(&m_set, SIGINT);
    sigaddset(&m_set, SIGTERM);
    // A dropped ssh session ends the command as SIGTERM does, not in the middle of a file.
    sigaddset(&m_set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
}

SignalCatcher::~SignalCatcher() {
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

int SignalCatcher::Wait(long milliseconds) {
    const timespec timeout{milliseconds / 1000, (milliseconds % 1000) * 1000000};
    const int signal = sigtimedwait(&m_set, nullptr, &timeout);
    return signal > 0 ? signal : 0;
}
