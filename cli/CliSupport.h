#pragma once
// Pieces shared by the commands of fakemill-cli: a log sink for the terminal, the progress line,
// and Ctrl-C.

#include "support/KSLogger.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Writes log lines, one per line, from any thread: warnings and errors to the error stream, the
// rest to the output stream. Counts the error and warning lines. Line endings inside the texts
// are the stream's own.
class CStreamOutput : public IOutput {
public:
    // Output lines reach a terminal at once; into a file or pipe they go in large writes.
    CStreamOutput(std::ostream& out, std::ostream& err, bool flushEachLine)
        : m_out(out), m_err(err), m_flushEachLine(flushEachLine) {}

    // Which lines reach the output stream: every line; all but the per-row and per-block detail
    // lines (a table of 100,000 rows would print 100,000 of them); or none. Errors and warnings
    // always reach the error stream and are counted.
    enum class EShown { Everything, WithoutDetail, Quiet };
    void SetShown(EShown shown) { m_shown = shown; }

    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;
    // Lines that begin "ERROR:", and the other warning or error lines.
    int ErrorLines() const { return m_errorLines.load(); }
    int WarningLines() const { return m_warningLines.load(); }

    // Lets a progress line share the error stream: it is cleared before each log line and redrawn
    // by its owner.
    void SetProgressActive(bool active);
    void DrawProgress(const std::string& text);

private:
    void WriteLine(std::string line, std::ostream& stream);

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_flushEachLine;
    std::mutex m_mutex;
    std::atomic<int> m_errorLines{0};
    std::atomic<int> m_warningLines{0};
    bool m_progressActive = false;
    EShown m_shown = EShown::Everything;
};

class CKSBatchControl;

// Redraws the batch's progress a few times a second while it exists: files made of the known
// total, bytes written, the share done, the rate and the time left.
class CProgressLine {
public:
    // Throws std::system_error when its thread cannot be started.
    CProgressLine(CStreamOutput& output, const CKSBatchControl& batch);
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    static constexpr int kRedrawMilliseconds = 250;

private:
    CStreamOutput& m_output;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Blocks SIGINT, SIGTERM and SIGHUP for this thread (and the threads it starts afterwards) so that the
// command can take them with Wait, at its own pace; restores the old mask when done. Make it
// before starting any thread.
class SignalCatcher {
public:
    SignalCatcher();
    ~SignalCatcher();
    SignalCatcher(const SignalCatcher&) = delete;
    SignalCatcher& operator=(const SignalCatcher&) = delete;

    // The signal taken within the time, or 0.
    int Wait(long milliseconds);

private:
    sigset_t m_set;
    sigset_t m_old;
};
