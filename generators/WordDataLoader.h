#pragma once
// Reading the Rovezezodav data file "rovezezodav.dat".
//
// Layout (little-endian, no padding, no trailer):
//   header  magic u32 0xBC08A901, version u32 4098, word count u32
//   word    44-byte record {text[24], hash u64, length u32, id i64}, link count u32,
//           then that many 20-byte link records {hash u64, id i64, weight u32}
// Fields are unaligned, so every record is decoded byte by byte.

#include "generators/Word.h"
#include "support/KSString.h"
#include "support/PosixFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace WordDataFormat {
inline constexpr std::uint32_t kMagic = 0xBC08A901;
inline constexpr std::uint32_t kVersion = 0x00001002;
inline constexpr std::size_t kHeaderBytes = 12;
inline constexpr std::size_t kWordRecordBytes = 44;
inline constexpr std::size_t kLinkCountBytes = 4;
inline constexpr std::size_t kLinkRecordBytes = 20;
} // namespace WordDataFormat

// A word record as the file holds it.
struct SWordRecord {
    std::array<char, kWordTextBytes> text{};
    std::uint64_t hash = 0;
    std::uint32_t length = 0;
    std::int64_t id = 0;
};

// Owns the open data file and reads it through a buffer: the file is made of many small
// records, and a system call for each of them would dominate the load.
class CWordDataPersistor {
public:
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    CWordDataPersistor();
    virtual ~CWordDataPersistor() = default;
    CWordDataPersistor(const CWordDataPersistor&) = delete;
    CWordDataPersistor& operator=(const CWordDataPersistor&) = delete;

    // Opens the file for reading; 0, or the system error code.
    int Open(const CKSString& path);
    // Takes over an already open descriptor, read from its current position.
    void Attach(CUniqueFd fd);
    // Reads bytes in memory instead of a file (the model built into the program); they must
    // stay in place until Close.
    void AttachBytes(std::span<const std::byte> bytes);
    void Close();
    bool IsOpen() const { return m_fd.IsValid() || m_memory.data() != nullptr; }
    // The size of what is open: the file's (none when it cannot be told) or the bytes'.
    std::optional<std::uint64_t> SourceSize() const;

    // Reads up to count bytes; fewer only at the end of the file. -1 on a failed read, with
    // LastError() holding the system error code.
    long Read(void* buffer, std::size_t count);
    int LastError() const { return m_lastError; }

private:
    CUniqueFd m_fd;
    std::span<const std::byte> m_memory;
    std::size_t m_memoryPosition = 0;
    std::vector<unsigned char> m_buffer;
    std::size_t m_position = 0;
    std::size_t m_filled = 0;
    int m_lastError = 0;
};

class CWordDataLoader : public CWordDataPersistor {
public:
    // Result codes besides 0 (success) and positive system error codes.
    static constexpr int kNoFile = 1;
    static constexpr int kBadHeader = -1; // also a short header or a short word record
    static constexpr int kShortRecord = -1;
    static constexpr int kShortLinkRecord = -2;

    // Reads magic, version and word count. 0 and the count; kNoFile without an open file;
    // kBadHeader when fewer than 4 bytes come or the magic or version differs; otherwise the
    // system error of the failed read.
    int CheckHeader(std::uint32_t& count);

    // The pieces of one word entry. 0, a system error, kShortRecord or kShortLinkRecord.
    int ReadWordRecord(SWordRecord& record);
    int ReadLinkCount(std::uint32_t& count);
    int ReadLink(SWordLink& link);

private:
    // Reads exactly the given bytes: 0, the system error, or shortCode when the file ends first.
    int ReadExactly(unsigned char* buffer, std::size_t count, int shortCode);
};
