#pragma once
// The permissions way: a held file's mode is 000, so that its owner's other programs (and anyone
// else but root) get EACCES, and the original mode is put back on release. The original mode is
// in the journal, synced, before the mode changes. A file held twice at once keeps the mode it
// had before the first hold.

#include "tools/FileHolder.h"
#include "tools/PermissionsJournal.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

class CPermissionsHolder final : public IFileHolder, public std::enable_shared_from_this<CPermissionsHolder> {
public:
    explicit CPermissionsHolder(CPermissionsJournal journal) : m_journal(std::move(journal)) {}

    std::unique_ptr<IHeldFile> Hold(const CKSString& path, int& error) override;

private:
    friend class CModeHeldFile;
    struct Taken {
        int descriptor; // O_PATH, for the changes of mode
        std::uint32_t mode;
        std::uint32_t holds;
    };
    using InodeKey = std::pair<std::uint64_t, std::uint64_t>;
    void Release(const InodeKey& inode);

    CPermissionsJournal m_journal;
    std::mutex m_mutex;
    std::map<InodeKey, Taken> m_taken;
};
