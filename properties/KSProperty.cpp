#include "properties/KSProperty.h"

#include "support/IniProfile.h"
#include "support/KSFormat.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'z') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'Z') {
        return c - u'A' + 10;
    }
    return 99;
}

// The standard conversion of a signed integer: leading white space, a sign, a "0x" prefix in
// base 16, the longest run of digits; out-of-range values clamp to [low, high] (clamped says so).
// Answers the position after the digits (the start of the text when there were none).
std::size_t ConvertInteger(std::u16string_view text, int base, std::int64_t low, std::int64_t high,
                           std::int64_t& value, bool* clamped = nullptr) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (base == 16 && i + 1 < text.size() && text[i] == u'0' &&
        (text[i + 1] == u'x' || text[i + 1] == u'X') && i + 2 < text.size() && DigitValue(text[i + 2]) < 16) {
        i += 2;
    }
    // Accumulate the magnitude without overflow; past the range it sticks at the limit.
    const std::uint64_t limit =
        negative ? static_cast<std::uint64_t>(-(low + 1)) + 1 : static_cast<std::uint64_t>(high);
    std::uint64_t magnitude = 0;
    bool any = false;
    bool saturated = false;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i]);
        if (digit >= base) {
            break;
        }
        any = true;
        if (!saturated) {
            if (magnitude > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
                saturated = true;
                magnitude = limit;
            } else {
                magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
            }
        }
    }
    if (!any) {
        value = 0;
        return 0;
    }
    if (clamped != nullptr) {
        *clamped = saturated;
    }
    if (negative) {
        value = magnitude == 0 ? 0 : -static_cast<std::int64_t>(magnitude - 1) - 1;
    } else {
        value = static_cast<std::int64_t>(magnitude);
    }
    return i;
}

// value * multiplier, held at the 64-bit limits instead of overflowing (clamped says so).
std::int64_t SaturatingMultiply(std::int64_t value, std::int64_t multiplier, bool* clamped = nullptr) {
    std::int64_t product = 0;
    if (__builtin_mul_overflow(value, multiplier, &product)) {
        if (clamped != nullptr) {
            *clamped = true;
        }
        return value < 0 ? kInt64Min : kInt64Max;
    }
    return product;
}

char16_t RangeSeparator(std::u16string_view text) {
    for (char16_t c : text) {
        if (c == u',' || c == u':' || c == u'-') {
            return c;
        }
    }
    return u',';
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view word) {
    CKSString folded(text);
    folded.Lower();
    return folded.View() == word;
}

constexpr std::pair<std::u16string_view, int> kBoolWords[] = {
    {u"yes", 1}, {u"no", 0},   {u"y", 1},     {u"n", 0},     {u"1", 1},
    {u"0", 0},   {u"true", 1}, {u"false", 0}, {u"maybe", 2},
};

bool ParseBool(std::u16string_view text) {
    for (const auto& [word, meaning] : kBoolWords) {
        if (EqualsIgnoringCase(text, word)) {
            if (meaning == 2) {
                // The lowest bit of the high-resolution counter at this moment.
                return (std::chrono::steady_clock::now().time_since_epoch().count() & 1) != 0;
            }
            return meaning == 1;
        }
    }
    return true; // any other word counts as yes
}

} // namespace

std::int64_t SizeUnitMultiplier(std::size_t index) {
    return index < SizeUnits.size() ? SizeUnits[index].multiplier : 1;
}

