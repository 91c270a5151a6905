#pragma once
// What a seeded run needs to complete a batch in a folder that may already hold some of its files
// (a retried shard, a run killed and started again): the names this run has claimed so far, what
// the shard's earlier manifest lists, and the comparison of a file found at a name with the file
// the run regenerates for it. Shared by every generator of one batch; safe from any thread.

#include "support/KSString.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

class CSeededBatchFiles {
public:
    // What the earlier manifest says of a path.
    enum class EListed { No, ThisFile, AnotherFile };
    // How a file found at a name compares with the one regenerated for it.
    enum class EMatch { Same, CutShort, Different };

    // Reads the files an earlier JSON manifest of this batch lists (a missing or unreadable one
    // lists nothing).
    void LoadEarlierManifest(const CKSString& jsonPath);
    EListed Listed(const CKSString& path, const CKSString& definition, std::uint32_t index) const;

    // Records a name this run created; answers false when it had already.
    bool Claim(const CKSString& path);
    bool IsClaimed(const CKSString& path) const;

    // Compares the file at existing (never through a link) with the regenerated one: the same
    // bytes, a strict prefix of them (a file cut short), or anything else.
    static EMatch Compare(const CKSString& existing, const CKSString& regenerated);

private:
    struct CListing {
        std::string definition;
        std::uint32_t index = 0;
    };

    std::unordered_map<std::string, CListing> m_earlier;
    mutable std::mutex m_mutex;
    std::unordered_set<std::string> m_claimed;
};
