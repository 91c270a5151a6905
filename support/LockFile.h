#pragma once
// An exclusive lock held through a file, for processes that must not interleave their changes to
// one folder: an flock on a file made for the purpose, removed again when the lock is let go. The
// lock goes with the process even when it is killed; the file such a process leaves is taken
// over by the next holder.

#include "support/PosixFile.h"

#include <cstdint>
#include <string>

class CLockFile {
public:
    CLockFile() = default;
    // Removes the file, then lets the lock go.
    ~CLockFile();
    CLockFile(const CLockFile&) = delete;
    CLockFile& operator=(const CLockFile&) = delete;

    // Takes the lock, waiting up to the time for another holder to let it go. False with
    // "cannot lock PATH: reason" when the file cannot be made or the time passes.
    bool Lock(const std::string& path, std::uint32_t milliseconds, std::string& error);

private:
    std::string m_path;
    CUniqueFd m_fd;
};
