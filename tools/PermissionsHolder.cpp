#include "tools/PermissionsHolder.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The path that changes the mode of what an O_PATH descriptor names, whatever its name now.
std::string DescriptorPath(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

} // namespace

class CModeHeldFile final : public IHeldFile {
public:
    CModeHeldFile(std::shared_ptr<CPermissionsHolder> holder, CPermissionsHolder::InodeKey inode)
        : m_holder(std::move(holder)), m_inode(inode) {}
    ~CModeHeldFile() override { m_holder->Release(m_inode); }
    CModeHeldFile(const CModeHeldFile&) = delete;
    CModeHeldFile& operator=(const CModeHeldFile&) = delete;

private:
    std::shared_ptr<CPermissionsHolder> m_holder;
    CPermissionsHolder::InodeKey m_inode;
};

std::unique_ptr<IHeldFile> CPermissionsHolder::Hold(const CKSString& path, int& error) {
    const int descriptor = open(path.ToUtf8().c_str(), O_PATH | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0) {
        error = errno;
        if (descriptor >= 0) {
            close(descriptor);
        }
        return nullptr;
    }
    error = !S_ISREG(status.st_mode)                       ? kHoldErrorNotRegular
            : status.st_uid != geteuid() && geteuid() != 0 ? kHoldErrorOtherOwner
                                                           : 0;
    const InodeKey inode{status.st_dev, status.st_ino};
    std::lock_guard lock(m_mutex);
    const auto taken = m_taken.find(inode);
    if (error == 0 && taken != m_taken.end()) {
        taken->second.holds += 1;
        close(descriptor);
        return std::make_unique<CModeHeldFile>(shared_from_this(), inode);
    }
    if (error == 0) {
        // The journal names the file by the path the kernel gives the descriptor: absolute, and
        // the file itself rather than a link to it.
        char target[4096];
        const ssize_t length = readlink(DescriptorPath(descriptor).c_str(), target, sizeof target);
        PermissionsEntry entry;
        entry.device = status.st_dev;
        entry.inode = status.st_ino;
        entry.birth = CPermissionsJournal::BirthTime(descriptor, "", AT_EMPTY_PATH);
        entry.mode = status.st_mode & 07777;
        entry.path = length > 0 ? std::string(target, static_cast<std::size_t>(length)) : path.ToUtf8();
        error = m_journal.Add(entry);
        if (error == 0 && chmod(DescriptorPath(descriptor).c_str(), 0) != 0) {
            error = errno;
            m_journal.Remove(entry.device, entry.inode);
        }
    }
    if (error != 0) {
        close(descriptor);
        return nullptr;
    }
    m_taken.emplace(inode, Taken{descriptor, status.st_mode & 07777, 1});
    return std::make_unique<CModeHeldFile>(shared_from_this(), inode);
}

void CPermissionsHolder::Release(const InodeKey& inode) {
    std::lock_guard lock(m_mutex);
    const auto taken = m_taken.find(inode);
    if (taken == m_taken.end() || --taken->second.holds != 0) {
        return;
    }
    // The journal keeps the entry if the mode cannot be put back, for a later restore to try.
    if (chmod(DescriptorPath(taken->second.descriptor).c_str(), taken->second.mode) == 0) {
        m_journal.Remove(inode.first, inode.second);
    }
    close(taken->second.descriptor);
    m_taken.erase(taken);
}
