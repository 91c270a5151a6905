#pragma once
// A file held open in exclusive mode, as far as this platform has one: the file is opened (for
// reading and writing when that is permitted, else for reading only) and locked with both kinds of
// advisory lock, an exclusive flock and an open-file-description fcntl lock over the whole file (a
// write lock, or a read lock when only reading is permitted). Programs that take either kind of
// lock then fail on it; programs that take none are not stopped, because Linux has no mandatory
// locking. The locks belong to the open file, so they go when it is closed or the process dies.

#include "support/KSString.h"
#include "support/PosixFile.h"

class CKSExclusiveFile {
public:
    CKSExclusiveFile() = default;
    ~CKSExclusiveFile() = default;
    CKSExclusiveFile(CKSExclusiveFile&&) noexcept = default;
    CKSExclusiveFile& operator=(CKSExclusiveFile&&) noexcept = default;

    // Opens and locks; closes a file held before. False with the platform error kept when the
    // path does not fit the platform (ENAMETOOLONG, never cut), the file cannot be opened or
    // another program holds a lock on it (IsLockConflict).
    bool Open(const CKSString& path);
    void Close();
    bool IsOpen() const { return m_fd.IsValid(); }
    bool IsWritable() const { return m_writable; }
    int GetLastError() const { return m_error; }
    // The last Open failed because somebody else holds a lock on the file.
    bool IsLockConflict() const { return m_lockConflict; }

private:
    CUniqueFd m_fd;
    bool m_writable = false;
    bool m_lockConflict = false;
    int m_error = 0;
};
