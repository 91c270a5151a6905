#include "engine/HostileNames.h"

#include "support/KSFormat.h"

#include <array>

namespace {

constexpr std::array<CNameStyleInfo, 7> kStyles{{
    {ENameStyle::Plain, u"plain", u"names as always: prefix, type and number"},
    {ENameStyle::Unicode, u"unicode",
     u"an accented letter in NFC and in NFD form, right-to-left marks, an emoji outside the BMP"},
    {ENameStyle::Spaces, u"spaces", u"a blank at the start, one inside and one at the very end"},
    {ENameStyle::Dash, u"dash", u"a leading '-', which commands take for an option"},
    {ENameStyle::Long, u"long", u"names of exactly 255 bytes, the longest a file system allows"},
    {ENameStyle::Case, u"case", u"pairs of names that differ only in case"},
    {ENameStyle::Deep, u"deep", u"files in a folder nested 64 levels deep"},
}};

// What the unicode style puts after the prefix, in turn: the same word in its composed and its
// decomposed form (two names that look alike), right-to-left marks that turn the rest of the name
// around on screen, and an emoji that takes two UTF-16 units.
struct CUnicodePiece {
    std::u16string_view text;
    std::string_view detail;
};
constexpr std::array<CUnicodePiece, 4> kUnicodePieces{{
    {u"caf\u00E9", "NFC: U+00E9 as one code point"},
    {u"cafe\u0301", "NFD: e and U+0301, a combining acute accent"},
    {u"\u200F\u202E", "right-to-left mark and right-to-left override"},
    {u"\U0001F600", "emoji outside the BMP (U+1F600)"},
}};

} // namespace

std::span<const CNameStyleInfo> NameStyles() {
    return kStyles;
}

std::optional<ENameStyle> ParseNameStyle(std::u16string_view text) {
    CKSString folded(text);
    folded.Lower();
    const std::u16string_view key = folded.View();
    if (key.empty()) {
        return ENameStyle::Plain;
    }
    for (const CNameStyleInfo& info : kStyles) {
        if (info.key == key) {
            return info.style;
        }
    }
    return std::nullopt;
}

std::int64_t CHostileNames::FirstNumber(std::uint32_t index) const {
    return m_style == ENameStyle::Case ? index / 2 : index;
}

CKSString CHostileNames::Name(const CNameParts& parts, std::uint32_t index, std::int64_t k,
                              CNameRecord& record) const {
    const auto number = static_cast<std::int32_t>(k);
    std::u16string stem = parts.simple
                              ? KSFormat(std::u16string_view(u"%s%s%d"), parts.prefix, parts.type, number)
                              : KSFormat(std::u16string_view(u"%s%s%d_%d"), parts.prefix, parts.type,
                                         parts.discriminator, number);
    std::u16string tail(1, u'.');
    tail.append(parts.extension.View());
    record = CNameRecord{};
    switch (m_style) {
    case ENameStyle::Unicode: {
        const CUnicodePiece& piece = kUnicodePieces[index % kUnicodePieces.size()];
        const std::size_t after = parts.prefix.View().size();
        std::u16string name(stem, 0, after);
        name.append(piece.text).append(stem, after).append(tail);
        record = {"unicode", std::string(piece.detail)};
        return CKSString(name);
    }
    case ENameStyle::Spaces: {
        const std::size_t after = parts.prefix.View().size();
        std::u16string name(1, u' ');
        name.append(stem, 0, after).append(1, u' ').append(stem, after).append(tail).append(1, u' ');
        record = {"spaces", "leading, inner and trailing blank"};
        return CKSString(name);
    }
    case ENameStyle::Dash: {
        record = {"dash", "leading dash"};
        std::u16string name(1, u'-');
        name.append(stem).append(tail);
        return CKSString(name);
    }
    case ENameStyle::Long: {
        // Filled up with 'x' after the number, so that the name is unique and 255 bytes long.
        stem.append(tail);
        const std::size_t used = CKSString(stem).ToUtf8().size() + 1;
        stem.resize(stem.size() - tail.size());
        if (used < kLongestName) {
            stem.append(1, u'_').append(kLongestName - used, u'x');
        }
        record = {"long", "255 bytes"};
        return CKSString(stem + tail);
    }
    case ENameStyle::Case: {
        // Even files in lower case, odd ones in upper case, two by two with one number.
        const bool upper = index % 2 == 1;
        for (char16_t& c : stem) {
            if (upper && c >= u'a' && c <= u'z') {
                c = static_cast<char16_t>(c - u'a' + u'A');
            } else if (!upper && c >= u'A' && c <= u'Z') {
                c = static_cast<char16_t>(c - u'A' + u'a');
            }
        }
        record = {"case", upper ? "upper case of the name before it" : "lower case of the name after it"};
        return CKSString(stem + tail);
    }
    case ENameStyle::Deep:
        record = {"deep", "64 folder levels"};
        return CKSString(stem + tail);
    default:
        return CKSString(stem + tail);
    }
}

CKSString CHostileNames::Subfolder() const {
    if (m_style != ENameStyle::Deep) {
        return CKSString(u"");
    }
    std::u16string path;
    for (int level = 1; level <= kDeepLevels; ++level) {
        if (!path.empty()) {
            path += u'/';
        }
        path += KSFormat(std::u16string_view(u"d%02d"), level);
    }
    return CKSString(path);
}
