#include "generators/TextOptions.h"

#include "support/KSString.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<CTextChoice<ETextEncoding>, 7> kEncodings{{
    {ETextEncoding::Utf8, u"utf8", u"UTF-8 without a byte-order mark (the text stays ASCII, as always)"},
    {ETextEncoding::Utf8Bom, u"utf8-bom", u"UTF-8 after a byte-order mark"},
    {ETextEncoding::Utf16Le, u"utf16le", u"UTF-16 little-endian without a byte-order mark"},
    {ETextEncoding::Utf16LeBom, u"utf16le-bom", u"UTF-16 little-endian after a byte-order mark"},
    {ETextEncoding::Utf16Be, u"utf16be", u"UTF-16 big-endian without a byte-order mark"},
    {ETextEncoding::Utf16BeBom, u"utf16be-bom", u"UTF-16 big-endian after a byte-order mark"},
    {ETextEncoding::Latin1, u"latin1", u"ISO 8859-1, one byte a character"},
}};

constexpr std::array<CTextChoice<ELineEnd>, 5> kLineEnds{{
    {ELineEnd::Default, u"default", u"as always: text by WinLineEnding, CSV LF (CR LF in rfc4180 style)"},
    {ELineEnd::Lf, u"lf", u"LF"},
    {ELineEnd::Cr, u"cr", u"CR alone"},
    {ELineEnd::Crlf, u"crlf", u"CR LF"},
    {ELineEnd::Mixed, u"mixed", u"each line LF, CR LF or CR, chosen per line"},
}};

constexpr std::array<CTextChoice<EDateFormat>, 2> kDateFormats{{
    {EDateFormat::Locale, u"locale", u"the user's short date and time, as always"},
    {EDateFormat::Iso, u"iso", u"ISO 8601: 2031-11-05T13:49:41"},
}};

constexpr std::array<CTextChoice<ECsvStyle>, 2> kCsvStyles{{
    {ECsvStyle::Padded, u"padded",
     u"fields as always, words and numbers followed by a blank, headers Column N"},
    {ECsvStyle::Rfc4180, u"rfc4180",
     u"no padding, quotes only where needed, CR LF rows, headers naming each column's kind"},
}};

template <typename Choice, std::size_t N>
std::optional<Choice> Parse(const std::array<CTextChoice<Choice>, N>& choices, std::u16string_view text) {
    CKSString folded(text);
    folded.Lower();
    if (folded.IsEmpty()) {
        return choices.front().value;
    }
    for (const auto& choice : choices) {
        if (choice.key == folded.View()) {
            return choice.value;
        }
    }
    return std::nullopt;
}

// Decodes one UTF-8 character at the start of text: its code point and length; length 0 when
// the text holds only the start of one, and code point -1 for a byte that starts none.
struct CDecoded {
    std::int32_t codePoint;
    std::size_t length;
};

CDecoded DecodeOne(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    std::int32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return {-1, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size()) {
            return {0, 0};
        }
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return {-1, 1};
        }
        value = (value << 6) | (next & 0x3F);
    }
    return {value, length};
}

void AppendUnit(std::string& out, std::uint32_t unit, bool bigEndian) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

void AppendEncoded(std::string& out, ETextEncoding encoding, std::int32_t codePoint) {
    if (IsUtf16(encoding)) {
        const bool big = encoding == ETextEncoding::Utf16Be || encoding == ETextEncoding::Utf16BeBom;
        const std::uint32_t value = codePoint < 0 ? 0xFFFD : static_cast<std::uint32_t>(codePoint);
        if (value >= 0x10000) {
            AppendUnit(out, 0xD800 + ((value - 0x10000) >> 10), big);
            AppendUnit(out, 0xDC00 + ((value - 0x10000) & 0x3FF), big);
        } else {
            AppendUnit(out, value, big);
        }
    } else {
        out.push_back(codePoint >= 0 && codePoint < 0x100 ? static_cast<char>(codePoint) : '?');
    }
}

} // namespace

std::span<const CTextChoice<ETextEncoding>> TextEncodings() {
    return kEncodings;
}
std::span<const CTextChoice<ELineEnd>> LineEnds() {
    return kLineEnds;
}
std::span<const CTextChoice<EDateFormat>> DateFormats() {
    return kDateFormats;
}
std::span<const CTextChoice<ECsvStyle>> CsvStyles() {
    return kCsvStyles;
}

std::optional<ETextEncoding> ParseTextEncoding(std::u16string_view text) {
    return Parse(kEncodings, text);
}
std::optional<ELineEnd> ParseLineEnd(std::u16string_view text) {
    return Parse(kLineEnds, text);
}
std::optional<EDateFormat> ParseDateFormat(std::u16string_view text) {
    return Parse(kDateFormats, text);
}
std::optional<ECsvStyle> ParseCsvStyle(std::u16string_view text) {
    return Parse(kCsvStyles, text);
}

std::u16string TextEncodingDescription() {
    // Short, so that the wizard's summary line keeps room for the value.
    return u"Encoding: utf8, utf16le, utf16be (each also -bom), latin1";
}
std::u16string LineEndDescription() {
    return u"Line ends: " + ChoiceKeys(LineEnds());
}
std::u16string DateFormatDescription() {
    return u"Dates: " + ChoiceKeys(DateFormats());
}
std::u16string CsvStyleDescription() {
    return u"CSV style: " + ChoiceKeys(CsvStyles());
}

