#pragma once
// The one printf-style formatter of the program. Message texts keep their classic printf shape
// ("'%s' generating %u files", "%I64d", "%04u"), but the arguments are checked by the compiler:
// each one is captured with its type, and the conversion letter only decides how it is shown.
//
// Supported: %s %S %c %d %i %u %x %X %f %p %%, flags "-+ 0#", width, precision, and the length
// prefixes I64, ll, l and h. Integers are taken at the width the conversion names (32 bits unless
// I64/ll, 16 bits with h), exactly as the C runtime would read a matching argument.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

class CKSString;
class QString;

class CKSFormatArg {
public:
    enum class Kind { Signed, Unsigned, Float, Pointer, Wide, Narrow };

    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) CKSFormatArg(T value) {
        if constexpr (std::is_signed_v<T>) {
            m_kind = Kind::Signed;
            m_int = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
        } else {
            m_kind = Kind::Unsigned;
            m_int = static_cast<std::uint64_t>(value);
        }
    }
    template <typename T>
    requires std::is_enum_v<T> CKSFormatArg(T value)
        : CKSFormatArg(static_cast<std::underlying_type_t<T>>(value)) {}
    CKSFormatArg(bool value) : m_kind(Kind::Unsigned), m_int(value ? 1 : 0) {}
    CKSFormatArg(double value) : m_kind(Kind::Float), m_float(value) {}
    CKSFormatArg(const void* pointer)
        : m_kind(Kind::Pointer), m_int(reinterpret_cast<std::uintptr_t>(pointer)) {}
    CKSFormatArg(const char16_t* text) : m_kind(Kind::Wide), m_wide(text ? text : u"") {}
    CKSFormatArg(std::u16string_view text) : m_kind(Kind::Wide), m_wide(text) {}
    CKSFormatArg(const std::u16string& text) : m_kind(Kind::Wide), m_wide(text) {}
    CKSFormatArg(const char* text) : m_kind(Kind::Narrow), m_narrow(text ? text : "") {}
    CKSFormatArg(std::string_view text) : m_kind(Kind::Narrow), m_narrow(text) {}
    CKSFormatArg(const std::string& text) : m_kind(Kind::Narrow), m_narrow(text) {}
    CKSFormatArg(const CKSString& text);
    CKSFormatArg(const QString& text);

    Kind GetKind() const { return m_kind; }
    std::uint64_t Bits() const { return m_int; }
    double Float() const { return m_float; }
    std::u16string_view Wide() const { return m_wide; }
    std::string_view Narrow() const { return m_narrow; }

private:
    Kind m_kind;
    std::uint64_t m_int = 0;
    double m_float = 0;
    std::u16string_view m_wide;
    std::string_view m_narrow;
};

// No limit on the length of the result.
inline constexpr std::size_t kNoCapacity = std::numeric_limits<std::size_t>::max();

// Formats into wide (UTF-16) text. capacity counts characters including the terminator of the
// classic fixed buffers, so the result holds at most capacity - 1 characters.
std::u16string KSFormatWide(std::u16string_view format, std::span<const CKSFormatArg> args,
                            std::size_t capacity = kNoCapacity);
// Formats into narrow (UTF-8) text; capacity counts bytes including the terminator.
std::string KSFormatNarrow(std::string_view format, std::span<const CKSFormatArg> args,
                           std::size_t capacity = kNoCapacity);

template <typename... Args>
std::u16string KSFormat(std::u16string_view format, const Args&... args) {
    const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
    return KSFormatWide(format, std::span(list, sizeof...(Args)));
}

template <typename... Args>
std::string KSFormat(std::string_view format, const Args&... args) {
    const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
    return KSFormatNarrow(format, std::span(list, sizeof...(Args)));
}

template <typename... Args>
std::u16string KSFormatCapped(std::size_t capacity, std::u16string_view format, const Args&... args) {
    const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
    return KSFormatWide(format, std::span(list, sizeof...(Args)), capacity);
}

template <typename... Args>
std::string KSFormatCapped(std::size_t capacity, std::string_view format, const Args&... args) {
    const CKSFormatArg list[] = {CKSFormatArg(args)..., CKSFormatArg(0)};
    return KSFormatNarrow(format, std::span(list, sizeof...(Args)), capacity);
}

// A format text given either as a narrow (UTF-8) or a wide literal; the loggers accept both.
class CKSFormatString {
public:
    CKSFormatString(const char* text) : m_narrow(text ? text : ""), m_isWide(false) {}
    CKSFormatString(std::string_view text) : m_narrow(text), m_isWide(false) {}
    CKSFormatString(const std::string& text) : m_narrow(text), m_isWide(false) {}
    CKSFormatString(const char16_t* text) : m_wide(text ? text : u""), m_isWide(true) {}
    CKSFormatString(std::u16string_view text) : m_wide(text), m_isWide(true) {}
    CKSFormatString(const std::u16string& text) : m_wide(text), m_isWide(true) {}

    // The format as wide text, converting a narrow one.
    std::u16string ToWide() const;

private:
    std::string_view m_narrow;
    std::u16string_view m_wide;
    bool m_isWide;
};

// UTF conversions used at every boundary between our UTF-16 text and the UTF-8 outside world.
// Invalid sequences become U+FFFD; nothing is ever dropped silently.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
