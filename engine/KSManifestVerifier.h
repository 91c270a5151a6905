#pragma once
// Checks that the files a manifest lists are still the ones generated: each is looked up,
// its size compared and its content hashed again (SHA-256 over OpenSSL, several files at once).

#include "support/KSString.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CVerifyEntry {
    std::string path;  // as listed
    std::string where; // the path to open (relative paths joined to the manifest's folder)
    std::optional<std::uint64_t> size;
    std::string sha256;
    // The bytes a damaged file was recorded to hold, by offset (from a JSON manifest).
    std::vector<std::pair<std::uint64_t, std::string>> damage;
};

enum class EVerifyOutcome { Ok, Missing, SizeChanged, ContentChanged, Unreadable, DamageDiffers };

struct CVerifyResult {
    EVerifyOutcome outcome = EVerifyOutcome::Ok;
    std::uint64_t foundSize = 0;
    // Where the file does not hold the damage recorded.
    std::uint64_t damageOffset = 0;
};

class CKSManifestVerifier {
public:
    // Loads one manifest file (the JSON record or a sha256sum list), or every manifest in a folder:
    // its JSON records (fakemill-manifest*.json), or its fakemill*.sha256 lists when it has none.
    // False, with the reason, when nothing can be read or a manifest is malformed.
    bool Load(const CKSString& target, std::string& error);
    const std::vector<CVerifyEntry>& Entries() const { return m_entries; }
    // Whether any loaded record says its batch was stopped.
    bool AnyStopped() const { return m_stopped; }

    // Checks every entry, on up to threads threads at once; results in the order of Entries.
    std::vector<CVerifyResult> Verify(unsigned threads) const;
    static CVerifyResult VerifyOne(const CVerifyEntry& entry);

private:
    bool LoadFile(const CKSString& path, std::string& error);
    bool LoadJson(const CKSString& path, const std::string& bytes, std::string& error);
    bool LoadChecksums(const CKSString& path, const std::string& bytes, std::string& error);

    std::vector<CVerifyEntry> m_entries;
    bool m_stopped = false;
};
