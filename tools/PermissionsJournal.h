#pragma once
// The record of the modes the permissions way has taken away, so that none is lost when a run is
// killed: each entry is written and synced before the mode changes, and cleared when the mode is
// back. Entries name the run's process (pid and start time), so that a start of either program
// puts back only what ended runs left.
//
// One line an entry: "pid start dev inode birth mode hex-of-the-path". Changes are made under a lock
// file and written whole to a new file that replaces the journal, so a crash leaves either the
// old journal or the new one.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct PermissionsEntry {
    pid_t pid = 0;
    std::uint64_t processStart = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // The file's birth time in nanoseconds (0 where the filesystem keeps none): a new file that
    // was given the inode number of a deleted one has another.
    std::uint64_t birth = 0;
    std::uint32_t mode = 0;
    std::string path;
};

class CPermissionsJournal {
public:
    // The journal at this path (its folder is made when missing).
    explicit CPermissionsJournal(std::string path) : m_path(std::move(path)) {}
    // The user's journal, in the program's data folder.
    static CPermissionsJournal UserJournal();

    // Records an entry for this process; 0 once it is on disk, else an errno.
    int Add(const PermissionsEntry& entry) const;
    // Clears this process's entry for the inode; 0 or an errno.
    int Remove(std::uint64_t device, std::uint64_t inode) const;
    // Puts back the modes that ended runs left, clears their entries, and tells each step in a
    // line of words ("put back ...", "left alone ..."); entries of runs still going stay.
    std::vector<std::string> Restore() const;

    const std::string& Path() const { return m_path; }

    // This process's start time, as the kernel counts it (identifies the process with its pid).
    static std::uint64_t ProcessStart(pid_t pid);
    // The birth time of the file the descriptor or path names (statx), 0 when unknown.
    static std::uint64_t BirthTime(int directory, const char* path, int flags);

private:
    // Reads the entries, lets change edit them, and writes them back, under the lock; 0 or an errno.
    template <typename Change>
    int Update(Change change) const;

    std::string m_path;
};
