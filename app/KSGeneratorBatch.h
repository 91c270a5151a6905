#pragma once
// A batch: the definitions of one Generate command, the configuration file they come from, the
// destination folder and the output that shows the batch's messages. Owned by the generator
// worker from the moment it is queued to the end of the process.

#include "engine/KSFileGenerator.h"
#include "support/KSLogger.h"
#include "support/KSString.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CKSLogger;

// An output that can also be brought into view, as a batch's output window is when the batch
// starts.
class IShowableOutput : public IOutput {
public:
    virtual void Show() = 0;
};

// How the generators of a batch run: the pause after each file; for reproducible runs, the
// seed each generator mixes with its definition name; how many files are made at once (0: one
// per processor); the shard of the files this process makes; and whether a manifest is written.
struct CBatchOptions {
    std::uint32_t paceMilliseconds = 100;
    std::optional<std::uint32_t> seed;
    std::uint32_t jobs = 0;
    CFileShard shard{};
    bool manifest = false;
};

// The files made at once for that option: jobs itself, or the processors' count for 0; at
// least 1, at most the worker list's pumps.
std::uint32_t EffectiveJobs(std::uint32_t jobs);

class CKSGeneratorBatch {
public:
    CKSGeneratorBatch(std::vector<CKSString> definitionNames, CKSString configFile, CKSString destination,
                      std::shared_ptr<IOutput> output, CBatchOptions options = {});
    virtual ~CKSGeneratorBatch() = default;

    void SetName(const CKSString& name) { m_name = name; }
    const CKSString& GetName() const { return m_name; }
    const std::vector<CKSString>& GetDefinitionNames() const { return m_definitionNames; }
    const CKSString& GetConfigFile() const { return m_configFile; }
    const CKSString& GetDestination() const { return m_destination; }
    IOutput* GetOutput() const { return m_output.get(); }
    const CBatchOptions& GetOptions() const { return m_options; }

    // Records a generator that could be created: its definition name and output folder.
    void AddFile(const CKSString& definitionName, const CKSString& outputFolder);
    const std::vector<std::pair<CKSString, CKSString>>& GetFiles() const { return m_files; }
    // "Generator finished %s" or "%u generators finished %s", counting the names asked for.
    void LogFinished(CKSLogger& logger) const;

private:
    CKSString m_name{u""};
    std::vector<CKSString> m_definitionNames;
    CKSString m_configFile;
    CKSString m_destination;
    std::vector<std::pair<CKSString, CKSString>> m_files;
    std::shared_ptr<IOutput> m_output;
    CBatchOptions m_options;
};

// A snapshot of a finished batch for the history: its name and (output folder, definition name)
// pairs in the order of its files.
class CKSBatchInfo {
public:
    explicit CKSBatchInfo(const CKSGeneratorBatch& batch);
    const CKSString& GetName() const { return m_name; }
    const std::vector<std::pair<CKSString, CKSString>>& GetFolders() const { return m_folders; }

private:
    CKSString m_name;
    std::vector<std::pair<CKSString, CKSString>> m_folders;
};

class IBatchInfoProvider {
public:
    virtual ~IBatchInfoProvider() = default;
    // A snapshot of the oldest finished batch of that exact name, or null.
    virtual std::unique_ptr<CKSBatchInfo> GetBatchInfo(std::u16string_view name) = 0;
};

// The display name of a batch: "'%s' started %s %s" for one definition, "'%s+' (%u total)
// started %s %s" for several, with the local short date and the time without seconds; empty for
// none.
class CBatchName : public CKSString {
public:
    explicit CBatchName(const std::vector<CKSString>& definitionNames);
};
