#pragma once
// The abstract base of every generator. One generator stands for one definition and, when run,
// writes a batch of files for it into one output folder: it decides how many files to make,
// claims a free name for each, creates the file, lets the concrete kind fill it, and closes it.
// A generator is a job of the worker pumps and is its own output file (a virtual base shared
// with its generation policy).

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
    ~CKSFileGenerator() override = default;

    // The job: seeds the calling thread's random source, then Generate.
    void Run() override;

    // Hands half of the file count to a new generator of the same kind; null when the count
    // cannot be split or the kind makes no siblings.
    virtual std::unique_ptr<CKSFileGenerator> Split();
    virtual CKSPropertyList& GetProperties() { return m_properties; }
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
    // Whether every range of the definition can be drawn from; logs the error naming the key
    // when one cannot, and then nothing is generated.
    bool RangesAreSound() const;
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

    std::uint32_t GetAssignedFiles() const { return m_assignedFiles; }
    std::int32_t GetDiscriminator() const { return m_discriminator; }
    std::int32_t GetInterval() const { return m_interval; }

    // Reproducible runs: when a seed is set, Run seeds from it instead of the clock.
    void SetSeed(std::optional<std::uint32_t> seed) { m_seed = seed; }
    // The wait on the quit event after each file (0 for full speed).
    void SetPace(std::uint32_t milliseconds) { m_paceMilliseconds = milliseconds; }
    // Counters of the batch the generator runs for (not owned; null for none), counted besides
    // the process-wide ones as each file is closed.
    void SetBatchProgress(CGenerationProgress* progress) { m_batchProgress = progress; }

protected:
    // Appends a kind's property table (clones of its properties) to the definition.
    void AppendProperties(const CKSPropertyList& table);
    // The property, or null after logging "Must have %s property! (not found out of %d)".
    const CKSProperty* RequireProperty(std::u16string_view name) const;
    CKSRange RangeProperty(std::u16string_view name, const CKSRange& fallback) const;
    bool BoolProperty(std::u16string_view name, bool fallback) const;
    std::int32_t LongProperty(std::u16string_view name, std::int32_t fallback) const;
    CKSString TextProperty(std::u16string_view name) const;
    int LastOpenError() const { return m_lastOpenError; }
    void SetLastOpenError(int error) { m_lastOpenError = error; }
    // Counts a closed file of that size for the progress displays (less what was counted of it
    // while it was written).
    void CountFile(std::uint64_t bytes);
    // Counts the bytes as they reach the file.
    bool WriteToDescriptor(const void* data, std::size_t count, std::size_t& written) override;

private:
    CKSPropertyList m_properties;
    CKSRandSeeder m_seeder;
    CKSString m_folder{u""};
    CKSString m_name{u"no-name"};
    std::int32_t m_interval = 0;
    std::uint32_t m_assignedFiles = 0;
    std::int32_t m_discriminator;
    std::optional<std::uint32_t> m_seed;
    std::uint32_t m_paceMilliseconds = kDefaultPaceMilliseconds;
    int m_lastOpenError = 0;
    CGenerationProgress* m_batchProgress = nullptr;
    // Bytes of the file in hand already counted as written.
    std::uint64_t m_countedOfFile = 0;
};

// The seed of a reproducible run for one definition: the run's seed mixed with the name.
std::uint32_t DefinitionSeed(std::uint32_t runSeed, const CKSString& definitionName);
