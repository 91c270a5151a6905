#pragma once
// The program's text type and its small relatives. All text is UTF-16 inside the program and
// UTF-8 at every boundary with the operating system (paths, files, logs, the terminal).

#include "support/KSFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QString;

class CKSString {
public:
    // Written at construction; lets a debugger tell a live string from stray memory.
    static constexpr std::uint32_t kMarker = 0xF7892A37;

    CKSString() = default;
    CKSString(const char16_t* text);
    CKSString(std::u16string_view text);
    CKSString(const std::u16string& text);
    CKSString(std::u16string&& text);
    CKSString(const CKSString& other) = default;
    CKSString(CKSString&& other) noexcept = default;
    CKSString& operator=(const CKSString& other) = default;
    CKSString& operator=(CKSString&& other) noexcept = default;
    virtual ~CKSString() = default;

    static CKSString FromUtf8(std::string_view text);
    static CKSString FromQString(const QString& text);

    // The characters, or null for a string that was never given text.
    const char16_t* Get() const { return m_hasBuffer ? m_text.c_str() : nullptr; }
    std::u16string_view View() const { return m_text; }
    operator std::u16string_view() const { return m_text; }
    const std::u16string& Str() const { return m_text; }
    std::size_t Length() const { return m_text.size(); }
    // Characters reserved, terminator included; every allocation for n characters reserves 2n.
    std::size_t Capacity() const { return m_capacity; }
    bool IsEmpty() const { return m_text.empty(); }

    // Sets the text, with an optional second text appended. A null text leaves no buffer.
    void Assign(const char16_t* text, const char16_t* more = nullptr);
    void Assign(std::u16string_view text);
    void AssignUtf8(const char* text);
    void AssignFrom(const CKSString& other) { *this = other; }
    void Append(std::u16string_view text);
    void Lower();

    // Ordering of every name-keyed map: case and the blanks space, tab, CR and LF are ignored.
    int Compare(const CKSString& other) const { return CompareNames(m_text, other.m_text); }
    bool Less(const CKSString& other) const { return Compare(other) < 0; }
    static int CompareNames(std::u16string_view a, std::u16string_view b);

    // Formats one value into a buffer of the given capacity (256 when 0); when the result does
    // not fit, the capacity is doubled once and the text formatted again, then cut.
    void FormatWithValue(std::u16string_view format, const CKSFormatArg& value, std::size_t capacity = 0);
    // Formats up to two texts; the capacity is always large enough.
    void FormatWithTexts(std::u16string_view format, std::u16string_view first,
                         std::u16string_view second = {});

    std::string ToUtf8() const;
    QString ToQString() const;

    // Exact (case- and blank-sensitive) equality; use Compare for name matching.
    bool operator==(const CKSString& other) const { return m_text == other.m_text; }

private:
    void Reserve(std::size_t characters);

    [[maybe_unused]] std::uint32_t m_marker = kMarker; // read only by debuggers
    std::size_t m_capacity = 0;
    bool m_hasBuffer = false;
    std::u16string m_text;
};

// Comparator for maps ordered the way the program orders names.
// Transparent: a map keyed by names is searched with a view of a name, without a copy of it.
struct CKSStringLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const {
        return CKSString::CompareNames(a, b) < 0;
    }
};

// A path held as text. The separator is '/' here; EnsureBackslash keeps its classic name.
class CKSPathName : public CKSString {
public:
    using CKSString::CKSString;
    CKSPathName(const CKSString& text) : CKSString(text) {}

    // Appends the separator unless the text already ends in one; false for an empty string.
    bool EnsureBackslash();
    // This path joined with another part: exactly one separator between them.
    CKSPathName Join(std::u16string_view more) const;
    // The path as the operating system wants it.
    std::string ToNative() const { return ToUtf8(); }
};

// The two parts of a "first<sep>second" text, as ranges and limits are written.
class CKSStringPair {
public:
    CKSStringPair() = default;
    // Splits at the first occurrence of the separator; without it the second part is empty.
    CKSStringPair(std::u16string_view text, char16_t separator);
    virtual ~CKSStringPair() = default;

    const CKSString& Whole() const { return m_whole; }
    const CKSString& First() const { return m_first; }
    const CKSString& Second() const { return m_second; }
    char16_t Separator() const { return m_separator; }
    bool HasSeparator() const { return m_hasSeparator; }

private:
    CKSString m_whole;
    CKSString m_first;
    CKSString m_second;
    char16_t m_separator = u',';
    bool m_hasSeparator = false;
};

// A UTF-8 copy of a wide text, zero-terminated, for the narrow world.
class CKSUTF8String {
public:
    explicit CKSUTF8String(std::u16string_view text);
    virtual ~CKSUTF8String() = default;
    const char* Get() const { return m_bytes.c_str(); }
    std::string_view View() const { return m_bytes; }
    // Size of the converted text plus the two terminating zero bytes the clipboard form carries.
    std::size_t Size() const { return m_bytes.size() + 2; }

private:
    std::string m_bytes;
};

// One owned copy of a text that travels from a worker thread to a window; whoever takes the
// value owns it from then on.
class CMessageString {
public:
    explicit CMessageString(std::u16string_view text) : m_text(std::make_unique<std::u16string>(text)) {}
    explicit CMessageString(std::string_view narrow)
        : m_text(std::make_unique<std::u16string>(Utf8ToUtf16(narrow))) {}
    virtual ~CMessageString() = default;
    const std::u16string* Peek() const { return m_text.get(); }
    std::unique_ptr<std::u16string> TakeValue() { return std::move(m_text); }

private:
    std::unique_ptr<std::u16string> m_text;
};

// The same, with a line ending appended, for log windows.
class CTerminatedMessageString : public CMessageString {
public:
    explicit CTerminatedMessageString(std::u16string_view text)
        : CMessageString(std::u16string(text) + u"\r\n") {}
};