namespace {

// Every unit the number syntax reads, compared exactly and case-sensitively. Values are written
// back with the units of SizeUnits only.
constexpr std::pair<std::u16string_view, std::int64_t> kSuffixes[] = {
    {u"K", 1000},        {u"KB", 1024},         {u"KiB", 1024},     {u"M", 1000000},
    {u"MB", 1LL << 20},  {u"MiB", 1LL << 20},   {u"G", 1000000000}, {u"GB", 1LL << 30},
    {u"GiB", 1LL << 30}, {u"T", 1000000000000}, {u"TB", 1LL << 40}, {u"TiB", 1LL << 40},
};

constexpr std::u16string_view kKnownUnits =
    u"K, M, G, T (powers of 1,000), KB, MB, GB, TB, KiB, MiB, GiB, TiB (powers of 1,024)";

// Base from the text: "0x10" is 16, "010" is 8.
int BaseOf(std::u16string_view text) {
    if (text.size() >= 2 && text[0] == u'0') {
        if (text.size() == 2) {
            return 8;
        }
        return (text[1] == u'x' || text[1] == u'X') ? 16 : 8;
    }
    return 10;
}

// One number of the syntax, as read: its value, where the digits end, and whether the value had
// to be held at the 64-bit limits.
struct ReadNumber {
    std::int64_t value = 0;
    std::size_t end = 0; // 0: no digits at all
    std::u16string_view suffix;
    const std::pair<std::u16string_view, std::int64_t>* unit = nullptr;
    bool clamped = false;
};

ReadNumber ReadNumberText(std::u16string_view text) {
    ReadNumber number;
    if (text.empty()) {
        return number;
    }
    number.end = ConvertInteger(text, BaseOf(text), kInt64Min, kInt64Max, number.value, &number.clamped);
    if (number.end == 0) {
        return number;
    }
    number.suffix = text.substr(number.end);
    for (const auto& unit : kSuffixes) {
        if (number.suffix == unit.first) {
            number.unit = &unit;
            number.value = SaturatingMultiply(number.value, unit.second, &number.clamped);
        }
    }
    return number;
}

// Whether the syntax reads every character of the text, units included, as the value it stands
// for (a number beyond the 64-bit range reads as the limit, not as typed).
bool ReadsWholeNumber(std::u16string_view text) {
    const ReadNumber number = ReadNumberText(text);
    return number.end != 0 && (number.suffix.empty() || number.unit != nullptr) && !number.clamped;
}

// Why a number's text is refused: digits followed by something that is no unit. A text with no
// digits at all is no number and reads as 0 (with a warning where it is typed).
std::u16string NumberProblem(std::u16string_view text) {
    const ReadNumber number = ReadNumberText(text);
    if (number.end == 0 || number.suffix.empty() || number.unit != nullptr) {
        return {};
    }
    return KSFormat(std::u16string_view(u"\"%s\" is not a unit; the units are %s"), number.suffix,
                    kKnownUnits);
}

// The same for each bound of a range or limit.
std::u16string PairProblem(std::u16string_view text) {
    const CKSStringPair parts(text, RangeSeparator(text));
    std::u16string problem = NumberProblem(parts.First().View());
    return problem.empty() ? NumberProblem(parts.Second().View()) : problem;
}

} // namespace

std::int64_t CIntString::Parse(std::u16string_view text) {
    return ReadNumberText(text).value;
}

CKSString CIntString::Format(std::int64_t value) {
    if (value != 0) {
        // Negative values are written as their magnitude with a sign, so that they read back.
        const bool negative = value < 0;
        const std::uint64_t magnitude =
            negative ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
        for (std::size_t row = SizeUnits.size() - 1; row >= 1; --row) {
            const auto multiplier = static_cast<std::uint64_t>(SizeUnits[row].multiplier);
            if (magnitude % multiplier == 0) {
                std::u16string text = KSFormat(std::u16string_view(u"%s%I64u%s"), negative ? u"-" : u"",
                                               magnitude / multiplier, SizeUnits[row].suffix);
                return CKSString(text);
            }
        }
    }
    return CKSString(KSFormat(std::u16string_view(u"%I64d"), value));
}

CKSRange CKSRange::Parse(std::u16string_view text) {
    const CKSStringPair parts(text, RangeSeparator(text));
    CKSRange range;
    range.min = CIntString::Parse(parts.First());
    range.max = parts.Second().IsEmpty() ? range.min : CIntString::Parse(parts.Second());
    return range;
}

CKSString CKSRange::Format() const {
    CKSString text = CIntString::Format(min);
    text.Append(u",");
    text.Append(CIntString::Format(max));
    return text;
}

