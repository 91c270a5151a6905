#pragma once
// The parsed form of an INI file for the profile layer (IniProfile.cpp). Every line keeps its
// bytes exactly as stored, so a change rewrites only the lines it touches and the rest of the
// file comes back byte for byte. The file's encoding (UTF-8, with or without its mark, or UTF-16
// with its mark) and its own line ending are kept for the lines a change adds.
//
// Parsing never fails: bytes that are not valid text read as U+FFFD and the rest of the line
// and the file read normally.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
    // Byte ranges within raw: a section's or key's name, trimmed (an update keeps a key's bytes
    // as they are), and a key's value, trimmed, one pair of quotes removed. Names and values are
    // decoded only when asked for (Document::Name, Value): a file of many thousands of
    // definitions then takes less than half the memory it took with every line decoded, and a
    // batch decodes only what it reads. No line of a file we read comes near 4 GiB.
    std::uint32_t nameBegin = 0;
    std::uint32_t nameEnd = 0;
    std::uint32_t valueBegin = 0;
    std::uint32_t valueEnd = 0;
};

// Space, tab and vertical tab: the blanks trimmed around lines, names and values.
bool IsBlank(char32_t c);
std::u16string_view TrimBlanks(std::u16string_view text);
// Simple case folding of every code point (ASCII and Unicode), for name matching.
std::u16string FoldName(std::u16string_view name);
// The hash of a folded name, as Document::FoldedNameHash gives it for a line.
std::size_t NameHash(std::u16string_view folded);

// Marks each of count names that repeats an earlier one. hashOf(place) hashes a name as names
// are matched; same(earlier, later) compares two names whose hashes agree. The (hash, place)
// pairs are sorted so that equal names sit together: 16 bytes a name, where a set of the names
// would take many times that for thousands of them.
template <typename HashOf, typename Same>
std::vector<bool> MarkRepeats(std::size_t count, HashOf hashOf, Same same) {
    std::vector<std::pair<std::size_t, std::size_t>> byHash;
    byHash.reserve(count);
    for (std::size_t place = 0; place < count; ++place) {
        byHash.emplace_back(hashOf(place), place);
    }
    std::sort(byHash.begin(), byHash.end());
    std::vector<bool> repeated(count, false);
    for (std::size_t first = 0; first < byHash.size();) {
        std::size_t end = first + 1;
        while (end < byHash.size() && byHash[end].first == byHash[first].first) {
            ++end;
        }
        // Places of one hash (nearly always a single name) come in order.
        for (std::size_t later = first + 1; later < end; ++later) {
            for (std::size_t earlier = first; earlier < later; ++earlier) {
                if (!repeated[byHash[earlier].second] && same(byHash[earlier].second, byHash[later].second)) {
                    repeated[byHash[later].second] = true;
                    break;
                }
            }
        }
        first = end;
    }
    return repeated;
}

class Document {
public:
    // An empty new file: UTF-8 without a mark, CR LF line endings.
    Document() = default;
    static Document Parse(std::string_view bytes);
    // The bytes of the file: an unchanged document gives back exactly what was parsed.
    std::string Serialize() const;

    Encoding GetEncoding() const { return m_encoding; }
    const std::vector<Line>& Lines() const { return m_lines; }

    // A section's or key's name, trimmed, as stored; a key's value, trimmed, one pair of quotes
    // removed. Empty for other lines.
    std::u16string Name(const Line& line) const;
    std::u16string Value(const Line& line) const;
    // Whether the line's name, case-folded, is the folded name; and NameHash of that folded
    // name. Neither builds the name when it is plain ASCII, as key names nearly always are.
    bool NameIs(const Line& line, std::u16string_view folded) const;
    std::size_t FoldedNameHash(const Line& line) const;

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
    static std::string_view NameBytes(const Line& line);
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

// What reading needs, built once per parsed file: the sections in file order and, for the first
// section of every name, its keys (first of a name wins). Tables of hashes sorted for halving,
// with no string or heap node of their own: for a file of many thousands of definitions the
// index takes a third of the memory a hash map of names took, and is built in less time.
class Index {
public:
    explicit Index(const Document& document);
    // It looks into the document's lines: it stays beside the document it was built for.
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    // Every section, duplicates included, in file order: its name, trimmed, as stored, and whether
    // it is the first of its name (the one the reader finds) or a later one it shadows.
    std::size_t SectionCount() const { return m_sectionLines.size(); }
    std::u16string SectionName(std::size_t place) const;
    bool IsFirstOfName(std::size_t place) const { return m_firstOfName[place]; }
    // Whether a section of that name exists (even without keys). The name comes trimmed.
    bool HasSection(std::u16string_view section) const;
    // The value of the key, or nothing when the section or key is missing. Names come trimmed.
    std::optional<std::u16string> Find(std::u16string_view section, std::u16string_view key) const;

    // A section's slot for FindKey, for callers that read many keys of one section; kNoSection
    // when the section is missing. The name comes trimmed.
    static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);
    // A reader that goes through the sections in file order names the slot it expects next as
    // the hint: checked first, it spares a search of a table far larger than the cache.
    std::size_t FindSection(std::u16string_view section, std::size_t hint = kNoSection) const;
    std::optional<std::u16string> FindKey(std::size_t section, std::u16string_view key) const;

private:
    // A name in a table: the hash of its folded name and a number (a section's slot or a key's
    // line). Sorted by hash, then by number, so that among equal hashes the first comes first.
    struct Entry {
        std::uint32_t hash;
        std::uint32_t number;
        bool operator<(const Entry& other) const {
            return hash != other.hash ? hash < other.hash : number < other.number;
        }
    };
    // The first section of a name: its header line and its keys in m_keys.
    struct Slot {
        std::uint32_t header;
        std::uint32_t keysBegin;
        std::uint32_t keysEnd;
    };

    static std::uint32_t Hash32(std::size_t hash) { return static_cast<std::uint32_t>(hash ^ (hash >> 32)); }
    bool SameName(std::uint32_t line, std::u16string_view folded) const;

    const Document* m_document;
    std::vector<std::uint32_t> m_sectionLines; // every section's header line, in file order
    std::vector<bool> m_firstOfName;           // by place in m_sectionLines
    std::vector<Slot> m_slots;                 // the first sections of their names, in file order
    std::vector<Entry> m_sectionTable;         // slots by folded name
    std::vector<Entry> m_keys;                 // each slot's keys by folded name, slot after slot
};

} // namespace ini
