#pragma once
// This process's standard input replaced by the given bytes while the object lives: through a
// pipe that a thread feeds and then closes, or through a file opened on it.

#include "tests/common/TempDir.h"

#include <string>
#include <thread>

class StdinReplacement {
public:
    enum class EKind { Pipe, File };
    StdinReplacement(const std::string& bytes, EKind kind);
    // Restores the standard input; a feeder still writing gets a broken pipe and ends.
    ~StdinReplacement();
    StdinReplacement(const StdinReplacement&) = delete;
    StdinReplacement& operator=(const StdinReplacement&) = delete;

private:
    TempDir m_dir;
    int m_saved;
    std::thread m_feeder;
};
