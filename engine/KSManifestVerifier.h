#pragma once
// Checks that the files a batch's manifests list are still the ones generated, as strictly as
// `sha256sum -c`: each is looked up, its size compared and its content hashed again (SHA-256 over
// OpenSSL, several files at once). A batch folder is checked as a whole: every manifest in it
// (both formats, every shard's) must agree with the others, every listed file must lie inside it,
// and every file in it must be listed. A damaged file's record of the bytes written is read back at
// its offsets.

#include "support/KSString.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct CVerifyEntry {
    std::string path;  // as listed
    std::string where; // the path to open (relative paths joined to the manifest's folder)
    std::optional<std::uint64_t> size;
    std::string sha256;
    // The first manifest (file name) that lists it.
    std::string listedBy;
    // The bytes a damaged file was recorded to hold, by offset (from a JSON manifest).
    std::vector<std::pair<std::uint64_t, std::string>> damage;
};

enum class EVerifyOutcome { Ok, Missing, SizeChanged, ContentChanged, Unreadable, Outside, DamageDiffers };

struct CVerifyResult {
    EVerifyOutcome outcome = EVerifyOutcome::Ok;
    std::uint64_t foundSize = 0;
    // Where the file does not hold the damage recorded.
    std::uint64_t damageOffset = 0;
};

class CKSManifestVerifier {
public:
    // Loads one manifest file (the JSON record or a sha256sum list), or every manifest in a
    // folder. False, with the reason, when the target is neither a regular file nor a folder,
    // when a folder holds no manifest, when a manifest cannot be read or is malformed (a line
    // over 64 KiB among them), or when the manifests list no file at all.
    bool Load(const CKSString& target, std::string& error);
    const std::vector<CVerifyEntry>& Entries() const { return m_entries; }
    // Whether any loaded record says its batch was stopped.
    bool AnyStopped() const { return m_stopped; }
    // Where manifests of one folder contradict one another: two that list a file differently,
    // or a checksum list that is not the one its JSON record was written with. One line each,
    // naming the files.
    const std::vector<std::string>& Disagreements() const { return m_disagreements; }

    // Checks every entry, on up to threads threads at once; results in the order of Entries. An
    // entry that lies outside the batch folder (an absolute path, "..", or a link leading out)
    // is not opened: its outcome is Outside.
    std::vector<CVerifyResult> Verify(unsigned threads) const;
    static CVerifyResult VerifyOne(const CVerifyEntry& entry);

    // The files under the loaded folder, by path relative to it, that no manifest lists
    // (manifests and their lock aside); empty when a single manifest file was loaded.
    std::vector<std::string> FindExtraFiles() const;

private:
    // What a JSON record says of the checksum list written with it: its name and SHA-256.
    struct CPairedList {
        std::string name;
        std::string sha256;
    };

    bool LoadFolder(const std::string& folder, std::string& error);
    bool LoadFile(const std::string& path, std::string& error, CPairedList* paired = nullptr);
    bool LoadJson(const std::string& path, const std::string& bytes, std::string& error, CPairedList* paired);
    bool LoadChecksums(const std::string& path, int fd, std::string& error);
    // Adds an entry unless one of the same file is there; notes a disagreement when they differ.
    void AddEntry(CVerifyEntry entry);
    bool IsInsideBatch(const CVerifyEntry& entry) const;

    std::vector<CVerifyEntry> m_entries;
    // Entries by the normalised path they open.
    std::unordered_map<std::string, std::size_t> m_entryByPath;
    std::vector<std::string> m_disagreements;
    // The batch folder (the manifest's own folder for a single file), canonical.
    std::string m_batchFolder;
    bool m_wholeFolder = false;
    bool m_stopped = false;
};