std::string_view LineEndBytes(ELineEnd choice, std::string_view fallback) {
    switch (choice) {
    case ELineEnd::Lf:
        return "\n";
    case ELineEnd::Cr:
        return "\r";
    case ELineEnd::Crlf:
        return "\r\n";
    default:
        return fallback;
    }
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong form
            high = lead == 0xED ? 0x9F : 0xBF; // no surrogate
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            const unsigned from = k == 1 ? low : 0x80;
            const unsigned to = k == 1 ? high : 0xBF;
            if (next < from || next > to) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

bool IsValidUtf16(std::string_view bytes, ETextEncoding encoding) {
    if (bytes.size() % 2 != 0) {
        return false;
    }
    const bool big = encoding == ETextEncoding::Utf16Be || encoding == ETextEncoding::Utf16BeBom;
    bool expectLow = false;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned a = static_cast<unsigned char>(bytes[i]);
        const unsigned b = static_cast<unsigned char>(bytes[i + 1]);
        const unsigned unit = big ? (a << 8) | b : (b << 8) | a;
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        const bool low = unit >= 0xDC00 && unit < 0xE000;
        if (expectLow != low && !(low && i == 0)) {
            return false;
        }
        expectLow = high;
    }
    return !expectLow;
}

bool IsUtf16(ETextEncoding encoding) {
    return encoding == ETextEncoding::Utf16Le || encoding == ETextEncoding::Utf16LeBom ||
           encoding == ETextEncoding::Utf16Be || encoding == ETextEncoding::Utf16BeBom;
}

bool IsUtf8(ETextEncoding encoding) {
    return encoding == ETextEncoding::Utf8 || encoding == ETextEncoding::Utf8Bom;
}

std::string_view ByteOrderMark(ETextEncoding encoding) {
    switch (encoding) {
    case ETextEncoding::Utf8Bom:
        return "\xEF\xBB\xBF";
    case ETextEncoding::Utf16LeBom:
        return "\xFF\xFE";
    case ETextEncoding::Utf16BeBom:
        return "\xFE\xFF";
    default:
        return {};
    }
}

std::string EncodeText(ETextEncoding encoding, std::string_view utf8) {
    if (IsUtf8(encoding)) {
        return std::string(utf8);
    }
    std::string out;
    out.reserve(utf8.size() * 2);
    while (!utf8.empty()) {
        const CDecoded decoded = DecodeOne(utf8);
        const std::size_t length = decoded.length == 0 ? utf8.size() : decoded.length;
        AppendEncoded(out, encoding, decoded.length == 0 ? -1 : decoded.codePoint);
        utf8.remove_prefix(length);
    }
    return out;
}

void CTextEncodingStage::Put(const char* data, std::size_t count) {
    if (!m_started) {
        m_started = true;
        const std::string_view mark = ByteOrderMark(m_encoding);
        PutNext(mark.data(), mark.size());
        m_out += mark.size();
    }
    if (IsUtf8(m_encoding)) {
        // Nothing to convert: the marks only move by the byte-order mark.
        PutNext(data, count);
        m_in += count;
        m_out += count;
        ResolveMarks();
        return;
    }
    if (count == 0) {
        return;
    }
    m_partial.append(data, count);
    std::size_t complete = m_partial.size();
    // Keep back the start of a character the next piece completes (at most three bytes).
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, m_partial.size()); ++back) {
        const auto byte = static_cast<unsigned char>(m_partial[m_partial.size() - back]);
        if ((byte & 0xC0) != 0x80) {
            const std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            if (needed > back) {
                complete = m_partial.size() - back;
            }
            break;
        }
    }
    Convert(std::string_view(m_partial).substr(0, complete));
    m_partial.erase(0, complete);
}

void CTextEncodingStage::Convert(std::string_view complete) {
    std::string out;
    out.reserve(complete.size() * 2);
    while (!complete.empty()) {
        if (!m_pending.empty() && m_pending.front() == m_in) {
            m_landed.emplace_back(m_in, m_out + out.size());
            m_pending.erase(m_pending.begin());
        }
        const CDecoded decoded = DecodeOne(complete);
        const std::size_t length = decoded.length == 0 ? complete.size() : decoded.length;
        AppendEncoded(out, m_encoding, decoded.length == 0 ? -1 : decoded.codePoint);
        complete.remove_prefix(length);
        m_in += length;
    }
    PutNext(out);
    m_out += out.size();
    ResolveMarks();
}

void CTextEncodingStage::ResolveMarks() {
    while (!m_pending.empty() && m_pending.front() <= m_in) {
        m_landed.emplace_back(m_pending.front(), m_out - (m_in - m_pending.front()));
        m_pending.erase(m_pending.begin());
    }
}

void CTextEncodingStage::Finish() {
    if (!m_started) {
        Put(nullptr, 0);
    }
    if (!m_partial.empty()) {
        Convert(m_partial);
        m_partial.clear();
    }
    ResolveMarks();
}

void CTextEncodingStage::Discard() {
    m_partial.clear();
    m_pending.clear();
}

void CTextEncodingStage::Mark(std::uint64_t utf8Offset) {
    m_pending.push_back(utf8Offset);
    ResolveMarks();
}

std::optional<std::uint64_t> CTextEncodingStage::Landing(std::uint64_t utf8Offset) const {
    for (const auto& [in, out] : m_landed) {
        if (in == utf8Offset) {
            return out;
        }
    }
    return std::nullopt;
}
