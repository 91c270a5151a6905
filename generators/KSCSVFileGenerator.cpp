#include "generators/KSCSVFileGenerator.h"

#include "generators/KSWordList.h"

namespace {

const CKSPropertyList& CsvProperties() {
    static const CKSPropertyList properties = [] {
        const CKSBoolProperty header(u"EmitHeader", u"Use header", false);
        const CKSListProperty columns(u"Columns", u"Column definitions");
        const CKSProperty separator(u"Separator", u"Column separator", u", ");
        const CKSProperty rows(u"Rows", u"Maximum rows to generate", CKSRange(1000, 10000));
        const CKSProperty* table[] = {&header, &columns, &separator, &rows};
        return CKSPropertyList(table);
    }();
    return properties;
}

constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

CKSCSVFileGenerator::CKSCSVFileGenerator(CKSLogger* logger) : CKSTextFileGenerator(logger) {}

void CKSCSVFileGenerator::AddTypeProperties() {
    AppendProperties(CsvProperties());
}

std::unique_ptr<CKSFileGenerator> CKSCSVFileGenerator::CreateSibling(CKSLogger* logger) {
    return std::make_unique<CKSCSVFileGenerator>(logger);
}

std::size_t CKSCSVFileGenerator::WriteWhole(std::string_view text) {
    return WriteNarrowText(text);
}

void CKSCSVFileGenerator::GenerateContent() {
    m_columns = RequireProperty(u"Columns");
    m_separator = TextProperty(u"Separator").ToUtf8();
    const std::size_t columnCount = m_columns != nullptr ? m_columns->GetCount() : 0;
    if (BoolProperty(u"EmitHeader", false)) {
        for (std::size_t i = 1; i <= columnCount; ++i) {
            if (i > 1) {
                WriteWhole(m_separator);
            }
            WriteWhole(KSFormatCapped(60, std::string_view("Column %u"), static_cast<std::uint32_t>(i)));
        }
        WriteWhole("\n");
    }
    const CKSRange rows = RangeProperty(u"Rows", CKSRange(1000, 10000));
    m_rowsTarget = RandomInRange(static_cast<std::uint64_t>(rows.min), static_cast<std::uint64_t>(rows.max));
    m_rowsDone = 0;
    Iterate();
}

std::uint64_t CKSCSVFileGenerator::EmitBlock(std::uint64_t) {
    std::uint64_t fieldBytes = 0;
    const std::size_t columnCount = m_columns != nullptr ? m_columns->GetCount() : 0;
    for (std::size_t i = 0; i < columnCount; ++i) {
        if (i > 0) {
            WriteWhole(m_separator);
        }
        switch (m_columns->GetAt(i)) {
        case kRandomMonth:
            fieldBytes += WriteWhole(kMonths[RandomInRange(0, 11)]);
            break;
        case kRandomWord:
            fieldBytes += WriteWhole(CTextGenerator::Instance().PickRandomWord());
            break;
        case kRandomNumber:
            fieldBytes += WriteNumber();
            break;
        case kRandomDate:
            fieldBytes += WriteDate();
            break;
        default:
            break; // other kinds give an empty field
        }
    }
    ++m_rowsDone;
    return fieldBytes;
}

std::uint64_t CKSCSVFileGenerator::EndOfBlock(std::uint64_t, std::uint64_t) {
    Logger().InfoF("CSV File Generator: %d bytes at end of block.", static_cast<std::int32_t>(GetPosition()));
    WriteWhole("\n");
    return 0;
}
