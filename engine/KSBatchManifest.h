#pragma once
// What a batch made, for proving later that its files are still the ones generated. Generators
// report each file they saw through to its end, with the size and SHA-256 taken on the way to
// the disk; when the batch ends the manifest is written beside the files as two files, each
// replaced atomically: a checksum list that `sha256sum -c` reads and a JSON record of the run
// (program version, seed, jobs, shard, configuration, every definition's properties as used,
// and per file its path, size and SHA-256). Paths are relative to the destination folder, or
// absolute for files a definition put outside it.

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

    // Records a definition of the batch and its properties as the generators use them.
    void AddDefinition(const CKSString& name, const CKSPropertyList& properties);
    // Records a finished file; safe from any thread.
    void AddFile(const CKSString& definition, std::uint32_t index, const CKSString& path, std::uint64_t size,
                 const std::string& sha256, const CDamageRecord* damage = nullptr,
                 const CNameRecord* name = nullptr);

    // The files recorded so far, ordered by path.
    std::vector<CManifestFile> Files();
    // The texts of the two files.
    std::string ChecksumText();
    std::string JsonText(bool stopped);
    // Writes both files into the destination, each through a temporary file renamed over the
    // old one. False, with the reason, when either cannot be written.
    bool Write(bool stopped, std::string& error);

private:
    std::string RelativePath(const CKSString& path) const;

    CKSString m_destination;
    CManifestRun m_run;
    CKSSynchronizer m_lock;
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> m_definitions;
    std::vector<CManifestFile> m_files;
};

// One line of a `sha256sum` list: "HASH  PATH", or "\HASH  PATH" with backslashes and line
// breaks of the path escaped, as sha256sum writes and reads them.
std::string ChecksumLine(const std::string& sha256, const std::string& path);
// The reverse of ChecksumLine; false for a line that is not one.
bool ParseChecksumLine(std::string_view line, std::string& sha256, std::string& path);
