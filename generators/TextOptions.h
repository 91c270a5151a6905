#pragma once
// The plain choices of text and CSV files, none of them damage: the encoding of the bytes (UTF-8
// with or without a byte-order mark, UTF-16 in either byte order with or without one, Latin-1),
// the line ends, the date format and the CSV style. The generators write UTF-8; an encoding stage
// turns it into the chosen encoding on the way to the disk.

#include "engine/OutputStage.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class ETextEncoding { Utf8, Utf8Bom, Utf16Le, Utf16LeBom, Utf16Be, Utf16BeBom, Latin1 };
enum class ELineEnd { Default, Lf, Cr, Crlf, Mixed };
enum class EDateFormat { Locale, Iso };
enum class ECsvStyle { Padded, Rfc4180 };

// A choice with the key a definition names it by and one line on what it gives.
template <typename Choice>
struct CTextChoice {
    Choice value;
    std::u16string_view key;
    std::u16string_view does;
};

std::span<const CTextChoice<ETextEncoding>> TextEncodings();
std::span<const CTextChoice<ELineEnd>> LineEnds();
std::span<const CTextChoice<EDateFormat>> DateFormats();
std::span<const CTextChoice<ECsvStyle>> CsvStyles();

// The choice a value names (compared without regard to case; empty is the first, the default);
// none for an unknown value.
std::optional<ETextEncoding> ParseTextEncoding(std::u16string_view text);
std::optional<ELineEnd> ParseLineEnd(std::u16string_view text);
std::optional<EDateFormat> ParseDateFormat(std::u16string_view text);
std::optional<ECsvStyle> ParseCsvStyle(std::u16string_view text);
// The keys of a list of choices joined by ", ", for messages.
template <typename Choice>
std::u16string ChoiceKeys(std::span<const CTextChoice<Choice>> choices) {
    std::u16string keys;
    for (const auto& choice : choices) {
        keys += (keys.empty() ? u"" : u", ") + std::u16string(choice.key);
    }
    return keys;
}

// The descriptions of the keys, naming their values.
std::u16string TextEncodingDescription();
std::u16string LineEndDescription();
std::u16string DateFormatDescription();
std::u16string CsvStyleDescription();

// Whether the bytes are well-formed UTF-8 (no overlong form, surrogate or value past U+10FFFF);
// whether they are UTF-16 in the encoding's byte order with every surrogate paired (a low one at
// the very start is taken for the end of a pair cut off before).
bool IsValidUtf8(std::string_view bytes);
bool IsValidUtf16(std::string_view bytes, ETextEncoding encoding);

// The bytes of a line end of one kind; fallback for the default and for mixed ones.
std::string_view LineEndBytes(ELineEnd choice, std::string_view fallback);

bool IsUtf16(ETextEncoding encoding);
bool IsUtf8(ETextEncoding encoding);
// The byte-order mark the encoding starts with (empty for none).
std::string_view ByteOrderMark(ETextEncoding encoding);
// UTF-8 text in the encoding, without a byte-order mark. Characters that Latin-1 cannot hold
// become '?', and bytes that are not UTF-8 become U+FFFD in UTF-16 (or '?').
std::string EncodeText(ETextEncoding encoding, std::string_view utf8);

// Turns the UTF-8 bytes of a file into the encoding, byte-order mark first, and tells where a
// byte of the UTF-8 stream landed in the file.
class CTextEncodingStage : public COutputStage {
public:
    explicit CTextEncodingStage(ETextEncoding encoding) : m_encoding(encoding) {}

    void Put(const char* data, std::size_t count) override;
    void Finish() override;
    void Discard() override;

    // Asks for the file offset of the UTF-8 offset (at a character's start, and not before the
    // last one asked for); Landing answers it once the bytes there have passed.
    void Mark(std::uint64_t utf8Offset);
    std::optional<std::uint64_t> Landing(std::uint64_t utf8Offset) const;

private:
    void Convert(std::string_view complete);
    void ResolveMarks();

    ETextEncoding m_encoding;
    bool m_started = false;
    std::string m_partial; // the start of a character cut by the end of a piece
    std::uint64_t m_in = 0;
    std::uint64_t m_out = 0;
    std::vector<std::uint64_t> m_pending;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_landed;
};
