#pragma once
// Tables of rows: an optional header naming the columns, then a random number of rows with one
// field per column (a month, a word, a number or a date), joined by the separator. Rows are
// counted, not bytes, and every line ends in "\n".

#include "generators/KSTextFileGenerator.h"

#include <string>

class CKSCSVFileGenerator : public CKSTextFileGenerator {
public:
    static constexpr std::int32_t kRandomMonth = 1;
    static constexpr std::int32_t kRandomWord = 3;
    static constexpr std::int32_t kRandomNumber = 4;
    static constexpr std::int32_t kRandomDate = 5;

    explicit CKSCSVFileGenerator(CKSLogger* logger);

    void AddTypeProperties() override;
    bool HasSize() const override { return false; }
    std::unique_ptr<CKSFileGenerator> CreateSibling(CKSLogger* logger) override;
    void GenerateContent() override;

    // Rows are what count: more while rows remain, whatever the byte counters or the stop event
    // say, so a stopped file is still finished.
    bool More() override { return m_rowsDone < m_rowsTarget; }
    // One row's fields; answers their bytes (separators are written but not counted).
    std::uint64_t EmitBlock(std::uint64_t count) override;
    // Ends the row with "\n".
    std::uint64_t EndOfBlock(std::uint64_t position, std::uint64_t target) override;

private:
    std::size_t WriteWhole(std::string_view text);

    const CKSProperty* m_columns = nullptr;
    std::string m_separator;
    std::uint64_t m_rowsTarget = 0;
    std::uint64_t m_rowsDone = 0;
};
