#include "generators/KSCSVFileGenerator.h"

#include "generators/DamageCatalogue.h"
#include "generators/KSRovezezodavInitializer.h"
#include "generators/KSWordList.h"
#include "support/KSException.h"

#include <array>

namespace {

const CKSPropertyList& CsvProperties() {
    static const CKSPropertyList properties = [] {
        const CKSBoolProperty header(u"EmitHeader", u"Use header", false);
        const CKSListProperty columns(u"Columns", u"Column definitions");
        const CKSProperty separator(u"Separator", u"Column separator", u", ");
        const CKSProperty rows(u"Rows", u"Maximum rows to generate", CKSRange(1000, 10000));
        const CKSProperty style(u"Style", CsvStyleDescription(), u"padded");
        const CKSProperty encoding(u"Encoding", TextEncodingDescription(), u"utf8");
        const CKSProperty lineEnd(u"LineEnd", LineEndDescription(), u"default");
        const CKSProperty dateFormat(u"DateFormat", DateFormatDescription(), u"locale");
        const CKSProperty numberRange(u"NumberRange", u"Range of integer and decimal columns",
                                      CKSRange(0, 1000));
        const CKSProperty* table[] = {&header,   &columns, &separator,  &rows,       &style,
                                      &encoding, &lineEnd, &dateFormat, &numberRange};
        return CKSPropertyList(table);
    }();
    return properties;
}

constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::array<CKSCSVFileGenerator::CColumnKind, 11> kColumnKinds{{
    {CKSCSVFileGenerator::kRandomMonth, u"Random Month", "month"},
    {CKSCSVFileGenerator::kRandomWord, u"Random word", "word"},
    {CKSCSVFileGenerator::kRandomNumber, u"Random number", "number"},
    {CKSCSVFileGenerator::kRandomDate, u"Random date", "date"},
    {CKSCSVFileGenerator::kEmail, u"E-mail address", "email"},
    {CKSCSVFileGenerator::kCardNumber, u"Credit card number", "card"},
    {CKSCSVFileGenerator::kSentence, u"Whole sentence", "sentence"},
    {CKSCSVFileGenerator::kInteger, u"Integer in NumberRange", "integer"},
    {CKSCSVFileGenerator::kDecimal, u"Decimal in NumberRange", "decimal"},
    {CKSCSVFileGenerator::kBoolean, u"Boolean", "boolean"},
    {CKSCSVFileGenerator::kUuid, u"UUID", "uuid"},
}};

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Uuid() {
    // 128 random bits from four draws of 31 bits, with the version (4) and variant (10) bits set.
    std::array<unsigned char, 16> bytes{};
    for (std::size_t i = 0; i < 16; i += 4) {
        const std::uint32_t v = RandomPair();
        for (std::size_t j = 0; j < 4; ++j) {
            bytes[i + j] = static_cast<unsigned char>(v >> (8 * j));
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text.push_back('-');
        }
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 15]);
    }
    return text;
}

} // namespace

std::span<const CKSCSVFileGenerator::CColumnKind> CKSCSVFileGenerator::ColumnKinds() {
    return kColumnKinds;
}

CKSCSVFileGenerator::CKSCSVFileGenerator(CKSLogger* logger) : CKSTextFileGenerator(logger) {}

void CKSCSVFileGenerator::AddTypeProperties() {
    AppendProperties(CsvProperties());
}

std::unique_ptr<CKSFileGenerator> CKSCSVFileGenerator::CreateSibling(CKSLogger* logger) {
    return std::make_unique<CKSCSVFileGenerator>(logger);
}

