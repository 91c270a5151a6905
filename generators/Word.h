#pragma once
// Words of the Rovezezodav word-transition model: the word hash, the fixed-size word record and
// the spelling fix-ups applied to every word as it is made.
//
// Word texts are single-byte Windows-1252 bytes, held in 24 bytes, zero-padded (not terminated
// when all 24 are used).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// At most this many bytes of a word are kept and hashed.
inline constexpr std::size_t kWordTextBytes = 24;

// 64-bit hash of a word's first (at most 24) bytes: FNV-1's 32-bit constants, but the byte is
// added, not XOR-ed, taken as a signed char, and the state keeps all 64 bits.
std::uint64_t WordHash(std::string_view bytes);

class CWord {
public:
    CWord() = default;
    // Copies at most 24 bytes and hashes the copied bytes; the length stays the full length.
    explicit CWord(std::string_view bytes);
    virtual ~CWord() = default;
    CWord(const CWord&) = default;
    CWord& operator=(const CWord&) = default;

    // Sets text, length and hash as a word record gives them: the stored bytes (at most 24),
    // their hash recomputed, and the record's length, which may differ from the bytes.
    void SetFromRecord(const std::array<char, kWordTextBytes>& text, std::uint32_t length);

    // Replaces text, length and hash when the word starts with one of the known misspellings;
    // the first pattern that matches wins.
    void ApplySpellingFixups();

    const std::array<char, kWordTextBytes>& Text() const { return m_text; }
    // The text up to its first zero byte, never more than 24 bytes.
    std::string_view TextView() const;
    std::uint64_t Hash() const { return m_hash; }
    std::uint32_t Length() const { return m_length; }

    // Both lengths non-zero and the first Length() bytes of the texts equal. The comparison
    // stops at the 24 stored bytes: a length field larger than that (a damaged file) must not
    // make it read past the text.
    bool SameText(const CWord& other) const;

private:
    std::array<char, kWordTextBytes> m_text{};
    std::uint64_t m_hash = 0;
    std::uint32_t m_length = 0;
};

// One link of a word: the word that may follow, and how often it did.
struct SWordLink {
    std::uint64_t hash = 0;
    std::int64_t id = 0;
    std::uint32_t weight = 0;
};

class CWordData : public CWord {
public:
    CWordData(const CWord& word, std::int64_t id) : CWord(word), m_id(id) {}

    std::int64_t Id() const { return m_id; }
    std::uint32_t UseCount() const { return m_useCount; }
    void RaiseUseCount();

    const std::vector<SWordLink>& Links() const { return m_links; }
    std::vector<SWordLink>& MutableLinks() { return m_links; }

    // Sum of the link weights, set once loading is done. Held in 64 bits: a damaged file can
    // carry weights whose 32-bit sum would wrap and make the walk pick from a wrong range.
    std::uint64_t TotalWeight() const { return m_totalWeight; }
    void ComputeTotalWeight();

private:
    std::int64_t m_id;
    std::uint32_t m_useCount = 1;
    std::vector<SWordLink> m_links;
    std::uint64_t m_totalWeight = 0;
};
