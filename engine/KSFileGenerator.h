#pragma once
// The abstract base of every generator. One generator stands for one definition and, when run,
// writes a batch of files for it into one output folder: it decides how many files to make,
// claims a free name for each, creates the file, lets the concrete kind fill it, and closes it.
// A generator is a job of the worker pumps and is its own output file (a virtual base shared
// with its generation policy).

#include "engine/FileDamage.h"
#include "engine/HostileNames.h"
#include "engine/KSFileDigest.h"
#include "engine/KSOutFile.h"
#include "engine/Randomizer.h"
#include "engine/StopEvent.h"
#include "properties/KSPropertyList.h"
#include "support/KSLogger.h"
#include "support/KSWorker.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CKSBatchManifest;
class CSeededBatchFiles;

// The part of a batch's files that one process makes. The files of every definition of the batch
// are dealt out as one sequence, definition after definition, starting at the definition's offset
// in it: in each round of count files, shard index takes one, the rounds going up and down in
// turn (0, 1, .., count-1, then count-1, .., 0), so that no shard holds more than one file above
// the average and each definition's files spread over all shards. The whole batch is shard 0 of
// 1, which takes every file in order.
struct CFileShard {
    std::uint32_t index = 0;
    std::uint32_t count = 1;
    // The definition's first place in the batch's sequence.
    std::uint64_t offset = 0;
};

// The files of one definition in a batch, shared by the generators that make them side by side:
// the count and file-name interval drawn for the definition, the process's shard, and the next
// index to hand out. Each index is handed out once, so no file is made twice.
class CKSFileWork {
public:
    CKSFileWork(std::uint32_t count, std::int32_t interval, CFileShard shard);

    // The next index to make; false when none is left or the work was abandoned.
    bool Take(std::uint32_t& index);
    // No index is handed out any more (a fatal error in one part ends them all).
    void Abandon() { m_abandoned = true; }
    // The definition's whole count, and how many of its indexes fall in the shard.
    std::uint32_t GetCount() const { return m_count; }
    std::uint32_t CountInShard() const;
    std::int32_t GetInterval() const { return m_interval; }
    // Moves the work to another shard; only before the first Take.
    void SetShard(CFileShard shard);
    // Registers one more generator on the work; answers its part number (from 0).
    std::uint32_t AddPart() { return m_parts++; }
    std::uint32_t GetParts() const { return m_parts.load(); }

private:
    // The place in the batch's sequence of the shard's file in that round.
    std::uint64_t PlaceInRound(std::uint64_t round) const;
    // How many of the places below place are the shard's.
    std::uint64_t ShardPlacesBelow(std::uint64_t place) const;

    const std::uint32_t m_count;
    const std::int32_t m_interval;
    CFileShard m_shard;
    // The shard's places before the definition's first, so that Take's n-th file is in round
    // m_firstRound + n.
    std::uint64_t m_firstRound = 0;
    std::atomic<std::uint64_t> m_next{0};
    std::atomic<std::uint32_t> m_parts{0};
    std::atomic<bool> m_abandoned{false};
};

class CGenerationProgress;