std::u16string CKSCSVFileGenerator::OptionsProblem() const {
    if (std::u16string problem = CKSTextFileGenerator::OptionsProblem(); !problem.empty()) {
        return problem;
    }
    const CKSProperty* style = GetProperties().Find(u"Style");
    if (style == nullptr) {
        return {};
    }
    const std::optional<ECsvStyle> chosen = ParseCsvStyle(style->GetValue().View());
    if (!chosen) {
        return KSFormat(std::u16string_view(u"Style=%s: not a CSV style; known: %s"), style->GetValue(),
                        ChoiceKeys(CsvStyles()));
    }
    const CKSProperty* separator = GetProperties().Find(u"Separator");
    if (*chosen == ECsvStyle::Rfc4180 && separator != nullptr) {
        const std::string trimmed(Trimmed(separator->GetValue().ToUtf8()));
        if (trimmed.size() > 1 || trimmed == "\"") {
            return KSFormat(
                std::u16string_view(u"Separator=%s: the rfc4180 style needs one character (blanks "
                                    u"around it are dropped), not a quote"),
                separator->GetValue());
        }
    }
    return {};
}

std::size_t CKSCSVFileGenerator::WriteWhole(std::string_view text) {
    return WriteNarrowText(text);
}

std::string CKSCSVFileGenerator::Quoted(std::string_view value) const {
    if (value.find_first_of(std::string{m_delimiter, '"', '\r', '\n'}) == std::string_view::npos) {
        return std::string(value);
    }
    std::string quoted = "\"";
    for (const char c : value) {
        quoted.push_back(c);
        if (c == '"') {
            quoted.push_back('"');
        }
    }
    quoted.push_back('"');
    return quoted;
}

std::size_t CKSCSVFileGenerator::WriteQuoted(std::string_view value) {
    WriteWhole(Quoted(value));
    return value.size();
}

std::size_t CKSCSVFileGenerator::WriteUnclosed(bool afterSeparator, std::string_view value, bool quotable) {
    TextDamage().Applied(m_rowsDone);
    // The field begins, for a reader, right after the delimiter: blanks of a padded separator
    // are part of it.
    std::string field;
    if (afterSeparator) {
        const std::size_t delimiter = m_separator.find(m_delimiter);
        const std::size_t start = delimiter == std::string::npos ? 0 : delimiter + 1;
        WriteWhole(std::string_view(m_separator).substr(0, start));
        field = m_separator.substr(start);
    }
    field += quotable ? Quoted(value) : std::string(value);
    if (!field.empty() && field.front() == '"') {
        // Its closing quote lost: the quotes inside are doubled, so none of them closes it.
        WriteWhole(std::string_view(field).substr(0, field.size() - 1));
        NoteChange("\"", {});
    } else {
        Inject({}, "\"");
        WriteWhole(field);
    }
    return value.size();
}

void CKSCSVFileGenerator::WriteHeader(std::size_t columnCount) {
    std::vector<std::string> names;
    for (std::size_t i = 1; i <= columnCount; ++i) {
        if (i > 1) {
            WriteWhole(m_separator);
        }
        if (!m_rfc4180) {
            WriteWhole(KSFormatCapped(60, std::string_view("Column %u"), static_cast<std::uint32_t>(i)));
            continue;
        }
        std::string name = "empty";
        for (const CColumnKind& kind : kColumnKinds) {
            if (kind.value == m_columns->GetAt(i - 1)) {
                name = std::string(kind.header);
            }
        }
        // A kind's second column is "number 2", its third "number 3".
        const auto repeats = std::count(names.begin(), names.end(), name);
        names.push_back(name);
        if (repeats != 0) {
            name.append(1, ' ').append(std::to_string(repeats + 1));
        }
        WriteQuoted(name);
    }
    WriteWhole(LineEndChoice() == ELineEnd::Mixed ? NextLineEnding() : m_rowEnd);
}

