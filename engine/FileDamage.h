#pragma once
// Files damaged on purpose: what was done to one file (the class, each change with its offset)
// and what a reader is expected to do with it, for the manifest; the random stream that places
// the damage; and the classes every kind offers (truncate, flip, zero, empty), applied to the
// bytes on their way to the disk.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a reader of the format is expected to make of a damaged file.
enum class EReaderOutcome {
    Fails,   // refuses it, or stops with an error
    Warns,   // reads it and says something is wrong
    Decodes, // reads it without a word: only the content changed
    Unknown, // depends on the reader (a checksum of the whole file tells)
};

// "fails", "warns", "decodes", "unknown".
std::string_view OutcomeName(EReaderOutcome outcome);

// One place in the file that differs from what an undamaged file would hold there.
struct CByteChange {
    // Longest original or written piece recorded: longer ones are recorded by their length alone.
    static constexpr std::size_t kShortBytes = 16;

    std::uint64_t offset = 0;
    // Bytes taken away (a cut, a replaced run); inserted bytes count in written only.
    std::uint64_t length = 0;
    std::string original; // the bytes that were there, when short
    std::string written;  // the bytes now there, when short
};

struct CDamageRecord {
    std::string damageClass;
    EReaderOutcome outcome = EReaderOutcome::Unknown;
    // One line: what a reader does ("fails to decode: a chunk CRC is wrong").
    std::string expected;
    std::vector<CByteChange> changes;
    // Rows a CSV reader gets, header included, when the file is a table.
    std::optional<std::uint64_t> rows;

    // Records a replacement of original by written at offset (both as they are, cut when long).
    void AddChange(std::uint64_t offset, std::string_view original, std::string_view written);
    // Records bytes put in without taking any away.
    void AddInsertion(std::uint64_t offset, std::string_view written);
};

// What is hostile about a file's name ("unicode", "NFD form").
struct CNameRecord {
    std::string style;
    std::string detail;
};

// A small, fast stream of 64-bit values (splitmix64) that places damage and other per-file
// choices. It is separate from the content's random source, so a damaged file holds the bytes of
// the undamaged one apart from the damage, and a seed gives the same damage at the same offsets.
class CSeededStream {
public:
    explicit CSeededStream(std::uint64_t seed = 0) : m_state(seed) {}
    std::uint64_t Next();
    // A value in [0, count); 0 when count is 0.
    std::uint64_t Below(std::uint64_t count);
    // A value in [low, high]; low when high < low.
    std::uint64_t Between(std::uint64_t low, std::uint64_t high);

private:
    std::uint64_t m_state;
};

namespace damage {
inline constexpr std::string_view kTruncate = "truncate";
inline constexpr std::string_view kFlip = "flip";
inline constexpr std::string_view kZero = "zero";
inline constexpr std::string_view kEmpty = "empty";
} // namespace damage

// Whether the class is one of those every kind offers.
bool IsCommonDamage(std::string_view damageClass);

// Applies a common class to the last bytes of a file: window holds the file's bytes from start to
// its end. truncate cuts at a point at or after from; flip turns one to three bits past from;
// zero overwrites a run (8 to 512 bytes, with at least one byte that was not zero when there is
// one) past from; empty leaves nothing. Answers the changes made, with file offsets.
std::vector<CByteChange> ApplyCommonDamage(std::string_view damageClass, std::string& window,
                                           std::uint64_t start, std::uint64_t from, CSeededStream& random);