std::u16string CKSRange::Problem() const {
    if (min > max) {
        return KSFormat(std::u16string_view(u"the minimum %I64d is above the maximum %I64d"), min, max);
    }
    if (min < 0) {
        return KSFormat(std::u16string_view(u"the minimum %I64d is below 0"), min);
    }
    return {};
}

CKSLimit CKSLimit::Parse(std::u16string_view text) {
    const CKSStringPair parts(text, RangeSeparator(text));
    CKSLimit limit;
    limit.value = CIntString::Parse(parts.First());
    const std::int64_t flag = CIntString::Parse(parts.Second());
    // A flag text other than 0 or 1 leaves the flag off.
    limit.flag = flag == 1 ? 1 : 0;
    return limit;
}

CKSString CKSLimit::Format() const {
    CKSString text = CIntString::Format(value);
    text.Append(flag != 0 ? u",1" : u",0");
    return text;
}

CKSProperty::CKSProperty(std::u16string_view name, std::u16string_view description)
    : m_name(name), m_description(description) {}

CKSProperty::CKSProperty(std::u16string_view name, std::u16string_view description, std::int64_t value)
    : m_name(name), m_description(description), m_scalar(value) {}

CKSProperty::CKSProperty(std::u16string_view name, std::u16string_view description, const char16_t* text)
    : m_name(name), m_description(description), m_type(PropertyType::TEXT), m_text(text ? text : u"") {}

CKSProperty::CKSProperty(std::u16string_view name, std::u16string_view description, const CKSRange& range)
    : m_name(name), m_description(description), m_type(PropertyType::RANGE), m_range(range) {}

CKSProperty::CKSProperty(const CKSProperty& other)
    : m_name(other.m_name), m_description(other.m_description), m_type(other.m_type),
      m_scalar(other.m_scalar), m_range(other.m_range), m_limit(other.m_limit), m_text(other.m_text),
      m_refusal(other.m_refusal), m_fileNamePart(other.m_fileNamePart) {}

void CKSProperty::CopyListFrom(const CKSProperty&) {}

void CKSProperty::SetListValues(const std::int32_t*, std::size_t) {}

std::int32_t CKSProperty::GetAt(std::size_t) const {
    return 0;
}

void CKSProperty::ParseList(std::u16string_view) {}

void CKSProperty::FormatList(CKSString&) const {}

void CKSProperty::SetBoolValue(bool value) {
    m_refusal.reset();
    m_scalar = value ? 1 : 0;
    m_type = PropertyType::BOOL;
}

void CKSProperty::SetLongValue(std::int64_t value) {
    m_refusal.reset();
    m_scalar = value;
    m_type = PropertyType::LONG;
}

void CKSProperty::SetTextValue(std::u16string_view text) {
    m_text = CKSString(text);
    m_type = PropertyType::TEXT;
    m_refusal.reset();
    if (m_fileNamePart && text.find(u'/') != std::u16string_view::npos) {
        m_refusal = CRefusal{m_text, u"a part of a file name cannot hold the path separator \"/\""};
    }
}

void CKSProperty::SetRangeValue(const CKSRange& range) {
    m_refusal.reset();
    m_range = range;
    m_type = PropertyType::RANGE;
}

void CKSProperty::SetLimitValue(const CKSLimit& limit) {
    m_refusal.reset();
    m_limit = limit;
    m_type = PropertyType::LIMIT;
}

void CKSProperty::SetValue(const CKSProperty& source) {
    m_type = source.m_type;
    m_scalar = source.m_scalar;
    m_range = source.m_range;
    m_limit = source.m_limit;
    m_text = source.m_text;
    m_refusal = source.m_refusal;
    if (m_type == PropertyType::LIST) {
        CopyListFrom(source);
    }
}

void CKSProperty::Assign(const CKSProperty& source) {
    m_name = source.m_name;
    SetValue(source);
}

