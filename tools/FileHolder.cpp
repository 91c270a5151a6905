#include "tools/FileHolder.h"

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