void CKSCSVFileGenerator::GenerateContent() {
    // Rows count, not bytes; the position counts this file's bytes (for the log and for where
    // damage lands), not every file's since the run began.
    Reset(0, GetLimit());
    m_columns = RequireProperty(u"Columns");
    m_separator = TextProperty(u"Separator").ToUtf8();
    ReadTextOptions();
    const CKSProperty* style = GetProperties().Find(u"Style");
    m_rfc4180 = style != nullptr && ParseCsvStyle(style->GetValue().View()) == ECsvStyle::Rfc4180;
    if (m_rfc4180) {
        m_separator = std::string(Trimmed(m_separator));
        if (m_separator.empty()) {
            m_separator.assign(1, ',');
        }
    }
    const std::string_view delimiter = Trimmed(m_separator);
    m_delimiter = delimiter.empty() ? (m_separator.empty() ? ',' : m_separator[0]) : delimiter[0];
    m_rowEnd = LineEndBytes(LineEndChoice(), m_rfc4180 ? "\r\n" : "\n");
    if (const CKSProperty* range = GetProperties().Find(u"NumberRange")) {
        m_numberRange = range->GetRangeValue();
    }
    const std::size_t columnCount = m_columns != nullptr ? m_columns->GetCount() : 0;
    const bool header = BoolProperty(u"EmitHeader", false);
    const CKSRange rows = RangeProperty(u"Rows", CKSRange(1000, 10000));
    // The row count is drawn after the header, as it always was.
    m_headerRows = header ? 1 : 0;
    if (!FileDamageClass().empty() && !IsCommonDamage(FileDamageClass())) {
        TextDamage().Choose(FileDamageClass(), 0, DamageStream());
        m_extraField = columnCount <= 1 || DamageStream().Below(2) == 0;
        if (TextDamage().Is("bom")) {
            TextDamage().Forget();
            Inject({}, "\xEF\xBB\xBF");
        }
    }
    if (header) {
        WriteHeader(columnCount);
    }
    m_rowsTarget = RandomInRange(static_cast<std::uint64_t>(rows.min), static_cast<std::uint64_t>(rows.max));
    m_rowsDone = 0;
    if (TextDamage().Owed()) {
        // Now that the rows are known: the seeded row among them. A quote goes to the last row's
        // last field, so that no later quote can close it and every reader meets the end of the
        // file inside the field.
        const std::string damageClass = TextDamage().Class();
        TextDamage().Choose(damageClass, m_rowsTarget, DamageStream());
        if (damageClass == "quote" && m_rowsTarget > 0) {
            TextDamage().ChooseLine(damageClass, m_rowsTarget - 1);
        }
    }
    Iterate();
    if (TextDamage().Owed()) {
        // A table without rows: the damage goes at its end.
        TextDamage().Forget();
        if (TextDamage().Is("mixed-eol")) {
            Inject({}, CTextDamage::OtherLineEnd(m_rowEnd));
        } else if (TextDamage().Is("quote")) {
            Inject({}, "\"");
        } else if (TextDamage().Is("invalid-utf8")) {
            Inject({}, CTextDamage::InvalidUtf8(DamageStream()));
        }
    }
}

std::string CKSCSVFileGenerator::NewKindValue(std::int32_t kind) {
    switch (kind) {
    case kEmail:
        return MakeEmail();
    case kCardNumber: {
        const std::string card = MakeCardNumber();
        return card.substr(0, card.find('.'));
    }
    case kSentence: {
        if (!EnsureWordModel()) {
            throw CKSException("Could not find or initialize rovezezodav data.");
        }
        std::string sentence;
        CKSRovezezodavInitializer::Instance().Words().GenerateSentence(sentence);
        return std::string(Trimmed(sentence));
    }
    case kInteger:
        return std::to_string(RandomInRange(static_cast<std::uint64_t>(m_numberRange.min),
                                            static_cast<std::uint64_t>(m_numberRange.max)));
    case kDecimal: {
        const std::uint64_t whole = RandomInRange(static_cast<std::uint64_t>(m_numberRange.min),
                                                  static_cast<std::uint64_t>(m_numberRange.max));
        return KSFormat(std::string_view("%I64d.%02u"), static_cast<std::int64_t>(whole), KSRand() % 100);
    }
    case kBoolean:
        return (KSRand() & 1) != 0 ? "true" : "false";
    case kUuid:
        return Uuid();
    default:
        return {};
    }
}

bool CKSCSVFileGenerator::DamageRowFields(std::size_t column, std::size_t columnCount) {
    if (!TextDamage().Due(m_rowsDone)) {
        return true;
    }
    if (TextDamage().Is("invalid-utf8") && column == 1) {
        TextDamage().Applied(m_rowsDone);
        Inject({}, CTextDamage::InvalidUtf8(DamageStream()));
    } else if (TextDamage().Is("ragged") && !m_extraField && column + 1 == columnCount) {
        return false; // the row's last field is drawn but not written
    }
    return true;
}

