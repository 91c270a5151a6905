#pragma once
// The ways the file exerciser holds a file against other programs. Its agent takes and lets go of
// its targets only through an IFileHolder, so that another way of holding (the kernel refusing
// other programs' opens, say) is one more holder and nothing else changes.

#include "support/KSExclusiveFile.h"
#include "support/KSString.h"

#include <memory>

// A file being held; destroying it lets the file go.
class IHeldFile {
public:
    virtual ~IHeldFile() = default;
};

class IFileHolder {
public:
    virtual ~IFileHolder() = default;
    // Holds the file, on the agent's thread; null with the platform error when it cannot
    // (EWOULDBLOCK when another program's lock is in the way).
    virtual std::unique_ptr<IHeldFile> Hold(const CKSString& path, int& error) = 0;
};

// The advisory way: the file open with an exclusive flock and an OFD fcntl lock (CKSExclusiveFile),
// which stops the programs that take either lock and no others.
class CAdvisoryLockHolder final : public IFileHolder {
public:
    std::unique_ptr<IHeldFile> Hold(const CKSString& path, int& error) override;
};
