#include "support/KSFormat.h"

#include "support/KSString.h"

#include <QString>

#include <charconv>
#include <cstdio>

CKSFormatArg::CKSFormatArg(const CKSString& text) : m_kind(Kind::Wide), m_wide(text.View()) {}

CKSFormatArg::CKSFormatArg(const QString& text)
    : m_kind(Kind::Wide),
      m_wide(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())) {}

namespace {

struct Directive {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool alternate = false;
    int width = -1;
    int precision = -1;
    int bits = 32; // integer width the conversion reads
};

// Appends ASCII text to either kind of output.
template <typename Ch>
void AppendAscii(std::basic_string<Ch>& out, std::string_view text) {
    for (char c : text) {
        out.push_back(static_cast<Ch>(static_cast<unsigned char>(c)));
    }
}

template <typename Ch>
void AppendText(std::basic_string<Ch>& out, const CKSFormatArg& arg, int precision);

template <>
void AppendText<char16_t>(std::u16string& out, const CKSFormatArg& arg, int precision) {
    std::u16string converted;
    std::u16string_view text;
    if (arg.GetKind() == CKSFormatArg::Kind::Wide) {
        text = arg.Wide();
    } else if (arg.GetKind() == CKSFormatArg::Kind::Narrow) {
        converted = Utf8ToUtf16(arg.Narrow());
        text = converted;
    } else {
        text = u"(null)";
    }
    if (precision >= 0 && static_cast<std::size_t>(precision) < text.size()) {
        text = text.substr(0, static_cast<std::size_t>(precision));
    }
    out.append(text);
}

template <>
void AppendText<char>(std::string& out, const CKSFormatArg& arg, int precision) {
    std::string converted;
    std::string_view text;
    if (arg.GetKind() == CKSFormatArg::Kind::Narrow) {
        text = arg.Narrow();
    } else if (arg.GetKind() == CKSFormatArg::Kind::Wide) {
        converted = Utf16ToUtf8(arg.Wide());
        text = converted;
    } else {
        text = "(null)";
    }
    if (precision >= 0 && static_cast<std::size_t>(precision) < text.size()) {
        text = text.substr(0, static_cast<std::size_t>(precision));
    }
    out.append(text);
}

// A double shown through an integer conversion. Out-of-range values (and NaN) would make the
// plain conversion undefined, so they saturate instead.
std::int64_t SaturatingToInt64(double value) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (!(value == value)) {
        return 0;
    }
    if (value >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

// Cuts narrow text to at most limit bytes without leaving half of a UTF-8 sequence at the end.
void CutUtf8(std::string& out, std::size_t limit) {
    if (out.size() <= limit) {
        return;
    }
    out.resize(limit);
    // Find where the last sequence starts and keep it only when it is complete.
    std::size_t start = out.size();
    std::size_t continuation = 0;
    while (start > 0 && (static_cast<unsigned char>(out[start - 1]) & 0xC0) == 0x80 && continuation < 3) {
        --start;
        ++continuation;
    }
    if (start == 0) {
        out.resize(out.size() - continuation);
        return;
    }
    const auto lead = static_cast<unsigned char>(out[start - 1]);
    std::size_t expected = 0;
    if ((lead & 0x80) == 0) {
        expected = 0;
    } else if ((lead & 0xE0) == 0xC0) {
        expected = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        expected = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        expected = 3;
    }
    if ((lead & 0x80) != 0 && continuation < expected) {
        out.resize(start - 1);
    }
}

// Pads a finished field to the requested width. Zero padding goes after any sign or 0x prefix.
template <typename Ch>
void AppendPadded(std::basic_string<Ch>& out, const std::basic_string<Ch>& field, const Directive& directive,
                  bool numeric, std::size_t prefixLength) {
    const std::size_t width = directive.width > 0 ? static_cast<std::size_t>(directive.width) : 0;
    if (field.size() >= width) {
        out.append(field);
        return;
    }
    const std::size_t pad = width - field.size();
    if (directive.left) {
        out.append(field);
        out.append(pad, static_cast<Ch>(' '));
    } else if (directive.zero && numeric && directive.precision < 0) {
        out.append(field, 0, prefixLength);
        out.append(pad, static_cast<Ch>('0'));
        out.append(field, prefixLength, std::basic_string<Ch>::npos);
    } else {
        out.append(pad, static_cast<Ch>(' '));
        out.append(field);
    }
}

template <typename Ch>
void FormatInteger(std::basic_string<Ch>& out, const CKSFormatArg& arg, const Directive& directive,
                   char conversion) {
    std::uint64_t bits = arg.Bits();
    if (arg.GetKind() == CKSFormatArg::Kind::Float) {
        bits = static_cast<std::uint64_t>(SaturatingToInt64(arg.Float()));
    }
    // Read the argument at the width the conversion names, as the C runtime does.
    std::uint64_t magnitude = 0;
    bool negative = false;
    const bool isSigned = conversion == 'd' || conversion == 'i';
    if (directive.bits == 64) {
        if (isSigned && static_cast<std::int64_t>(bits) < 0) {
            negative = true;
            magnitude = ~bits + 1; // two's complement magnitude, defined for INT64_MIN too
        } else {
            magnitude = bits;
        }
    } else if (directive.bits == 16) {
        const auto narrow = static_cast<std::uint16_t>(bits);
        if (isSigned && static_cast<std::int16_t>(narrow) < 0) {
            negative = true;
            magnitude =
                static_cast<std::uint64_t>(-static_cast<std::int32_t>(static_cast<std::int16_t>(narrow)));
        } else {
            magnitude = narrow;
        }
    } else {
        const auto narrow = static_cast<std::uint32_t>(bits);
        if (isSigned && static_cast<std::int32_t>(narrow) < 0) {
            negative = true;
            magnitude =
                static_cast<std::uint64_t>(-static_cast<std::int64_t>(static_cast<std::int32_t>(narrow)));
        } else {
            magnitude = narrow;
        }
    }

    char digits[32];
    const int base = (conversion == 'x' || conversion == 'X') ? 16 : 10;
    auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), magnitude, base);
    (void)ec;
    std::string number(digits, end);
    if (conversion == 'X') {
        for (char& c : number) {
            if (c >= 'a' && c <= 'f') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
    }
    if (directive.precision >= 0) {
        if (directive.precision == 0 && magnitude == 0) {
            number.clear();
        } else if (number.size() < static_cast<std::size_t>(directive.precision)) {
            number.insert(0, static_cast<std::size_t>(directive.precision) - number.size(), '0');
        }
    }
    std::string_view prefix;
    if (isSigned) {
        if (negative) {
            prefix = "-";
        } else if (directive.plus) {
            prefix = "+";
        } else if (directive.space) {
            prefix = " ";
        }
    } else if (directive.alternate && base == 16 && magnitude != 0) {
        prefix = conversion == 'X' ? "0X" : "0x";
    }
    std::basic_string<Ch> field;
    AppendAscii(field, prefix);
    AppendAscii(field, number);
    AppendPadded(out, field, directive, true, prefix.size());
}

template <typename Ch>
void FormatFloat(std::basic_string<Ch>& out, const CKSFormatArg& arg, const Directive& directive) {
    double value = arg.GetKind() == CKSFormatArg::Kind::Float ? arg.Float()
                   : arg.GetKind() == CKSFormatArg::Kind::Signed
                       ? static_cast<double>(static_cast<std::int64_t>(arg.Bits()))
                       : static_cast<double>(arg.Bits());
    std::string flags = "%";
    if (directive.plus) {
        flags += '+';
    }
    if (directive.space) {
        flags += ' ';
    }
    if (directive.alternate) {
        flags += '#';
    }
    flags += ".*f";
    const int precision = directive.precision >= 0 ? directive.precision : 6;
    const int digits = precision > 100 ? 100 : precision;
    // Large values have hundreds of digits; size the text instead of cutting the number.
    const int needed = std::snprintf(nullptr, 0, flags.c_str(), digits, value);
    std::string number(needed > 0 ? static_cast<std::size_t>(needed) : 0, '\0');
    if (needed > 0) {
        std::snprintf(number.data(), number.size() + 1, flags.c_str(), digits, value);
    }
    std::size_t prefixLength =
        (!number.empty() && (number[0] == '-' || number[0] == '+' || number[0] == ' ')) ? 1 : 0;
    std::basic_string<Ch> field;
    AppendAscii(field, number);
    Directive padded = directive;
    padded.precision = -1; // precision applied already; zero padding stays allowed
    AppendPadded(out, field, padded, true, prefixLength);
}

template <typename Ch>
std::basic_string<Ch> FormatAny(std::basic_string_view<Ch> format, std::span<const CKSFormatArg> args,
                                std::size_t capacity) {
    std::basic_string<Ch> out;
    out.reserve(format.size() + 16 * args.size());
    std::size_t next = 0;
    const std::size_t n = format.size();
    std::size_t i = 0;
    while (i < n) {
        const Ch c = format[i];
        if (c != static_cast<Ch>('%')) {
            out.push_back(c);
            ++i;
            continue;
        }
        const std::size_t start = i++;
        if (i < n && format[i] == static_cast<Ch>('%')) {
            out.push_back(static_cast<Ch>('%'));
            ++i;
            continue;
        }
        Directive directive;
        for (; i < n; ++i) {
            const Ch f = format[i];
            if (f == static_cast<Ch>('-')) {
                directive.left = true;
            } else if (f == static_cast<Ch>('+')) {
                directive.plus = true;
            } else if (f == static_cast<Ch>(' ')) {
                directive.space = true;
            } else if (f == static_cast<Ch>('0')) {
                directive.zero = true;
            } else if (f == static_cast<Ch>('#')) {
                directive.alternate = true;
            } else {
                break;
            }
        }
        auto readNumber = [&](int& target) {
            bool any = false;
            int value = 0;
            while (i < n && format[i] >= static_cast<Ch>('0') && format[i] <= static_cast<Ch>('9')) {
                if (value < 100000) {
                    value = value * 10 + static_cast<int>(format[i] - static_cast<Ch>('0'));
                }
                ++i;
                any = true;
            }
            if (any) {
                target = value;
            }
            return any;
        };
        readNumber(directive.width);
        if (i < n && format[i] == static_cast<Ch>('.')) {
            ++i;
            directive.precision = 0;
            readNumber(directive.precision);
        }
        // Length prefixes.
        if (i + 2 < n && format[i] == static_cast<Ch>('I') && format[i + 1] == static_cast<Ch>('6') &&
            format[i + 2] == static_cast<Ch>('4')) {
            directive.bits = 64;
            i += 3;
        } else if (i + 1 < n && format[i] == static_cast<Ch>('l') && format[i + 1] == static_cast<Ch>('l')) {
            directive.bits = 64;
            i += 2;
        } else if (i < n && format[i] == static_cast<Ch>('l')) {
            ++i; // long is 32 bits in this dialect
        } else if (i < n && format[i] == static_cast<Ch>('h')) {
            directive.bits = 16;
            ++i;
        }
        if (i >= n) {
            out.append(format.substr(start));
            break;
        }
        // A wide character outside ASCII is no conversion letter, whatever its low byte says.
        const auto letter = static_cast<std::uint32_t>(format[i]);
        const char conversion = letter < 0x80 ? static_cast<char>(letter) : '?';
        ++i;
        const bool known = conversion == 's' || conversion == 'S' || conversion == 'c' || conversion == 'd' ||
                           conversion == 'i' || conversion == 'u' || conversion == 'x' || conversion == 'X' ||
                           conversion == 'f' || conversion == 'p';
        if (!known) {
            // Unknown conversions are shown as written rather than guessed at.
            out.append(format.substr(start, i - start));
            continue;
        }
        if (next >= args.size()) {
            // A format that asks for more arguments than it was given shows the request itself.
            out.append(format.substr(start, i - start));
            continue;
        }
        const CKSFormatArg& arg = args[next++];
        switch (conversion) {
        case 's':
        case 'S': {
            std::basic_string<Ch> field;
            AppendText<Ch>(field, arg, directive.precision);
            AppendPadded(out, field, directive, false, 0);
            break;
        }
        case 'c': {
            std::basic_string<Ch> field;
            const auto code = static_cast<char32_t>(arg.Bits() & 0xFFFF);
            if constexpr (std::is_same_v<Ch, char>) {
                field = Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(code)));
            } else {
                field.push_back(static_cast<char16_t>(code));
            }
            AppendPadded(out, field, directive, false, 0);
            break;
        }
        case 'f':
            FormatFloat(out, arg, directive);
            break;
        case 'p': {
            Directive pointer = directive;
            pointer.bits = 64;
            pointer.precision = 16;
            FormatInteger(out, arg, pointer, 'X');
            break;
        }
        default:
            FormatInteger(out, arg, directive, conversion);
            break;
        }
        if (out.size() >= capacity) {
            break;
        }
    }
    if (capacity != kNoCapacity) {
        const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
        if (out.size() > limit) {
            if constexpr (std::is_same_v<Ch, char>) {
                CutUtf8(out, limit);
            } else {
                out.resize(limit);
                // Never leave the first half of a surrogate pair at the cut.
                if (!out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF) {
                    out.pop_back();
                }
            }
        }
    }
    return out;
}

} // namespace

