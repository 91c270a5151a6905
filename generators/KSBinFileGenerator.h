#pragma once
// Binary files of 32-bit values, random or counting, optionally big-endian, optionally with
// skipped gaps ("Quick", which leaves holes) and a CRC-32 trailer that the CRC calculator checks.

#include "engine/KSFileGenerator.h"
#include "engine/KSGeneratorPolicy.h"

#include <array>
#include <cstdint>

class CKSBinFileGenerator : public CKSFileGenerator, public CKSIteratePolicy {
public:
    // Values produced and written at a time.
    static constexpr std::size_t kChunkValues = 511;
    static constexpr std::size_t kChunkBytes = kChunkValues * 4;
    // Files larger than the default output buffer get one of a mebibyte: a file up to that size
    // goes out in one system call. Calls are costly on virtual machines, and parallel jobs
    // writing to one file system contend in the kernel once per call.
    static constexpr std::uint64_t kLargeFileLimit = CKSOutFile::kDefaultCapacity;
    static constexpr std::uint64_t kLargeFileBuffer = 1048576;

    explicit CKSBinFileGenerator(CKSLogger* logger);

    void AddTypeProperties() override;
    void GenerateContent() override;
    void SelfTest(std::uint32_t count) override;
    std::unique_ptr<CKSFileGenerator> CreateSibling(CKSLogger* logger) override;
    bool ApplySize(std::uint64_t target, std::uint64_t limit) override;
    std::vector<std::string_view> OwnDamageClasses() const override;
    std::string DamageFormat() const override { return "bin"; }
    std::u16string OptionsProblem() const override;
    // Writes one value through the policy, in the current byte order.
    virtual std::size_t PutValue(std::uint32_t& value);

    bool BeginBlock() override;
    std::uint64_t EmitBlock(std::uint64_t count) override;
    // The Quick gap: skipped, not written; it counts towards the target.
    std::uint64_t EndOfBlock(std::uint64_t position, std::uint64_t target) override;

    std::uint32_t GetCrc() const { return m_crc; }

private:
    std::uint32_t NextValue();
    void DrawSequenceTop();

    bool m_bigEndian = false;
    bool m_withCrc = false;
    std::uint64_t m_sequenceTop = 0;
    std::uint64_t m_counter = 0;
    std::uint32_t m_crc = 0;
    std::uint32_t m_quickBytes = 0;
    std::array<std::uint32_t, kChunkValues> m_chunk{};
};
