#include "tools/FileHolder.h"

#include "tools/HoldHelperProcess.h"
#include "tools/KernelDenyHolder.h"
#include "tools/PermissionsHolder.h"

#include <cerrno>

namespace {

class CLockedFile final : public IHeldFile {
public:
    explicit CLockedFile(CKSExclusiveFile file) : m_file(std::move(file)) {}

private:
    CKSExclusiveFile m_file;
};

} // namespace

std::unique_ptr<IHeldFile> CAdvisoryLockHolder::Hold(const CKSString& path, int& error) {
    CKSExclusiveFile file;
    if (!file.Open(path)) {
        // A lock held elsewhere is told as EWOULDBLOCK whichever lock refused (fcntl says EACCES,
        // which would read as a permission problem).
        error = file.IsLockConflict() ? EWOULDBLOCK : file.GetLastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<CLockedFile>(std::move(file));
}

const char* DenyWayName(DenyWay way) {
    switch (way) {
    case DenyWay::Kernel:
        return "kernel";
    case DenyWay::Permissions:
        return "permissions";
    case DenyWay::Lock:
        break;
    }
    return "lock";
}

std::string DenyWayEffect(DenyWay way, bool failReads) {
    switch (way) {
    case DenyWay::Kernel:
        return failReads ? "other programs' opens and reads of a held file fail (EPERM)"
                         : "other programs' opens of a held file fail (EPERM)";
    case DenyWay::Permissions:
        return "a held file has mode 000: the owner's other programs get EACCES (root is not stopped)";
    case DenyWay::Lock:
        break;
    }
    return "advisory locks: only programs that lock the file (flock, fcntl) see the conflict";
}

std::shared_ptr<IFileHolder> MakeFileHolder(DenyWay way, bool failReads) {
    switch (way) {
    case DenyWay::Kernel:
        return std::make_shared<CKernelDenyHolder>(HoldHelperPath(), failReads);
    case DenyWay::Permissions:
        return std::make_shared<CPermissionsHolder>(CPermissionsJournal::UserJournal());
    case DenyWay::Lock:
        break;
    }
    return std::make_shared<CAdvisoryLockHolder>();
}
