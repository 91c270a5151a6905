#include "tools/PermissionsJournal.h"

#include "support/MakePath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ToHex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : text) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string& text) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    text.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(hex.c_str() + i, "%2x", &value) != 1) {
            return false;
        }
        text += static_cast<char>(value);
    }
    return true;
}

std::vector<PermissionsEntry> ReadEntries(const std::string& path) {
    std::vector<PermissionsEntry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        PermissionsEntry entry;
        std::string hex;
        long long pid = 0;
        if (fields >> pid >> entry.processStart >> entry.device >> entry.inode >> entry.birth >> std::oct >>
                entry.mode >> hex &&
            pid > 0 && entry.mode <= 07777 && FromHex(hex, entry.path)) {
            entry.pid = static_cast<pid_t>(pid);
            entries.push_back(entry);
        }
    }
    return entries;
}

// Writes the entries to a new file, syncs it and puts it in the journal's place; 0 or an errno.
int WriteEntries(const std::string& path, const std::vector<PermissionsEntry>& entries) {
    std::string text;
    for (const PermissionsEntry& entry : entries) {
        std::ostringstream line;
        line << entry.pid << ' ' << entry.processStart << ' ' << entry.device << ' ' << entry.inode << ' '
             << entry.birth << ' ' << std::oct << entry.mode << ' ' << ToHex(entry.path) << '\n';
        text += line.str();
    }
    const std::string fresh = path + ".new";
    const int file = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) {
        return errno;
    }
    const bool written =
        write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(file) == 0;
    const int error = errno;
    close(file);
    if (!written || std::rename(fresh.c_str(), path.c_str()) != 0) {
        return written ? errno : error;
    }
    // The rename itself is on disk once the folder is synced.
    const int folder =
        open(std::filesystem::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return 0;
}

bool IsAlive(const PermissionsEntry& entry) {
    return CPermissionsJournal::ProcessStart(entry.pid) == entry.processStart && entry.processStart != 0;
}

} // namespace

CPermissionsJournal CPermissionsJournal::UserJournal() {
    return CPermissionsJournal(CKnownPath(KnownFolder::LocalAppData, u"fakemill/exerciser-modes").ToNative());
}

std::uint64_t CPermissionsJournal::ProcessStart(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold spaces; the fields after it are plain. starttime is the
    // 22nd field, the 20th after the closing parenthesis.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int i = 0; i < 20 && fields >> field; ++i) {
    }
    std::uint64_t start = 0;
    return fields >> start ? start : 0;
}

std::uint64_t CPermissionsJournal::BirthTime(int directory, const char* path, int flags) {
    struct statx status {};
    if (statx(directory, path, flags, STATX_BTIME, &status) != 0 || (status.stx_mask & STATX_BTIME) == 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(status.stx_btime.tv_sec) * 1000000000U + status.stx_btime.tv_nsec;
}

template <typename Change>
int CPermissionsJournal::Update(Change change) const {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ignored);
    const std::string lockPath = m_path + ".lock";
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        return errno;
    }
    int error = 0;
    if (flock(lock, LOCK_EX) != 0) {
        error = errno;
    } else {
        std::vector<PermissionsEntry> entries = ReadEntries(m_path);
        if (change(entries)) {
            error = WriteEntries(m_path, entries);
        }
    }
    close(lock);
    return error;
}

int CPermissionsJournal::Add(const PermissionsEntry& entry) const {
    return Update([&](std::vector<PermissionsEntry>& entries) {
        entries.push_back(entry);
        entries.back().pid = getpid();
        entries.back().processStart = ProcessStart(getpid());
        return true;
    });
}

int CPermissionsJournal::Remove(std::uint64_t device, std::uint64_t inode) const {
    const pid_t self = getpid();
    return Update([&](std::vector<PermissionsEntry>& entries) {
        const auto found = std::find_if(entries.begin(), entries.end(), [&](const PermissionsEntry& entry) {
            return entry.pid == self && entry.device == device && entry.inode == inode;
        });
        if (found == entries.end()) {
            return false;
        }
        entries.erase(found);
        return true;
    });
}

std::vector<std::string> CPermissionsJournal::Restore() const {
    std::vector<std::string> told;
    // Nothing recorded is the common case: no lock file is made for it. (The overload without an
    // error code throws where the folder may not be read.)
    std::error_code unreadable;
    if (!std::filesystem::exists(m_path, unreadable)) {
        return told;
    }
    const int error = Update([&](std::vector<PermissionsEntry>& entries) {
        const std::size_t before = entries.size();
        std::erase_if(entries, [&](const PermissionsEntry& entry) {
            if (IsAlive(entry)) {
                return false;
            }
            struct stat status {};
            char mode[8];
            std::snprintf(mode, sizeof mode, "%04o", entry.mode);
            if (stat(entry.path.c_str(), &status) != 0) {
                told.push_back("left alone " + entry.path + ": it is gone (" + std::strerror(errno) + ")");
            } else if (status.st_dev != entry.device || status.st_ino != entry.inode ||
                       BirthTime(AT_FDCWD, entry.path.c_str(), 0) != entry.birth) {
                told.push_back("left alone " + entry.path +
                               ": it was replaced by another file since it was held");
            } else if (chmod(entry.path.c_str(), entry.mode) != 0) {
                told.push_back("could not put back mode " + std::string(mode) + " of " + entry.path + ": " +
                               std::strerror(errno));
                return false;
            } else {
                told.push_back("put back mode " + std::string(mode) + " of " + entry.path);
            }
            return true;
        });
        return entries.size() != before;
    });
    if (error != 0) {
        told.push_back("could not update " + m_path + ": " + std::strerror(error));
    }
    return told;
}