std::uint64_t CKSCSVFileGenerator::EmitBlock(std::uint64_t) {
    std::uint64_t fieldBytes = 0;
    const std::size_t columnCount = m_columns != nullptr ? m_columns->GetCount() : 0;
    for (std::size_t i = 0; i < columnCount; ++i) {
        const bool written = DamageRowFields(i, columnCount);
        const bool unclosed =
            i + 1 == columnCount && TextDamage().Due(m_rowsDone) && TextDamage().Is("quote");
        if (i > 0 && written && !unclosed) {
            WriteWhole(m_separator);
        }
        std::string value;
        const std::int32_t kind = m_columns->GetAt(i);
        switch (kind) {
        case kRandomMonth:
            value = kMonths[RandomInRange(0, 11)];
            break;
        case kRandomWord:
            value = CTextGenerator::Instance().PickRandomWord();
            break;
        case kRandomNumber:
            value = MakeNumber();
            break;
        case kRandomDate:
            value = MakeDate().value_or(std::string());
            break;
        default:
            value = NewKindValue(kind); // empty for kinds without content
            break;
        }
        const bool legacy = kind >= kRandomMonth && kind <= kRandomDate;
        const std::string_view shown = m_rfc4180 && legacy ? Trimmed(value) : std::string_view(value);
        if (!written) {
            // A writer that lost the row's last field: what it would have written is the change.
            TextDamage().Applied(m_rowsDone);
            std::string lost = i > 0 ? m_separator : std::string();
            lost.append(shown);
            NoteChange(lost, {});
            continue;
        }
        if (unclosed) {
            fieldBytes += WriteUnclosed(i > 0, shown, m_rfc4180 || !legacy);
        } else {
            fieldBytes += m_rfc4180 || !legacy ? WriteQuoted(shown) : WriteWhole(shown);
        }
        OnField(shown);
    }
    if (TextDamage().Due(m_rowsDone) && TextDamage().Is("ragged") && m_extraField) {
        TextDamage().Applied(m_rowsDone);
        std::string extra = m_separator;
        extra.append("extra");
        Inject({}, extra);
    }
    ++m_rowsDone;
    return fieldBytes;
}

std::uint64_t CKSCSVFileGenerator::EndOfBlock(std::uint64_t, std::uint64_t) {
    Logger().InfoF("CSV File Generator: %d bytes at end of block.", static_cast<std::int32_t>(GetPosition()));
    std::string_view ending = LineEndChoice() == ELineEnd::Mixed ? NextLineEnding() : m_rowEnd;
    const std::uint64_t row = m_rowsDone - 1;
    if (TextDamage().Due(row) && TextDamage().Is("mixed-eol")) {
        TextDamage().Applied(row);
        const std::string_view other = CTextDamage::OtherLineEnd(ending);
        NoteChange(ending, other);
        ending = other;
    }
    WriteWhole(ending);
    return 0;
}

void CKSCSVFileGenerator::CloseOutput(const CKSString& path) {
    const bool damaged = !TextDamage().Class().empty();
    CKSTextFileGenerator::CloseOutput(path);
    if (damaged) {
        CDamageRecord& record = FileDamageRecord();
        record.rows = m_headerRows + m_rowsTarget;
        if (record.damageClass == "ragged") {
            record.expected = KSFormat(std::string_view("reads %I64u rows; one has a column too %s"),
                                       *record.rows, m_extraField ? "many" : "few");
        } else if (record.outcome != EReaderOutcome::Fails) {
            record.expected += KSFormat(std::string_view(" (%I64u rows)"), *record.rows);
        }
    }
}

void CKSCSVFileGenerator::JudgeCommonDamage(CDamageRecord& record, const std::string&, std::uint64_t) {
    record.outcome = record.damageClass == damage::kEmpty ? EReaderOutcome::Decodes : EReaderOutcome::Unknown;
    record.expected =
        record.damageClass == damage::kEmpty
            ? "reads no rows"
            : "reads the rows before the damage; past it a strict reader may fail or read other values";
}