std::unique_ptr<CKSProperty> CKSProperty::Clone() const {
    if (m_type == PropertyType::LIST) {
        auto list = std::make_unique<CKSListProperty>(m_name, m_description);
        list->CopyListFrom(*this);
        return list;
    }
    return std::make_unique<CKSProperty>(*this);
}

void CKSProperty::ParseValue(std::u16string_view text) {
    switch (m_type) {
    case PropertyType::BOOL:
        SetBoolValue(ParseBool(text));
        break;
    case PropertyType::LONG:
        SetLongValue(CIntString::Parse(text));
        RefuseIf(text, NumberProblem(text));
        break;
    case PropertyType::TEXT:
        SetTextValue(text);
        break;
    case PropertyType::RANGE:
        SetRangeValue(CKSRange::Parse(text));
        RefuseIf(text, PairProblem(text));
        break;
    case PropertyType::LIMIT:
        SetLimitValue(CKSLimit::Parse(text));
        RefuseIf(text, PairProblem(text));
        break;
    case PropertyType::LIST:
        ParseList(text);
        break;
    }
}

void CKSProperty::RefuseIf(std::u16string_view text, std::u16string reason) {
    if (!reason.empty()) {
        m_refusal = CRefusal{CKSString(text), std::move(reason)};
    }
}

bool CKSProperty::ReadsAsTyped(std::u16string_view text) const {
    switch (m_type) {
    case PropertyType::BOOL:
        return std::any_of(std::begin(kBoolWords), std::end(kBoolWords),
                           [text](const auto& word) { return EqualsIgnoringCase(text, word.first); });
    case PropertyType::LONG:
        return ReadsWholeNumber(text);
    case PropertyType::TEXT:
        return true;
    case PropertyType::RANGE:
    case PropertyType::LIMIT: {
        const CKSStringPair parts(text, RangeSeparator(text));
        if (!ReadsWholeNumber(parts.First().View())) {
            return false;
        }
        if (!parts.HasSeparator()) {
            return true;
        }
        if (m_type == PropertyType::LIMIT) {
            return parts.Second().View() == u"0" || parts.Second().View() == u"1";
        }
        return ReadsWholeNumber(parts.Second().View());
    }
    case PropertyType::LIST: {
        // Items are plain decimal numbers, each in 32 bits.
        std::size_t at = 0;
        for (;;) {
            const std::size_t comma = text.find(u',', at);
            std::u16string_view item =
                text.substr(at, comma == std::u16string_view::npos ? text.npos : comma - at);
            while (!item.empty() && IsSpace(item.back())) {
                item.remove_suffix(1);
            }
            std::int64_t value = 0;
            bool clamped = false;
            const std::size_t end = ConvertInteger(item, 10, std::numeric_limits<std::int32_t>::min(),
                                                   std::numeric_limits<std::int32_t>::max(), value, &clamped);
            if (end == 0 || end != item.size() || clamped) {
                return false;
            }
            if (comma == std::u16string_view::npos) {
                return true;
            }
            at = comma + 1;
        }
    }
    }
    return true;
}

bool CKSProperty::ReadFromValue(const CKSString& file, std::u16string_view section) {
    return ReadFromValue(CIniSectionReader(file, section));
}

bool CKSProperty::ReadFromValue(const CIniSectionReader& section) {
    const std::optional<std::u16string> read = section.Find(m_name);
    if (!read) {
        return true; // missing: the current value stays
    }
    const std::u16string_view text = std::u16string_view(*read).substr(0, kValueCapacity - 1);
    if (text.empty() || text == kMissing) {
        return true; // missing or empty: the current value stays
    }
    ParseValue(text);
    return true;
}

bool CKSProperty::FormatValue(CKSString& out) const {
    switch (m_type) {
    case PropertyType::BOOL:
        out = CIntString::Format(GetBoolValue() ? 1 : 0);
        return true;
    case PropertyType::LONG:
        out = CIntString::Format(m_scalar);
        return true;
    case PropertyType::TEXT:
        out = m_text;
        return true;
    case PropertyType::RANGE:
        out = m_range.Format();
        return true;
    case PropertyType::LIMIT:
        out = m_limit.Format();
        return true;
    case PropertyType::LIST:
        FormatList(out);
        return !out.IsEmpty();
    }
    return false;
}

