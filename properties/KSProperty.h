#pragma once
// Typed, named values of a definition ("Size", "BigEndian", "Columns" ...) and their text
// syntax in the configuration file: numbers with unit suffixes (64KB, 1K), ranges (1K,10K),
// limits, booleans and integer lists.

#include "support/KSString.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CIniSectionReader;

enum class PropertyType : std::int32_t {
    BOOL = 0,
    LONG = 1,
    TEXT = 2,
    RANGE = 3,
    LIMIT = 4,
    LIST = 6,
};

// One row of the unit table shared by the number formatter and the unit drop-down lists.
struct SizeUnit {
    const char16_t* label;
    const char16_t* suffix;
    std::int64_t multiplier;
};

inline constexpr std::array<SizeUnit, 6> SizeUnits{{
    {u"Bytes", u"", 1},
    {u"Kilo (x1000)", u"K", 1000},
    {u"Kilobytes (x1024)", u"KB", 1024},
    {u"Megabytes", u"MB", 1048576},
    {u"Gigabytes", u"GB", 1073741824},
    {u"Terrabytes", u"TB", 1099511627776},
}};

// The multiplier of a unit row; an index beyond the table counts as 1.
std::int64_t SizeUnitMultiplier(std::size_t index);

class CKSType {
public:
    virtual ~CKSType() = default;
};

class CKSRange : public CKSType {
public:
    CKSRange() = default;
    CKSRange(std::int64_t minimum, std::int64_t maximum) : min(minimum), max(maximum) {}
    // "1K,10K", "1K:10K" and "1K-10K" all give (1000, 10000); "4096" gives (4096, 4096).
    static CKSRange Parse(std::u16string_view text);
    // The bounds as numbers joined by ',': (1000, 10000) is "1K,10K".
    CKSString Format() const;
    // Why the range cannot be drawn from (a minimum above the maximum, or a bound below 0: every
    // range counts or measures something, and a draw from either would run away to billions);
    // empty when it can.
    std::u16string Problem() const;
    bool operator==(const CKSRange& other) const { return min == other.min && max == other.max; }

    std::int64_t min = 0;
    std::int64_t max = 100;
};

class CKSLimit : public CKSType {
public:
    CKSLimit() = default;
    CKSLimit(std::int64_t limitValue, std::int32_t limitFlag) : value(limitValue), flag(limitFlag) {}
    static CKSLimit Parse(std::u16string_view text);
    CKSString Format() const;
    bool operator==(const CKSLimit& other) const { return value == other.value && flag == other.flag; }

    std::int64_t value = 100;
    std::int32_t flag = 0;
};

// A number together with its text, for both directions of the number syntax.
class CIntString : public CKSType {
public:
    explicit CIntString(std::u16string_view text) : m_text(text), m_value(Parse(text)) {}
    explicit CIntString(std::int64_t value) : m_text(Format(value)), m_value(value) {}

    const CKSString& GetText() const { return m_text; }
    std::int64_t GetValue() const { return m_value; }

    // Base from the text ("0x10" is 16, "010" is 8, "08" is 0), the longest valid prefix, then
    // an exact, case-sensitive unit: K, M, G, T (powers of 1,000), KB, MB, GB, TB, KiB, MiB, GiB,
    // TiB (powers of 1,024). Values and products beyond the 64-bit range saturate at its limits;
    // any other text after the digits is ignored here and refused by CKSProperty::ParseValue.
    static std::int64_t Parse(std::u16string_view text);
    // The largest unit that divides the value exactly (TB down to K), else plain decimal:
    // 1024 is "1KB", 1000 "1K", 1500 "1500".
    static CKSString Format(std::int64_t value);

private:
    CKSString m_text;
    std::int64_t m_value;
};

class CKSListOfInts {
public:
    virtual ~CKSListOfInts() = default;
    std::vector<std::int32_t> items;
};

class CKSProperty {
public:
    // The sentinel default that tells a missing key from an empty one.
    static constexpr std::u16string_view kMissing = u" [nil]";
    // A value is read into this many characters; a longer one arrives cut.
    static constexpr std::size_t kValueCapacity = 1024;
    // The summary page's dump capacity.
    static constexpr std::size_t kDescribeCapacity = 120;

    // A LONG property of value 0.
    CKSProperty(std::u16string_view name, std::u16string_view description);
    CKSProperty(std::u16string_view name, std::u16string_view description, std::int64_t value);
    CKSProperty(std::u16string_view name, std::u16string_view description, const char16_t* text);
    CKSProperty(std::u16string_view name, std::u16string_view description, const CKSRange& range);
    CKSProperty(const CKSProperty& other);
    CKSProperty& operator=(const CKSProperty&) = delete;
    virtual ~CKSProperty() = default;

