#include "cli/CliSupport.h"

#include "app/KSGeneratorBatch.h"
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

} // namespace

void CStreamOutput::Write(std::u16string_view text, bool error) {
    if (error) {
        (text.starts_with(u"ERROR:") ? m_errorLines : m_warningLines).fetch_add(1);
        WriteLine(Utf16ToUtf8(text), m_err);
        return;
    }
    if (m_shown == EShown::Everything || (m_shown == EShown::WithoutDetail && !IsDetailLine(text))) {
        WriteLine(Utf16ToUtf8(text), m_out);
    }
}

void CStreamOutput::WriteA(std::string_view text) {
    if (m_shown != EShown::Quiet) {
        WriteLine(std::string(text), m_out);
    }
}

void CStreamOutput::WriteLine(std::string line, std::ostream& stream) {
    // Some messages carry their own "\r\n"; the terminal gets one plain line ending.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    std::lock_guard lock(m_mutex);
    if (m_progressActive) {
        m_err << "\r\033[K";
        m_err.flush();
    }
    stream << line << '\n';
    if (m_flushEachLine || &stream == &m_err) {
        stream.flush();
    }
}

void CStreamOutput::SetProgressActive(bool active) {
    std::lock_guard lock(m_mutex);
    if (m_progressActive && !active) {
        m_err << "\r\033[K";
        m_err.flush();
    }
    m_progressActive = active;
}

void CStreamOutput::DrawProgress(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_progressActive) {
        m_out.flush();
        m_err << "\r\033[K" << text;
        m_err.flush();
    }
}

CProgressLine::CProgressLine(CStreamOutput& output, const CKSBatchControl& batch) : m_output(output) {
    m_thread = std::thread([this, &batch] {
        const CGenerationProgress& progress = batch.Progress();
        while (!m_done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kRedrawMilliseconds));
            const CKSBatchControl::Snapshot now = batch.Read();
            if (now.started) {
                m_output.DrawProgress(FormatProgress(now.files, static_cast<double>(now.bytes), now.seconds,
                                                     progress.ExpectedFiles(), progress.FractionDone()));
            }
        }
    });
    m_output.SetProgressActive(true);
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
