#pragma once
// Writing a Rovezezodav data file (the layout is described in WordDataLoader.h). Used by the
// program that builds the built-in model, and by tests that need a model of a given shape.

#include "generators/Word.h"
#include "generators/WordDataLoader.h"
#include "support/KSString.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CWordDataWriter {
public:
    // A word with its text hashed and measured as the loader will; the text is cut at 24 bytes.
    void AddWord(std::string_view text, std::int64_t id, std::span<const SWordLink> links);
    // A word record exactly as given, for files that must not be consistent.
    void AddRecord(const SWordRecord& record, std::span<const SWordLink> links);

    std::uint32_t WordCount() const { return m_words; }
    // Header and records, the word count being the number of words added.
    std::string Bytes() const;
    // Writes the file in one step: a temporary beside it, then a rename over the old file, so
    // a reader sees the old model or the new one, never half of one. True on success.
    bool WriteToFile(const CKSString& path) const;

private:
    std::string m_body;
    std::uint32_t m_words = 0;
};

// A link to a word, hashed as the word's record will be.
SWordLink MakeWordLink(std::string_view text, std::int64_t id, std::uint32_t weight);