bool CKSProperty::WriteToValue(const CKSString& file, std::u16string_view section) const {
    CKSString text;
    if (!FormatValue(text)) {
        return false;
    }
    return CIniProfile::WriteString(file, section, m_name, text);
}

CKSString CKSProperty::Describe(std::size_t capacity) const {
    std::u16string text = KSFormat(std::u16string_view(u"%- 18s%s\r\n"), m_name, m_description);
    switch (m_type) {
    case PropertyType::BOOL:
        text += KSFormat(std::u16string_view(u"%- 18sBOOL: %s"), u"", GetBoolValue() ? u"true" : u"false");
        break;
    case PropertyType::LONG:
        text += KSFormat(std::u16string_view(u"%- 18sLONG: %I64d"), u"", m_scalar);
        break;
    case PropertyType::TEXT:
        if (m_text.IsEmpty()) {
            text += KSFormat(std::u16string_view(u"%- 18sTEXT: (empty)"), u"");
        } else {
            text += KSFormat(std::u16string_view(u"%- 18sTEXT: %s"), u"", m_text);
        }
        break;
    case PropertyType::RANGE:
        text += KSFormat(std::u16string_view(u"%- 18sRANGE: %I64d, %I64d"), u"", m_range.min, m_range.max);
        break;
    case PropertyType::LIMIT:
        text += KSFormat(std::u16string_view(u"%- 18sLIMIT: %I64d, %d"), u"", m_limit.value, m_limit.flag);
        break;
    case PropertyType::LIST:
        break;
    }
    if (capacity == 0) {
        return CKSString(u"");
    }
    if (text.size() > capacity - 1) {
        text.resize(capacity - 1);
    }
    return CKSString(text);
}

CKSBoolProperty::CKSBoolProperty(std::u16string_view name, std::u16string_view description, bool value)
    : CKSProperty(name, description) {
    SetBoolValue(value);
}

CKSListProperty::CKSListProperty(std::u16string_view name, std::u16string_view description)
    : CKSProperty(name, description) {
    SetType(PropertyType::LIST);
}

CKSListProperty::CKSListProperty(const CKSListProperty& other)
    : CKSProperty(other), m_values(other.m_values) {}

void CKSListProperty::CopyListFrom(const CKSProperty& source) {
    m_values.items.resize(source.GetCount());
    for (std::size_t i = 0; i < m_values.items.size(); ++i) {
        m_values.items[i] = source.GetAt(i);
    }
}

void CKSListProperty::SetListValues(const std::int32_t* items, std::size_t count) {
    m_values.items.assign(items, items + count);
}

std::int32_t CKSListProperty::GetAt(std::size_t index) const {
    return index < m_values.items.size() ? m_values.items[index] : 0;
}

void CKSListProperty::ParseList(std::u16string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::int64_t value = 0;
        ConvertInteger(text.substr(at), 10, std::numeric_limits<std::int32_t>::min(),
                       std::numeric_limits<std::int32_t>::max(), value);
        m_values.items.push_back(static_cast<std::int32_t>(value));
        const std::size_t comma = text.find(u',', at);
        if (comma == std::u16string_view::npos) {
            break;
        }
        at = comma + 1;
    }
}

void CKSListProperty::FormatList(CKSString& out) const {
    std::u16string text;
    for (std::size_t i = 0; i < m_values.items.size(); ++i) {
        if (i > 0) {
            text += u", ";
        }
        text += KSFormat(std::u16string_view(u"%d"), m_values.items[i]);
    }
    out = CKSString(text);
}

CKSString CKSListProperty::Describe(std::size_t capacity) const {
    CKSString text;
    FormatList(text);
    if (capacity == 0) {
        return CKSString(u"");
    }
    return CKSString(text.View().substr(0, capacity - 1));
}

std::unique_ptr<CKSProperty> CKSListProperty::Clone() const {
    return std::make_unique<CKSListProperty>(*this);
}
