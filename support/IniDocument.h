#pragma once
// The parsed form of an INI file for the profile layer (IniProfile.cpp). Every line keeps its
// bytes exactly as stored, so a change rewrites only the lines it touches and the rest of the
// file comes back byte for byte. The file's encoding (UTF-8, with or without its mark, or UTF-16
// with its mark) and its own line ending are kept for the lines a change adds.
//
// Parsing never fails: bytes that are not valid text read as U+FFFD and the rest of the line
// and the file read normally.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ini {

enum class Encoding : std::uint8_t { Utf8, Utf16Le, Utf16Be };
enum class LineKind : std::uint8_t { Other, Comment, Section, Key };
// A line's terminator as stored: its bytes follow from the file's encoding. None only on a last
// line without one.
enum class LineEnd : std::uint8_t { None, Lf, Cr, CrLf };

struct Line {
    std::string raw; // the content as stored, without its terminator
    LineEnd end = LineEnd::None;
    LineKind kind = LineKind::Other;
    std::u16string folded; // the section or key name, trimmed and case-folded, for matching
    // A section's name, trimmed, as stored; or a key's value, trimmed, one pair of quotes removed.
    // (A key's own name is needed only folded: one string less per key of a large file.)
    std::u16string text;
    // Byte range of the trimmed key within raw; an update keeps these bytes as they are.
    std::size_t keyBegin = 0;
    std::size_t keyEnd = 0;
};

// Space, tab and vertical tab: the blanks trimmed around lines, names and values.
bool IsBlank(char32_t c);
std::u16string_view TrimBlanks(std::u16string_view text);
// Simple case folding of every code point (ASCII and Unicode), for name matching.
std::u16string FoldName(std::u16string_view name);

class Document {
public:
    // An empty new file: UTF-8 without a mark, CR LF line endings.
    Document() = default;
    static Document Parse(std::string_view bytes);
    // The bytes of the file: an unchanged document gives back exactly what was parsed.
    std::string Serialize() const;

    Encoding GetEncoding() const { return m_encoding; }
    const std::vector<Line>& Lines() const { return m_lines; }

    // Whether a section of that (trimmed) name exists, compared as the reader compares names.
    bool HasSection(std::u16string_view section) const;

    // Changes. Names come trimmed and already checked (CheckSectionName, CheckKey, CheckValue).
    // Each answers whether the document changed.
    bool SetKey(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    bool DeleteKey(std::u16string_view section, std::u16string_view key);
    bool DeleteSection(std::u16string_view section);
    bool ReplaceSection(std::u16string_view section,
                        const std::vector<std::pair<std::u16string, std::u16string>>& keys);

private:
    std::size_t FindSection(std::u16string_view folded) const;
    std::size_t SectionEnd(std::size_t header) const;
    Line MakeLine(std::u16string_view text) const;
    void ParseLine(Line& line) const;
    void InsertLines(std::size_t at, std::vector<Line> lines);
    std::string Encode(std::u16string_view text) const;
    std::string_view EndBytes(LineEnd end) const;

    Encoding m_encoding = Encoding::Utf8;
    std::string m_mark;                // the byte-order mark as stored, if any
    LineEnd m_newline = LineEnd::CrLf; // the file's own line ending
    std::vector<Line> m_lines;
};

// What reading needs, built once per parsed file: the section names in file order and, for the
// first section of every name, its keys (first of a name wins).
class Index {
public:
    explicit Index(const Document& document);

    const std::vector<std::u16string>& SectionNames() const { return m_sectionNames; }
    // Whether a section of that name exists (even without keys). The name comes trimmed.
    bool HasSection(std::u16string_view section) const;
    // The value of the key, or null when the section or key is missing. Names come trimmed.
    const std::u16string* Find(std::u16string_view section, std::u16string_view key) const;

    // A section's slot for FindKey, for callers that read many keys of one section; kNoSection
    // when the section is missing. The name comes trimmed.
    static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);
    // A reader that goes through the sections in file order names the slot it expects next as
    // the hint: checked first, it spares a look into a table far larger than the cache.
    std::size_t FindSection(std::u16string_view section, std::size_t hint = kNoSection) const;
    const std::u16string* FindKey(std::size_t section, std::u16string_view key) const;

private:
    // A key of a section: the hash of its folded name and its line. Each section's keys sit
    // together, sorted by hash and in file order among equal hashes, so that reading the keys of
    // one definition stays within a few cache lines however large the file is.
    struct KeyEntry {
        std::size_t hash;
        std::size_t line;
    };
    struct KeyRange {
        std::size_t begin;
        std::size_t end;
    };

    const Document* m_document;
    std::vector<std::u16string> m_sectionNames;
    // Looks at the folded names in the document's lines, which never change under an index.
    std::unordered_map<std::u16string_view, std::size_t> m_sections; // folded name -> slot
    std::vector<std::u16string_view> m_slotNames;                    // slot -> folded name
    std::vector<KeyRange> m_ranges;                                  // slot -> its keys in m_keys
    std::vector<KeyEntry> m_keys;
};

} // namespace ini
