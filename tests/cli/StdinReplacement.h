#pragma once
// This process's standard input replaced while the object lives: by a pipe that a thread feeds
// with bytes (then closes), or by a file. The commands read it as they would a terminal's, a
// pipe's or a redirection's.

#include <string>
#include <thread>

class StdinReplacement {
public:
    static StdinReplacement Piped(std::string bytes);
    static StdinReplacement FromFile(const std::string& path);
    // Restores the standard input; a feeder still writing gets a broken pipe and ends.
    ~StdinReplacement();
    StdinReplacement(StdinReplacement&& other) noexcept;
    StdinReplacement(const StdinReplacement&) = delete;
    StdinReplacement& operator=(const StdinReplacement&) = delete;
    StdinReplacement& operator=(StdinReplacement&&) = delete;

private:
    StdinReplacement();
    int m_saved = -1;
    std::thread m_feeder;
};
