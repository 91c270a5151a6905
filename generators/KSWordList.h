#pragma once
// The built-in vocabulary of the "Random Words" text and the "Random word" CSV column: 525 lower-
// case words, each followed by one space, in alphabetical order. CTextGenerator is the process-
// wide holder that builds the list on first use and picks words from it.

#include "engine/Randomizer.h"
#include "support/KSSynchronizer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class CKSWordList {
public:
    virtual ~CKSWordList() = default;
    // Appends the 525 entries.
    virtual void Build();
    const std::vector<std::string_view>& Entries() const { return m_entries; }

private:
    std::vector<std::string_view> m_entries;
};

// A word list laid out for picking at the rate text is written. Each entry starts a slot of
// SlotBytes() (at least 16, zero-padded), so a caller may copy a whole slot with one fixed-size
// move and keep the entry's length of it. The entry for a draw is entries[draw mod count], the
// remainder found with two multiplications instead of a division.
class CPickableWords {
public:
    explicit CPickableWords(const std::vector<std::string_view>& entries);

    std::string_view ForDraw(std::uint32_t draw) const {
        if (m_count == 0) {
            return {};
        }
        const std::size_t index = Remainder(draw);
        return {m_bytes.data() + index * m_slotBytes, m_sizes[index]};
    }
    std::size_t SlotBytes() const { return m_slotBytes; }
    std::size_t Longest() const { return m_longest; }

    // value mod count; exact for values and counts below 2^16 (every 15-bit draw), and falls
    // back to the division otherwise.
    std::uint32_t Remainder(std::uint32_t value) const {
        if ((value | m_count) > 0xFFFF) {
            return value % m_count;
        }
        const std::uint32_t fraction = m_inverse * value;
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(fraction) * m_count) >> 32);
    }

private:
    std::vector<char> m_bytes;
    std::vector<std::size_t> m_sizes;
    std::size_t m_slotBytes = 16;
    std::size_t m_longest = 0;
    std::uint32_t m_count = 0;
    std::uint32_t m_inverse = 0; // 2^32 / count rounded up, modulo 2^32
};

class CTextGenerator {
public:
    // Longest entry before the list is built; the text generator reads it before its first pick.
    static constexpr std::uint32_t kInitialWordFit = 15;

    static CTextGenerator& Instance();

    // One entry, trailing space included; builds the list on the first call from any thread.
    std::string_view PickRandomWord() { return Words().ForDraw(KSRand()); }
    // The list for callers that hold the random state themselves; builds it like a pick.
    const CPickableWords& Words() {
        const CPickableWords* ready = m_ready.load(std::memory_order_acquire);
        return ready != nullptr ? *ready : Build();
    }
    // The length of the longest entry in bytes (16 once the list is built).
    std::uint32_t WordFitLength() const {
        const CPickableWords* ready = m_ready.load(std::memory_order_acquire);
        return ready != nullptr ? static_cast<std::uint32_t>(ready->Longest()) : kInitialWordFit;
    }

private:
    const CPickableWords& Build();

    CKSSynchronizer m_lock;
    std::unique_ptr<const CPickableWords> m_words;
    std::atomic<const CPickableWords*> m_ready{nullptr};
};
