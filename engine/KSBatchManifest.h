#pragma once
// What a batch made, for proving later that its files are still the ones generated. Generators
// report each file they saw through to its end, with the size and SHA-256 taken on the way to
// the disk; when the batch ends the manifest is written beside the files as two files: a checksum
// list that `sha256sum -c` reads and a JSON record of the run (program version, seed, jobs, shard,
// configuration, every definition's properties as used, per file its path, size and SHA-256, and
// the SHA-256 of the checksum list written with it). Paths are relative to the destination
// folder, or absolute for files a definition put outside it. The pair is written as one unit:
// under a lock in the destination, both files are written in full beside their names, then
// renamed into place, so that two batches writing into one folder never leave a mixed pair.

#include "engine/KSFileGenerator.h"
#include "support/KSString.h"
#include "support/KSSynchronizer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CKSPropertyList;

struct CManifestFile {
    std::string path; // UTF-8, relative to the destination, '/' between folders
    std::string definition;
    std::uint32_t index = 0;
    std::uint64_t size = 0;
    std::string sha256; // lower-case hexadecimal
    // What was done to the file on purpose, and what is hostile about its name.
    std::optional<CDamageRecord> damage;
    std::optional<CNameRecord> name;
};

struct CManifestRun {
    std::optional<std::uint32_t> seed;
    std::uint32_t jobs = 1;
    CFileShard shard;
    CKSString configFile{u""};
};

class CKSBatchManifest {
public:
    CKSBatchManifest(CKSString destination, CManifestRun run);

    // The names of the two files: fakemill.sha256 and fakemill-manifest.json for a whole batch;
    // a shard's carry its place ("fakemill-shard-2-of-3.sha256"), so that shards writing into one
    // shared folder do not replace one another's.
    static CKSString ChecksumFileName(CFileShard shard);
    static CKSString JsonFileName(CFileShard shard);
    // Whether a file name is one of the names above (of any shard) or the lock taken while they
    // are written: the files a batch folder holds besides the generated ones.
    static bool IsManifestName(std::string_view name);

    // Records a definition of the batch and its properties as the generators use them; the
    // record lists definitions by order (their place in the batch). Safe from any thread.
    void AddDefinition(std::size_t order, const CKSString& name, const CKSPropertyList& properties);
    // Records a finished file; safe from any thread.
    void AddFile(const CKSString& definition, std::uint32_t index, const CKSString& path, std::uint64_t size,
                 const std::string& sha256, const CDamageRecord* damage = nullptr,
                 const CNameRecord* name = nullptr);

    // The files recorded so far, ordered by path.
    std::vector<CManifestFile> Files();
    // The texts of the two files.
    std::string ChecksumText();
    // checksumSha256: the SHA-256 of the checksum list written with it.
    std::string JsonText(bool stopped, const std::string& checksumSha256);
    // Writes both files into the destination as described above; a link standing at either name
    // is replaced, never followed. False, with the file and the system's reason, when either
    // cannot be written whole; then neither is replaced.
    bool Write(bool stopped, std::string& error);

private:
    std::string RelativePath(const CKSString& path) const;

    CKSString m_destination;
    CManifestRun m_run;
    CKSSynchronizer m_lock;
    struct CDefinition {
        std::size_t order = 0;
        std::string name;
        std::vector<std::pair<std::string, std::string>> values;
    };
    std::vector<CDefinition> m_definitions;
    std::vector<CManifestFile> m_files;
};
