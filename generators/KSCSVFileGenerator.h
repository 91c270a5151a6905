#pragma once
// Tables of rows: an optional header naming the columns, then a random number of rows with one
// field per column, joined by the separator. Rows are counted, not bytes. The padded style is the
// one CSV files always had (words and numbers followed by a blank, headers "Column N", every line
// ending in "\n"); the rfc4180 style is what importers expect (no padding, a field quoted exactly
// when it holds the separator, a quote or a line break, CR LF rows, a header naming each column's
// kind).

#include "generators/KSTextFileGenerator.h"

#include <string>

class CKSCSVFileGenerator : public CKSTextFileGenerator {
public:
    static constexpr std::int32_t kRandomMonth = 1;
    static constexpr std::int32_t kRandomWord = 3;
    static constexpr std::int32_t kRandomNumber = 4;
    static constexpr std::int32_t kRandomDate = 5;
    // Column kinds built from the text generator's items, and plain values.
    static constexpr std::int32_t kEmail = 6;
    static constexpr std::int32_t kCardNumber = 7;
    static constexpr std::int32_t kSentence = 8;
    static constexpr std::int32_t kInteger = 9;
    static constexpr std::int32_t kDecimal = 10;
    static constexpr std::int32_t kBoolean = 11;
    static constexpr std::int32_t kUuid = 12;

    struct CColumnKind {
        std::int32_t value;
        std::u16string_view shownName; // as the wizard offers it
        std::string_view header;       // the header of the rfc4180 style
    };
    // Every kind with a content, in the wizard's order.
    static std::span<const CColumnKind> ColumnKinds();

    explicit CKSCSVFileGenerator(CKSLogger* logger);

    void AddTypeProperties() override;
    bool HasSize() const override { return false; }
    std::unique_ptr<CKSFileGenerator> CreateSibling(CKSLogger* logger) override;
    void GenerateContent() override;
    std::u16string OptionsProblem() const override;
    std::string DamageFormat() const override { return "csv"; }
    void CloseOutput(const CKSString& path) override;

    // Rows are what count: more while rows remain, whatever the byte counters or the stop event
    // say, so a stopped file is still finished.
    bool More() override { return m_rowsDone < m_rowsTarget; }
    // One row's fields; answers their bytes (separators are written but not counted).
    std::uint64_t EmitBlock(std::uint64_t count) override;
    // Ends the row.
    std::uint64_t EndOfBlock(std::uint64_t position, std::uint64_t target) override;

protected:
    // Told of every data field's value, as a reader gets it back (a seam for tests).
    virtual void OnField(std::string_view) {}
    void JudgeCommonDamage(CDamageRecord& record, const std::string& window, std::uint64_t start) override;

private:
    std::size_t WriteWhole(std::string_view text);
    // The value of a field of a kind added after the first four (unquoted).
    std::string NewKindValue(std::int32_t kind);
    // A value quoted when it holds the delimiter, a quote or a line break; as it is otherwise.
    std::string Quoted(std::string_view value) const;
    std::size_t WriteQuoted(std::string_view value);
    // Writes the row's last field (after the separator, when it follows one) opened by a quote
    // that is never closed, so that a reader takes the rest of the file into it; quotable says
    // whether the field is quoted when it needs it.
    std::size_t WriteUnclosed(bool afterSeparator, std::string_view value, bool quotable);
    void WriteHeader(std::size_t columnCount);
    // The damage owed to the row being written.
    bool DamageRowFields(std::size_t column, std::size_t columnCount);

    const CKSProperty* m_columns = nullptr;
    std::string m_separator;
    // The character readers split fields at: the separator's first that is not a blank.
    char m_delimiter = ',';
    bool m_rfc4180 = false;
    std::string_view m_rowEnd = "\n";
    CKSRange m_numberRange{0, 1000};
    std::uint64_t m_rowsTarget = 0;
    std::uint64_t m_rowsDone = 0;
    std::uint64_t m_headerRows = 0;
    // The ragged row: a field too many (true) or too few.
    bool m_extraField = false;
};