std::u16string KSFormatWide(std::u16string_view format, std::span<const CKSFormatArg> args,
                            std::size_t capacity) {
    return FormatAny<char16_t>(format, args, capacity);
}

std::string KSFormatNarrow(std::string_view format, std::span<const CKSFormatArg> args,
                           std::size_t capacity) {
    return FormatAny<char>(format, args, capacity);
}

std::u16string CKSFormatString::ToWide() const {
    return m_isWide ? std::u16string(m_wide) : Utf8ToUtf16(m_narrow);
}

std::u16string Utf8ToUtf16(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    // Most text is ASCII: a leading ASCII run is widened in one pass.
    std::size_t i = 0;
    while (i < n && p[i] < 0x80) {
        ++i;
    }
    std::u16string out(i, u'\0');
    for (std::size_t k = 0; k < i; ++k) {
        out[k] = p[k];
    }
    if (i == n) {
        return out;
    }
    out.reserve(n);
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        char32_t code = 0;
        std::size_t length = 0;
        char32_t minimum = 0;
        if ((b & 0xE0) == 0xC0) {
            code = b & 0x1F;
            length = 2;
            minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            code = b & 0x0F;
            length = 3;
            minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            code = b & 0x07;
            length = 4;
            minimum = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool valid = i + length <= n;
        for (std::size_t k = 1; valid && k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                valid = false;
            } else {
                code = (code << 6) | (p[i + k] & 0x3F);
            }
        }
        if (!valid || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i; // resynchronise on the next byte
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    const std::size_t n = text.size();
    // Most text is ASCII: a leading ASCII run is narrowed in one pass.
    std::size_t ascii = 0;
    while (ascii < n && text[ascii] < 0x80) {
        ++ascii;
    }
    std::string out(ascii, '\0');
    for (std::size_t k = 0; k < ascii; ++k) {
        out[k] = static_cast<char>(text[k]);
    }
    if (ascii == n) {
        return out;
    }
    out.reserve(n + n / 2);
    for (std::size_t i = ascii; i < n; ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}
