#pragma once
// What another program gets when it tries to lock a file right now, with each kind of lock. Every
// probe opens the file anew and lets its lock go again at once.

#include <string>

struct LockProbe {
    bool flockTaken = false;
    bool ofdWriteTaken = false;
    bool ofdReadTaken = false;
    // A classic record lock, owned by the whole process.
    bool posixWriteTaken = false;

    bool AnyTaken() const { return flockTaken || ofdWriteTaken || ofdReadTaken || posixWriteTaken; }
    bool AllTaken() const { return flockTaken && ofdWriteTaken && ofdReadTaken && posixWriteTaken; }
};

// canWrite: false when the file cannot be opened for writing, so that only the reading probes run.
LockProbe ProbeLocks(const std::string& path, bool canWrite = true);
