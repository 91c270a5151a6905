#pragma once
// Narrow text files written line by line: random printable characters, random words from the
// built-in vocabulary, or Rovezezodav prose from the word model, optionally interspersed with
// numbers, e-mail-like strings, card-number-like groups and dates.

#include "engine/KSFileGenerator.h"
#include "engine/KSGeneratorPolicy.h"
#include "generators/KSWordList.h"

#include <cstdint>
#include <string>
#include <string_view>

class CKSTextFileGenerator : public CKSFileGenerator, public CKSIteratePolicy {
public:
    static constexpr std::int32_t kRandomCharacters = 1;
    static constexpr std::int32_t kRandomWords = 2;
    static constexpr std::int32_t kRovezezodav = 4;
    // Items are interspersed only while more than this many bytes may still be written.
    static constexpr std::uint64_t kItemRoom = 64;
    // Paragraph limits of Rovezezodav text.
    static constexpr std::uint64_t kMaxSentences = 8;
    static constexpr std::uint64_t kBytesPerSentence = 120;
    static constexpr int kSentenceAttempts = 88;

    explicit CKSTextFileGenerator(CKSLogger* logger);

    void AddTypeProperties() override;
    void GenerateContent() override;
    void SelfTest(std::uint32_t count) override;
    std::unique_ptr<CKSFileGenerator> CreateSibling(CKSLogger* logger) override;
    bool ApplySize(std::uint64_t target, std::uint64_t limit) override;
    bool EnsureWordModel() override;

    // One unit of text for a line with room bytes still wanted.
    std::uint64_t EmitBlock(std::uint64_t room) override;
    // Ends the line.
    std::uint64_t EndOfBlock(std::uint64_t position, std::uint64_t target) override;

    // The pieces; each writes its text and answers the bytes it counts.
    virtual std::uint64_t WriteDate();
    virtual std::uint64_t WriteNumber();
    virtual std::uint64_t WriteEmail();
    virtual std::uint64_t WriteCardNumber();
    virtual std::uint64_t WritePad();

protected:
    // Reads the per-file settings shared with the CSV generator.
    void ReadLineEnding();
    std::string_view LineEnding() const { return m_lineEnding; }
    // Bytes that may still be written before the limit; 0 once it is reached or passed.
    std::uint64_t LeftBeforeLimit() const {
        return GetPosition() < GetLimit() ? GetLimit() - GetPosition() : 0;
    }

private:
    // A line of characters or words with their items, for a line with room bytes still wanted.
    std::uint64_t EmitPlainLine(std::uint64_t room);
    // The item r (2 to 6) picks, when its flag is on; nullptr otherwise.
    using Piece = std::uint64_t (CKSTextFileGenerator::*)();
    Piece ItemFor(std::uint32_t r) const;
    std::uint64_t WriteParagraph();

    std::string_view m_lineEnding = "\r\n";
    std::int32_t m_textKind = kRandomWords;
    bool m_emails = false;
    bool m_dates = false;
    bool m_numbers = true;
    bool m_cards = false;
    std::uint64_t m_lineLength = 0;
    bool m_lineEnded = false;
    CTextGenerator& m_words; // the process-wide word list
};
