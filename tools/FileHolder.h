#pragma once
// The ways the file exerciser holds a file against other programs. Its agent takes and lets go of
// its targets only through an IFileHolder: the kernel refusing other programs' opens
// (CKernelDenyHolder), the file's permission bits (CPermissionsHolder) or advisory locks.

#include "support/KSExclusiveFile.h"
#include "support/KSString.h"

#include <memory>
#include <string>

// How a run holds its files, chosen per run.
enum class DenyWay {
    Kernel,      // the kernel refuses other programs' opens (EPERM), through the hold helper
    Permissions, // mode 000 while held (EACCES for everyone but root), the mode put back after
    Lock,        // advisory flock and OFD locks: only programs that lock see the conflict
};
// The word for a way in logs and on the command line ("kernel", "permissions", "lock").
const char* DenyWayName(DenyWay way);

// What other programs meet under a way, in words for a log or a dialog.
std::string DenyWayEffect(DenyWay way, bool failReads);

// Why a file could not be held, beside the platform's errno values.
inline constexpr int kHoldErrorNotRegular = -1; // not a regular file (a FIFO, a folder, a device)
inline constexpr int kHoldErrorOtherOwner = -2; // another user's file, under permissions

// A file being held; destroying it lets the file go.
class IHeldFile {
public:
    virtual ~IHeldFile() = default;
};

class IFileHolder {
public:
    virtual ~IFileHolder() = default;
    // Holds the file, on the agent's thread; null with the platform error when it cannot
    // (EWOULDBLOCK when another program's lock is in the way) or a kHoldError... value.
    virtual std::unique_ptr<IHeldFile> Hold(const CKSString& path, int& error) = 0;
};

// Makes the holder for a way (failReads: the kernel way refuses reads through descriptors
// opened before the hold too).
std::shared_ptr<IFileHolder> MakeFileHolder(DenyWay way, bool failReads);

// The advisory way: the file open with an exclusive flock and an OFD fcntl lock (CKSExclusiveFile),
// which stops the programs that take either lock and no others.
class CAdvisoryLockHolder final : public IFileHolder {
public:
    std::unique_ptr<IHeldFile> Hold(const CKSString& path, int& error) override;
};
