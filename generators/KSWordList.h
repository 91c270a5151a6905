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

class CTextGenerator {
public:
    // Longest entry before the list is built; the text generator reads it before its first pick.
    static constexpr std::uint32_t kInitialWordFit = 15;

    static CTextGenerator& Instance();

    // One entry, trailing space included; builds the list on the first call from any thread.
    std::string_view PickRandomWord() { return WordForDraw(KSRand()); }
    // The entry a pick makes of the draw, for callers that hold the random state themselves.
    std::string_view WordForDraw(std::uint32_t draw) {
        const CKSWordList* ready = m_ready.load(std::memory_order_acquire);
        const std::vector<std::string_view>& entries = (ready != nullptr ? *ready : List()).Entries();
        return entries[draw % entries.size()];
    }
    // The length of the longest entry in bytes (16 once the list is built).
    std::uint32_t WordFitLength() const { return m_wordFit.load(std::memory_order_acquire); }

private:
    const CKSWordList& List();

    CKSSynchronizer m_lock;
    std::unique_ptr<CKSWordList> m_list;
    std::atomic<const CKSWordList*> m_ready{nullptr};
    std::atomic<std::uint32_t> m_wordFit{kInitialWordFit};
};
