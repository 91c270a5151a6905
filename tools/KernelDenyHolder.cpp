#include "tools/KernelDenyHolder.h"

#include "tools/HoldHelperProcess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CKernelHeldFile final : public IHeldFile {
public:
    CKernelHeldFile(std::shared_ptr<CHoldHelperProcess> helper, std::uint32_t id)
        : m_helper(std::move(helper)), m_id(id) {}
    ~CKernelHeldFile() override { m_helper->Release(m_id); }
    CKernelHeldFile(const CKernelHeldFile&) = delete;
    CKernelHeldFile& operator=(const CKernelHeldFile&) = delete;

private:
    std::shared_ptr<CHoldHelperProcess> m_helper;
    std::uint32_t m_id;
};

// Closes a descriptor when it goes out of scope.
struct CDescriptor {
    int value;
    ~CDescriptor() {
        if (value >= 0) {
            close(value);
        }
    }
};

} // namespace

std::shared_ptr<CHoldHelperProcess> CKernelDenyHolder::HelperForThisThread(int& error) {
    std::lock_guard lock(m_mutex);
    if (m_helper && m_helperThread == std::this_thread::get_id()) {
        return m_helper;
    }
    bool refused = false;
    std::shared_ptr<CHoldHelperProcess> helper = CHoldHelperProcess::Start(m_helperPath, error, refused);
    if (helper) {
        m_helper = helper;
        m_helperThread = std::this_thread::get_id();
    }
    return helper;
}

std::unique_ptr<IHeldFile> CKernelDenyHolder::Hold(const CKSString& path, int& error) {
    // The descriptor proves to the helper that this program may open the file. Non-blocking, so
    // that a FIFO is refused rather than waited on.
    const CDescriptor file{open(path.ToUtf8().c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    struct stat status {};
    if (file.value < 0 || fstat(file.value, &status) != 0) {
        error = errno;
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        error = kHoldErrorNotRegular;
        return nullptr;
    }
    std::shared_ptr<CHoldHelperProcess> helper = HelperForThisThread(error);
    if (!helper) {
        return nullptr;
    }
    std::uint32_t id = 0;
    error = helper->Hold(file.value, m_failReads, id);
    if (error != 0) {
        return nullptr;
    }
    return std::make_unique<CKernelHeldFile>(std::move(helper), id);
}