    // List operations; they do nothing (or answer 0) except in CKSListProperty.
    virtual void CopyListFrom(const CKSProperty& source);
    virtual void SetListValues(const std::int32_t* items, std::size_t count);
    virtual std::size_t GetCount() const { return 0; }
    virtual std::int32_t GetAt(std::size_t index) const;
    virtual void ParseList(std::u16string_view text);
    virtual void FormatList(CKSString& out) const;
    // Dump text for the summary of a definition, cut to capacity - 1 characters.
    virtual CKSString Describe(std::size_t capacity = kDescribeCapacity) const;

    const CKSString& GetName() const { return m_name; }
    const CKSString& GetDescription() const { return m_description; }
    PropertyType GetType() const { return m_type; }

    // Getters are meant for their own kind and do not check it.
    bool GetBoolValue() const { return (m_scalar & 0xFF) != 0; }
    // The low 32 bits of the stored value.
    std::int32_t GetLongValue() const {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(m_scalar));
    }
    std::int64_t GetLongValue64() const { return m_scalar; }
    const CKSRange& GetRangeValue() const { return m_range; }
    const CKSLimit& GetLimitValue() const { return m_limit; }
    const CKSString& GetValue() const { return m_text; }

    // Setters store the value and set the kind.
    void SetBoolValue(bool value);
    void SetLongValue(std::int64_t value);
    void SetTextValue(std::u16string_view text);
    void SetRangeValue(const CKSRange& range);
    void SetLimitValue(const CKSLimit& limit);

    // Copies the kind and value of the source, not its name or description.
    void SetValue(const CKSProperty& source);
    // Copies the name, then the value.
    void Assign(const CKSProperty& source);
    // A copy of the right class: a CKSListProperty for LIST, a CKSProperty otherwise.
    virtual std::unique_ptr<CKSProperty> Clone() const;

    // Reads this property's key from the section. A missing key, an empty value or a missing file
    // leave the value as it is. Always true.
    bool ReadFromValue(const CKSString& file, std::u16string_view section);
    bool ReadFromValue(const CIniSectionReader& section);
    // Writes this property's key; false when it cannot be written (an empty LIST among them).
    bool WriteToValue(const CKSString& file, std::u16string_view section) const;

    // The value as text read from a file, interpreted by the current kind.
    void ParseValue(std::u16string_view text);
    // Whether ParseValue reads the whole text as typed: false when it stops early, reads a word
    // it does not know ("abc" reads as 0, "sure" as yes) or holds a number at the 64-bit limit.
    bool ReadsAsTyped(std::u16string_view text) const;
    // A text the value cannot take, kept by ParseValue and SetTextValue with the reason, so that
    // whoever writes or generates the definition can refuse it: a number followed by something
    // that is no unit ("1G" is a unit, "1 KB" and "1kb" are not), or a path separator in a part
    // of a file name. Setting a value by another setter clears it.
    struct CRefusal {
        CKSString text;
        std::u16string reason;
    };
    const std::optional<CRefusal>& GetRefusal() const { return m_refusal; }
    // Marks a TEXT property that becomes part of a file name ("Prefix"): a '/' in it would put
    // the file elsewhere.
    void MarkFileNamePart() { m_fileNamePart = true; }
    // The written form of the value; false when there is none (an empty LIST).
    bool FormatValue(CKSString& out) const;

protected:
    void SetType(PropertyType type) { m_type = type; }

private:
    void RefuseIf(std::u16string_view text, std::u16string reason);

    CKSString m_name;
    CKSString m_description;
    PropertyType m_type = PropertyType::LONG;
    std::int64_t m_scalar = 0;
    CKSRange m_range;
    CKSLimit m_limit;
    CKSString m_text{u""};
    std::optional<CRefusal> m_refusal;
    bool m_fileNamePart = false;
};

class CKSBoolProperty : public CKSProperty {
public:
    CKSBoolProperty(std::u16string_view name, std::u16string_view description, bool value);
};

class CKSListProperty : public CKSProperty {
public:
    CKSListProperty(std::u16string_view name, std::u16string_view description);
    CKSListProperty(const CKSListProperty& other);

    void CopyListFrom(const CKSProperty& source) override;
    void SetListValues(const std::int32_t* items, std::size_t count) override;
    std::size_t GetCount() const override { return m_values.items.size(); }
    std::int32_t GetAt(std::size_t index) const override;
    // Appends the items of a text such as "1, 2, 3"; an empty item gives 0.
    void ParseList(std::u16string_view text) override;
    // The items joined by ", "; an empty list gives the empty text.
    void FormatList(CKSString& out) const override;
    CKSString Describe(std::size_t capacity = kDescribeCapacity) const override;
    std::unique_ptr<CKSProperty> Clone() const override;

private:
    CKSListOfInts m_values;
};
