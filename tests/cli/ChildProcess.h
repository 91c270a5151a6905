#pragma once
// Runs fakemill-cli as a process of its own, reading its output line by line.

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

class ChildProcess {
public:
    // Where its error stream goes: nowhere, or into the same pipe as its output.
    enum class EErrors { Discarded, WithOutput };

    explicit ChildProcess(const std::vector<std::string>& args, EErrors errors = EErrors::Discarded);
    // Kills the process if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of its standard output (without the line feed); false at its end or when
    // nothing came within the time.
    bool ReadLine(std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(10));
    void Signal(int signal);
    // The exit status, or 128 + the signal that ended it; -1 when it did not end in time.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
    bool m_reaped = false;
};
