#pragma once
// Narrow text files written line by line: random printable characters, random words from the
// built-in vocabulary, or Rovezezodav prose from the word model, optionally interspersed with
// numbers, e-mail-like strings, card-number-like groups and dates.

#include "engine/KSFileGenerator.h"
#include "engine/KSGeneratorPolicy.h"
#include "generators/KSWordList.h"
#include "generators/TextDamage.h"
#include "generators/TextOptions.h"

#include <cstdint>
#include <memory>
#include <optional>
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
    std::u16string OptionsProblem() const override;
    std::vector<std::string_view> OwnDamageClasses() const override;
    std::string DamageFormat() const override { return "txt"; }
    void CloseOutput(const CKSString& path) override;

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

    // The texts of the pieces, with the draws of the pieces. A date is none when the drawn moment
    // cannot be shown.
    static std::string MakeNumber();
    static std::string MakeEmail();
    static std::string MakeCardNumber();
    std::optional<std::string> MakeDate() const;

protected:
    // Reads the per-file settings shared with the CSV generator: the line end ("WinLineEnding",
    // or "LineEnd" when set), the encoding and the date format.
    void ReadLineEnding();
    void ReadTextOptions();
    std::string_view LineEnding() const { return m_lineEnding; }
    // The line end of the next line: the file's own, or one chosen per line when they are mixed.
    std::string_view NextLineEnding();
    ELineEnd LineEndChoice() const { return m_lineEndChoice; }
    ETextEncoding Encoding() const { return m_encoding; }

    void PrepareStages(std::vector<COutputStage*>& stages) override;
    std::uint64_t HeaderBytes() const override { return ByteOrderMark(m_encoding).size(); }
    void JudgeCommonDamage(CDamageRecord& record, const std::string& window, std::uint64_t start) override;

    // The UTF-8 offset the next byte written goes to.
    std::uint64_t Utf8Offset() const { return GetPosition() + m_injected; }
    // Writes damage bytes at the current place, noting the change; they do not count towards the
    // file's size, so the file around them is what it would be without them.
    void Inject(std::string_view original, std::string_view written);
    // Notes a change at the current place whose bytes the caller writes (or leaves out) itself.
    void NoteChange(std::string_view original, std::string_view written);
    CTextDamage& TextDamage() { return m_textDamage; }
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

    // Damage owed to the line that ends now; answers the line end to write.
    std::string_view DamageLine(std::string_view ending);
    // Writes the piece of a NUL, invalid UTF-8 or long-line damage.
    void InjectDamage();

    std::string_view m_lineEnding = "\r\n";
    ELineEnd m_lineEndChoice = ELineEnd::Default;
    ETextEncoding m_encoding = ETextEncoding::Utf8;
    EDateFormat m_dateFormat = EDateFormat::Locale;
    std::unique_ptr<CTextEncodingStage> m_encodingStage;
    CTextDamage m_textDamage;
    std::uint64_t m_injected = 0;
    std::uint64_t m_lineIndex = 0;
    std::int32_t m_textKind = kRandomWords;
    bool m_emails = false;
    bool m_dates = false;
    bool m_numbers = true;
    bool m_cards = false;
    std::uint64_t m_lineLength = 0;
    bool m_lineEnded = false;
    CTextGenerator& m_words; // the process-wide word list
};
