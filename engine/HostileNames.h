#pragma once
// File names that find bugs in the programs that list, sort, quote and copy them: Unicode in two
// normal forms, right-to-left marks and emoji, blanks at either end, a leading dash, names of
// the longest length a file system allows, names that differ only in case, and folders nested
// deep. Every name stays unique, and is still claimed with an exclusive create.

#include "engine/FileDamage.h"
#include "support/KSString.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

enum class ENameStyle { Plain, Unicode, Spaces, Dash, Long, Case, Deep };

struct CNameStyleInfo {
    ENameStyle style;
    std::u16string_view key;
    std::u16string_view does; // one line
};

// The styles with the key a definition names them by ("plain" first, the default).
std::span<const CNameStyleInfo> NameStyles();
// The style of a "Names" value (compared without regard to case; empty is plain); none for an
// unknown one.
std::optional<ENameStyle> ParseNameStyle(std::u16string_view text);

// The pieces today's names are made of.
struct CNameParts {
    CKSString prefix;
    CKSString type;
    CKSString extension;
    bool simple = false;
    std::int32_t discriminator = 0;
};

class CHostileNames {
public:
    // Longest name, in bytes, that the common file systems allow.
    static constexpr std::size_t kLongestName = 255;
    // Folder levels of the deep style.
    static constexpr int kDeepLevels = 64;

    explicit CHostileNames(ENameStyle style = ENameStyle::Plain) : m_style(style) {}
    ENameStyle Style() const { return m_style; }

    // The number the first candidate name of file index carries: the index, except that the
    // case style gives two files one number, one name in lower and one in upper case.
    std::int64_t FirstNumber(std::uint32_t index) const;
    // The name of file index with number k; record says what is hostile about it (nothing for
    // plain names).
    CKSString Name(const CNameParts& parts, std::uint32_t index, std::int64_t k, CNameRecord& record) const;
    // The folder below the output folder the files go to: "d01/d02/.../d64" for the deep style,
    // empty otherwise.
    CKSString Subfolder() const;

private:
    ENameStyle m_style;
};