class CKSFileGenerator : public CKSWorker,
                         public virtual CKSOutFile,
                         public virtual CRandomizer,
                         public virtual CStopListener,
                         public CKSIsLogging {
public:
    // Most candidate names tried for one file.
    static constexpr int kMaxNameAttempts = 256;
    // Wait on the quit event after each file, in milliseconds.
    static constexpr std::uint32_t kDefaultPaceMilliseconds = 100;

    explicit CKSFileGenerator(CKSLogger* logger);
    // Stages belong to the generator: none may outlive it in the file that is still open.
    ~CKSFileGenerator() override;

    // The job: seeds the calling thread's random source, then Generate.
    void Run() override;

    // A new generator of the same kind that makes this definition's files side by side with
    // this one: both take file indexes from one shared counter. May be called again for more
    // parts. Null when no more parts than files would result or the kind makes no siblings.
    virtual std::unique_ptr<CKSFileGenerator> Split();
    // Handing the properties out for a change forgets whether they were found sound.
    virtual CKSPropertyList& GetProperties() {
        m_soundness.reset();
        return m_properties;
    }
    const CKSPropertyList& GetProperties() const { return m_properties; }
    // Appends the kind's own properties to the list.
    virtual void AddTypeProperties() = 0;
    // "Extension" when not empty, otherwise "Type".
    virtual CKSString GetExtension();
    // Whether the definition has a meaningful "Size" for the definition list.
    virtual bool HasSize() const { return true; }
    virtual void SelfTest(std::uint32_t count) = 0;
    // The generation run.
    virtual void Generate();
    // Writes the content of the file that is open.
    virtual void GenerateContent() = 0;
    // Chooses a free name for file number index, claims it and creates the file; answers whether
    // the file is open. path receives the last candidate.
    virtual bool CreateNextFile(std::uint32_t index, CKSString& path);
    // Creates the file at path, claiming the name: an existing file is never replaced. Answers
    // whether the file is open; LastOpenError tells why not.
    virtual bool OpenOutput(const CKSString& path);
    // The property that makes the definition impossible to generate, with the value as written
    // and why: a value the syntax refused, a range that cannot be drawn from, more files than a
    // definition can make. Null when there is none.
    const CKSProperty* FindProblem(CKSString& value, std::u16string& reason) const;
    // Whether FindProblem finds nothing; logs the error naming the key when it does, and then
    // nothing is generated.
    bool DefinitionIsSound() const;
    // Why the definition's damage, names and other file options cannot be used (an unknown
    // damage class for the kind, say); empty when they can. The base checks what every kind
    // shares; kinds with their own options add theirs.
    virtual std::u16string OptionsProblem() const;
    // Whether FindProblem and OptionsProblem both find nothing, without a word. Answered once and
    // kept while the properties stay as they are: a batch asks several times per definition,
    // which for thousands of one-file definitions cost more than their files.
    bool IsSound() const;
    // The kind's own damage classes, as the "Damage" key names them (besides the common ones).
    virtual std::vector<std::string_view> OwnDamageClasses() const { return {}; }
    // The format whose damage classes the files get ("png", "csv", ...); empty for a kind that
    // has none of its own.
    virtual std::string DamageFormat() const { return {}; }
    // Closes the output file (which writes out its buffer).
    virtual void CloseOutput(const CKSString& path);
    // Drops a file this run created and could not finish (a stop, a write error, a failure of
    // its content): closes it without writing its buffer, deletes it and logs the path and why,
    // so that no cut-short file is left looking like a finished one.
    virtual void RemoveUnfinished(const CKSString& path, std::u16string_view reason);
    // A default-constructed generator of the same kind with that logger; null in the base.
    virtual std::unique_ptr<CKSFileGenerator> CreateSibling(CKSLogger*) { return nullptr; }
    virtual void ApplySizeLimit(std::uint64_t) {}
    // Hands the byte target and limit of the next file to the policy; the base declines.
    virtual bool ApplySize(std::uint64_t, std::uint64_t) { return false; }
    // Whether the word model is loaded, loading it first when it is not.
    virtual bool EnsureWordModel();
    virtual void SetTrailerCheck(bool) {}
    virtual bool GetTrailerCheck() const { return false; }

    // "Type", "Prefix" (or "fkx" when empty), and the display name "%s generator".
    CKSString GetType() const;
    CKSString GetPrefix() const;
    void SetName();
    const CKSString& GetDisplayName() const { return m_name; }
    // The name a definition is shown and summarised under (the wizard names it after its section).
    void SetDisplayName(std::u16string_view name) { m_name = CKSString(name); }
    // The folder becomes base, base joined with a relative "Folder", or an absolute "Folder".
    // Answers whether "Folder" was applied.
    bool SetOutputFolder(const CKSString& base);
    const CKSString& GetOutputFolder() const { return m_folder; }
    // target = a draw over "Size", limit = its maximum; then ApplySize or ApplySizeLimit.
    void ApplySizeProperty();
    std::int64_t GetSizeMinimum() const;
    void DescribeProperties(IPropertyInfo& info);

    // This generator's nominal share of the files once they are drawn (the work is taken as the
    // parts run, so a fast part may make more); 0 before.
    std::uint32_t GetAssignedFiles() const;
    // Logs, once for the definition, how many files it makes, in how many parallel parts and
    // where: "'NAME' generating 3 files in 2 parallel parts". The first part's Generate calls it;
    // a caller that splits calls it before starting the siblings, so that the line comes first.
    // Says nothing for a definition that cannot be generated (Generate says why).
    void AnnounceWork();
    // The definition the files are made for, which the log names; the display name when unset.
    void SetDefinitionName(const CKSString& name) { m_definitionName = name; }
    std::int32_t GetDiscriminator() const { return m_discriminator; }
    std::int32_t GetInterval() const { return m_interval; }

    // Reproducible runs: when a seed is set, the file count, the name interval and every file's
    // content come from it (each file from FileSeed of it and the file's index), not the clock.
    void SetSeed(std::optional<std::uint32_t> seed) { m_seed = seed; }
    // Makes only the shard's files (before the first Split or run).
    void SetShard(CFileShard shard);
    // Draws the definition's file count now (once for all parts) and answers it.
    std::uint32_t DrawFileCount();
    // About how many bytes one file of the definition takes, for dealing the files of a batch
    // out to shards evenly: the middle of "Size" in the base; 1 when the kind has no size.
    virtual std::uint64_t ExpectedFileBytes() const;
    // A seeded run finds its own files there and completes the batch instead of adding to it
    // (not owned; null when the run is not seeded); the definition's name tells its files apart
    // in an earlier manifest.
    void SetSeededBatchFiles(CSeededBatchFiles* files, const CKSString& definitionName);
    // Finished files are recorded there with their size and SHA-256 (not owned; null for none).
    void SetManifest(CKSBatchManifest* manifest, const CKSString& definitionName);
    // The wait on the quit event after each file (0 for full speed).
    void SetPace(std::uint32_t milliseconds) { m_paceMilliseconds = milliseconds; }
    // Counters of the batch the generator runs for (not owned; null for none), counted besides
    // the process-wide ones as each file is closed.
    void SetBatchProgress(CGenerationProgress* progress) { m_batchProgress = progress; }

protected:
    // The damage class of the file in hand; empty when it is not damaged.
    const std::string& FileDamageClass() const { return m_fileDamage; }
    // What the kind did to the file in hand, for the manifest (the common classes fill it in
    // themselves).
    CDamageRecord& FileDamageRecord() { return m_damageRecord; }
    // The file in hand's own streams, seeded from the file's seed and apart from the content's
    // random source: one for choices of the content (mixed line ends, say), one for where and how
    // the file is damaged, so that a damaged file is the undamaged one apart from its damage.
    CSeededStream& FileStream() { return m_fileStream; }
    CSeededStream& DamageStream() { return m_damageStream; }
    // Adds the stages the bytes of the file in hand pass through (a text encoding, say); called
    // once the file is open, before its content.
    virtual void PrepareStages(std::vector<COutputStage*>&) {}
    // Whether the kind applies the common damage classes itself (a picture damages its encoded
    // bytes as a whole); otherwise the last bytes of the file are held back and damaged.
    virtual bool DamagesOwnBytes() const { return false; }
    // Where the common classes may begin: past the header of the kind's format.
    virtual std::uint64_t HeaderBytes() const { return 0; }
    // Says in the record what a reader makes of a file given a common class; window holds the
    // file's last bytes, from offset start, as damaged.
    virtual void JudgeCommonDamage(CDamageRecord& record, const std::string& window, std::uint64_t start);
    // Appends a kind's property table (clones of its properties) to the definition.
    void AppendProperties(const CKSPropertyList& table);
    // The property, or null after logging "Must have %s property! (not found out of %d)".
    const CKSProperty* RequireProperty(std::u16string_view name) const;
    CKSRange RangeProperty(std::u16string_view name, const CKSRange& fallback) const;
    bool BoolProperty(std::u16string_view name, bool fallback) const;
    std::int32_t LongProperty(std::u16string_view name, std::int32_t fallback) const;
    CKSString TextProperty(std::u16string_view name) const;
    int LastOpenError() const { return m_lastOpenError; }
    // Draws the file count and name interval once for all parts.
    void PrepareWork();
    // Lists a file seen through to its end in the manifest, if any.
    void RecordFinishedFile(const CKSString& path, std::uint32_t index);
    // Chooses whether the file of that index is damaged, and how (drawing from its stream).
    void PlanFile(std::uint32_t index);
    // Sets up the stages of the file just opened.
    void StartFileStages();
    // Damages the held last bytes of the file with its common class.
    void DamageTail(std::string& window, std::uint64_t start);
    // The name of file number index at its attempt-th candidate (from 0).
    CKSString CandidatePath(std::uint32_t index, int attempt);
    void SetLastOpenError(int error) { m_lastOpenError = error; }
    // Counts a closed file of that size for the progress displays (less what was counted of it
    // while it was written).
    void CountFile(std::uint64_t bytes);
    // Counts the bytes as they reach the file.
    bool WriteToDescriptor(const void* data, std::size_t count, std::size_t& written) override;
    // The file in hand, sized or not, no longer counts as in hand for the batch's progress.
    void EndSizedFile();

private:
    CKSPropertyList m_properties;
    CKSRandSeeder m_seeder;
    CKSString m_folder{u""};
    CKSString m_name{u"no-name"};
    std::int32_t m_interval = 0;
    std::int32_t m_discriminator;
    std::optional<std::uint32_t> m_seed;
    CFileShard m_shard;
    std::shared_ptr<CKSFileWork> m_work;
    std::uint32_t m_part = 0;
    bool m_announced = false;
    mutable std::optional<bool> m_soundness; // IsSound's answer, once asked
    CKSBatchManifest* m_manifest = nullptr;
    CKSString m_definitionName{u""};
    CKSFileDigest m_digest;
    std::uint32_t m_paceMilliseconds = kDefaultPaceMilliseconds;
    int m_lastOpenError = 0;
    CGenerationProgress* m_batchProgress = nullptr;
    CSeededBatchFiles* m_batchFiles = nullptr;
    // Bytes of the file in hand already counted as written.
    std::uint64_t m_countedOfFile = 0;
    // The file being written, until it is closed whole: what a failure must remove.
    std::optional<CKSString> m_unfinished;

    // One file of the run: made, or found made and kept; false when a stop ended it.
    bool MakeFile(std::uint32_t index);
    // The same for a seeded run, which completes the batch in its destination.
    bool MakeSeededFile(std::uint32_t index);
    // Writes the content into the open file at path and closes it; false when a stop cut it
    // short (the file is then removed).
    bool WriteContent(const CKSString& path);
    // The drawn size of the file in hand as the batch's progress knows it; 0 for none.
    std::uint64_t m_sizedTarget = 0;

    // Read once per run from "Damage", "DamageShare" and "Names".
    std::vector<std::string> m_damageClasses;
    std::uint32_t m_damageShare = 100;
    CHostileNames m_names;
    // The seed of a run without one, for the files' own streams.
    std::uint32_t m_unseededRun = 0;
    // The file in hand.
    CSeededStream m_fileStream;
    CSeededStream m_damageStream;
    std::string m_fileDamage;
    CDamageRecord m_damageRecord;
    CNameRecord m_nameRecord;
    std::unique_ptr<COutputStage> m_damageStage;
};

// The damage classes of a "Damage" value: names separated by commas or blanks, in lower case.
std::vector<std::string> ParseDamageList(std::u16string_view text);
// Whether the definition's "Damage" names the class.
bool NamesDamage(const CKSPropertyList& properties, std::string_view damageClass);
// What dealing a batch's files out to shards needs to know of one definition.
struct CDealtDefinition {
    std::uint32_t files = 0;
    // ExpectedFileBytes.
    std::uint64_t fileBytes = 1;
};
// Each definition's first place in the batch's sequence of files (CFileShard::offset), in the
// order given. Definitions whose files are expected to be larger come first, so that the
// dealing, which goes up and down the shards in turn, evens out the bytes as well as the counts.
std::vector<std::uint64_t> ShardOffsets(std::span<const CDealtDefinition> definitions);

// The seed of a reproducible run for one definition: the run's seed mixed with the name.
std::uint32_t DefinitionSeed(std::uint32_t runSeed, const CKSString& definitionName);
// The seed of one file of a reproducible run: the definition's seed mixed with the file's index.
std::uint32_t FileSeed(std::uint32_t definitionSeed, std::uint32_t index);
