#pragma once
// Pieces shared by the commands of fakemill-cli: numbers in the definition syntax, a log sink
// for the terminal, the progress line, and Ctrl-C.

#include "support/KSLogger.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// A whole number in the definition syntax (64KB, 1K, 0x10), none negative. False for anything
// else, so that a typing error is reported instead of read as 0.
bool ParseCliNumber(const std::string& text, std::uint64_t& value);

// Writes log lines to a stream, one per line, from any thread; counts the error and warning
// lines. Line endings inside the texts are the stream's own.
class CStreamOutput : public IOutput {
public:
    explicit CStreamOutput(std::ostream& stream) : m_stream(stream) {}

    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;
    int ErrorLines() const { return m_errorLines.load(); }

    // Lets a progress line share the stream: it is cleared before each log line and redrawn by
    // its owner.
    void SetProgressActive(bool active);
    void DrawProgress(const std::string& text);

private:
    void WriteLine(std::string line);

    std::ostream& m_stream;
    std::mutex m_mutex;
    std::atomic<int> m_errorLines{0};
    bool m_progressActive = false;
};

// Redraws "files made, bytes written, rate" a few times a second while it exists.
class CProgressLine {
public:
    explicit CProgressLine(CStreamOutput& output);
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

private:
    CStreamOutput& m_output;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Turns Ctrl-C (SIGINT) and SIGTERM into a call of the handler on a thread of its own while it
// exists. Construct it before any other thread starts, so that the signals reach only it.
class CInterruptWatcher {
public:
    explicit CInterruptWatcher(std::function<void()> onInterrupt);
    ~CInterruptWatcher();
    CInterruptWatcher(const CInterruptWatcher&) = delete;
    CInterruptWatcher& operator=(const CInterruptWatcher&) = delete;

    bool Interrupted() const { return m_interrupted.load(); }

private:
    std::function<void()> m_onInterrupt;
    std::atomic<bool> m_interrupted{false};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Human-readable byte counts for the progress line: "512 B", "3.4 MiB".
std::string FormatByteCount(double bytes);
