#include "support/IniDocument.h"

#include "support/KSFormat.h"

#include <QChar>

#include <algorithm>
#include <limits>

namespace ini {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::size_t UnitWidth(Encoding encoding) {
    return encoding == Encoding::Utf8 ? 1 : 2;
}

// The stored bytes of one line seen as code units of the file's encoding: bytes for UTF-8,
// 16-bit units for UTF-16. Every character that shapes a line (blanks, brackets, '=', ';',
// quotes, CR, LF) is a single ASCII unit in both, and no part of a longer UTF-8 sequence is
// ever below 0x80, so the structure can be found on units and only names and values decoded.
class Units {
public:
    Units(std::string_view bytes, Encoding encoding) : m_bytes(bytes), m_encoding(encoding) {}

    // A trailing odd byte of a UTF-16 file counts as one unit that reads as U+FFFD.
    std::size_t Count() const {
        return m_encoding == Encoding::Utf8 ? m_bytes.size() : (m_bytes.size() + 1) / 2;
    }
    char32_t At(std::size_t i) const {
        const auto byte = [this](std::size_t k) { return static_cast<unsigned char>(m_bytes[k]); };
        switch (m_encoding) {
        case Encoding::Utf8:
            return byte(i);
        case Encoding::Utf16Le:
            return 2 * i + 1 < m_bytes.size() ? static_cast<char32_t>(byte(2 * i) | (byte(2 * i + 1) << 8))
                                              : kReplacement;
        case Encoding::Utf16Be:
            return 2 * i + 1 < m_bytes.size() ? static_cast<char32_t>((byte(2 * i) << 8) | byte(2 * i + 1))
                                              : kReplacement;
        }
        return kReplacement;
    }
    std::size_t ByteOffset(std::size_t unit) const {
        return std::min(unit * UnitWidth(m_encoding), m_bytes.size());
    }
    // The text of units [begin, end); invalid sequences and lone surrogates read as U+FFFD.
    std::u16string Decode(std::size_t begin, std::size_t end) const {
        if (m_encoding == Encoding::Utf8) {
            return Utf8ToUtf16(m_bytes.substr(begin, end - begin));
        }
        std::u16string text;
        text.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            const char32_t unit = At(i);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < end && At(i + 1) >= 0xDC00 &&
                At(i + 1) <= 0xDFFF) {
                text.push_back(static_cast<char16_t>(unit));
                text.push_back(static_cast<char16_t>(At(i + 1)));
                ++i;
            } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                text.push_back(static_cast<char16_t>(kReplacement));
            } else {
                text.push_back(static_cast<char16_t>(unit));
            }
        }
        return text;
    }

private:
    std::string_view m_bytes;
    Encoding m_encoding;
};

bool IsQuote(char32_t c) {
    return c == U'"' || c == U'\'';
}

// "[name]"; built by appending, which also keeps GCC 12's -Wrestrict false alarm on
// literal + string concatenation away.
std::u16string HeaderText(std::u16string_view section) {
    std::u16string text;
    text.reserve(section.size() + 2);
    text += u'[';
    text += section;
    text += u']';
    return text;
}

} // namespace

bool IsBlank(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\v';
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::u16string FoldName(std::u16string_view name) {
    std::u16string folded;
    folded.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c < 0x80) {
            folded.push_back((c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c);
            continue;
        }
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && QChar::isLowSurrogate(name[i + 1])) {
            code = QChar::surrogateToUcs4(c, name[i + 1]);
            ++i;
        }
        code = QChar::toCaseFolded(code);
        if (QChar::requiresSurrogates(code)) {
            folded.push_back(QChar::highSurrogate(code));
            folded.push_back(QChar::lowSurrogate(code));
        } else {
            folded.push_back(static_cast<char16_t>(code));
        }
    }
    return folded;
}

Document Document::Parse(std::string_view bytes) {
    Document document;
    const auto startsWith = [bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xFF\xFE")) {
        document.m_encoding = Encoding::Utf16Le;
        document.m_mark = "\xFF\xFE";
    } else if (startsWith("\xFE\xFF")) {
        document.m_encoding = Encoding::Utf16Be;
        document.m_mark = "\xFE\xFF";
    } else if (startsWith("\xEF\xBB\xBF")) {
        document.m_mark = "\xEF\xBB\xBF";
    }
    const std::string_view body = bytes.substr(document.m_mark.size());
    const Units units(body, document.m_encoding);
    const std::size_t count = units.Count();
    // One allocation for the lines instead of a growing vector that moves them all each time: a
    // file of thousands of definitions would otherwise spend its parse copying lines around.
    document.m_lines.reserve(static_cast<std::size_t>(std::count(body.begin(), body.end(), '\n')) + 1);
    bool newlineKnown = false;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i <= count; ++i) {
        std::size_t eolUnits = 0;
        if (i < count) {
            const char32_t c = units.At(i);
            if (c == U'\r') {
                eolUnits = (i + 1 < count && units.At(i + 1) == U'\n') ? 2 : 1;
            } else if (c == U'\n') {
                eolUnits = 1;
            } else {
                continue;
            }
        } else if (lineStart == count) {
            break; // the file ends with a terminator (or is empty): no last, unterminated line
        }
        Line line;
        const std::size_t contentBegin = units.ByteOffset(lineStart);
        const std::size_t contentEnd = units.ByteOffset(i);
        line.raw.assign(body.substr(contentBegin, contentEnd - contentBegin));
        if (eolUnits == 2) {
            line.end = LineEnd::CrLf;
        } else if (eolUnits == 1) {
            line.end = units.At(i) == U'\r' ? LineEnd::Cr : LineEnd::Lf;
        }
        if (!newlineKnown && line.end != LineEnd::None) {
            document.m_newline = line.end;
            newlineKnown = true;
        }
        document.ParseLine(line);
        document.m_lines.push_back(std::move(line));
        i += eolUnits;
        lineStart = i;
        --i; // the loop's increment moves on to the first unit of the next line
    }
    return document; // without a terminator in the file, new lines end as in a new file
}

void Document::ParseLine(Line& line) const {
    const Units units(line.raw, m_encoding);
    std::size_t begin = 0;
    std::size_t end = units.Count();
    while (begin < end && IsBlank(units.At(begin))) {
        ++begin;
    }
    while (end > begin && IsBlank(units.At(end - 1))) {
        --end;
    }
    line.kind = LineKind::Other;
    line.nameBegin = line.nameEnd = line.valueBegin = line.valueEnd = 0;
    if (begin == end || line.raw.size() > std::numeric_limits<std::uint32_t>::max()) {
        return;
    }
    const auto offset = [&units](std::size_t unit) {
        return static_cast<std::uint32_t>(units.ByteOffset(unit));
    };
    const auto trim = [&units](std::size_t& from, std::size_t& to) {
        while (from < to && IsBlank(units.At(from))) {
            ++from;
        }
        while (to > from && IsBlank(units.At(to - 1))) {
            --to;
        }
    };
    const char32_t first = units.At(begin);
    if (first == U';') {
        line.kind = LineKind::Comment;
        return;
    }
    if (first == U'[') {
        std::size_t nameBegin = begin + 1;
        std::size_t nameEnd = nameBegin;
        while (nameEnd < end && units.At(nameEnd) != U']') {
            ++nameEnd;
        }
        trim(nameBegin, nameEnd);
        line.kind = LineKind::Section;
        line.nameBegin = offset(nameBegin);
        line.nameEnd = offset(nameEnd);
        return;
    }
    std::size_t equals = begin;
    while (equals < end && units.At(equals) != U'=') {
        ++equals;
    }
    if (equals == end) {
        return; // no '=': not a key
    }
    std::size_t keyBegin = begin;
    std::size_t keyEnd = equals;
    trim(keyBegin, keyEnd);
    std::size_t valueBegin = equals + 1;
    std::size_t valueEnd = end;
    trim(valueBegin, valueEnd);
    if (valueEnd - valueBegin >= 2 && IsQuote(units.At(valueBegin)) &&
        units.At(valueBegin) == units.At(valueEnd - 1)) {
        ++valueBegin;
        --valueEnd;
    }
    line.kind = LineKind::Key;
    line.nameBegin = offset(keyBegin);
    line.nameEnd = offset(keyEnd);
    line.valueBegin = offset(valueBegin);
    line.valueEnd = offset(valueEnd);
}

std::string_view Document::NameBytes(const Line& line) {
    return std::string_view(line.raw).substr(line.nameBegin, line.nameEnd - line.nameBegin);
}

std::u16string Document::Name(const Line& line) const {
    const Units units(NameBytes(line), m_encoding);
    return units.Decode(0, units.Count());
}

std::u16string Document::Value(const Line& line) const {
    const std::string_view bytes =
        std::string_view(line.raw).substr(line.valueBegin, line.valueEnd - line.valueBegin);
    const Units units(bytes, m_encoding);
    return units.Decode(0, units.Count());
}

namespace {

constexpr std::size_t kHashStart = 14695981039346656037ULL; // FNV-1a
constexpr std::size_t kHashFactor = 1099511628211ULL;

std::size_t HashStep(std::size_t hash, char16_t unit) {
    return (hash ^ unit) * kHashFactor;
}

char16_t FoldAscii(char32_t c) {
    return static_cast<char16_t>((c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c);
}

// A name folded as FoldName folds it; a short ASCII name (every key a definition reads) is
// folded into the object itself, without a string of its own.
class FoldedName {
public:
    explicit FoldedName(std::u16string_view name) {
        if (name.size() <= kInline &&
            std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; })) {
            std::transform(name.begin(), name.end(), m_inline, [](char16_t c) { return FoldAscii(c); });
            m_view = std::u16string_view(m_inline, name.size());
        } else {
            m_heap = FoldName(name);
            m_view = m_heap;
        }
    }
    FoldedName(const FoldedName&) = delete;
    FoldedName& operator=(const FoldedName&) = delete;
    std::u16string_view View() const { return m_view; }

private:
    static constexpr std::size_t kInline = 40;
    char16_t m_inline[kInline];
    std::u16string m_heap;
    std::u16string_view m_view;
};

} // namespace

std::size_t NameHash(std::u16string_view folded) {
    std::size_t hash = kHashStart;
    for (const char16_t unit : folded) {
        hash = HashStep(hash, unit);
    }
    return hash;
}

bool Document::NameIs(const Line& line, std::u16string_view folded) const {
    const Units units(NameBytes(line), m_encoding);
    const std::size_t count = units.Count();
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t c = units.At(i);
        if (c >= 0x80) {
            return FoldName(Name(line)) == folded;
        }
        if (i >= folded.size() || FoldAscii(c) != folded[i]) {
            return false;
        }
    }
    return count == folded.size();
}

std::size_t Document::FoldedNameHash(const Line& line) const {
    const Units units(NameBytes(line), m_encoding);
    std::size_t hash = kHashStart;
    for (std::size_t i = 0; i < units.Count(); ++i) {
        const char32_t c = units.At(i);
        if (c >= 0x80) {
            return NameHash(FoldName(Name(line)));
        }
        hash = HashStep(hash, FoldAscii(c));
    }
    return hash;
}

std::string Document::Serialize() const {
    std::size_t size = m_mark.size();
    for (const Line& line : m_lines) {
        size += line.raw.size() + EndBytes(line.end).size();
    }
    std::string bytes;
    bytes.reserve(size);
    bytes += m_mark;
    for (const Line& line : m_lines) {
        bytes += line.raw;
        bytes += EndBytes(line.end);
    }
    return bytes;
}

std::string Document::Encode(std::u16string_view text) const {
    if (m_encoding == Encoding::Utf8) {
        return Utf16ToUtf8(text);
    }
    std::string bytes;
    bytes.reserve(2 * text.size());
    for (const char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        if (m_encoding == Encoding::Utf16Le) {
            bytes.push_back(low);
            bytes.push_back(high);
        } else {
            bytes.push_back(high);
            bytes.push_back(low);
        }
    }
    return bytes;
}

std::string_view Document::EndBytes(LineEnd end) const {
    using namespace std::string_view_literals;
    static constexpr std::string_view kUtf8[] = {""sv, "\n"sv, "\r"sv, "\r\n"sv};
    static constexpr std::string_view kUtf16Le[] = {""sv, "\n\0"sv, "\r\0"sv, "\r\0\n\0"sv};
    static constexpr std::string_view kUtf16Be[] = {""sv, "\0\n"sv, "\0\r"sv, "\0\r\0\n"sv};
    const auto index = static_cast<std::size_t>(end);
    switch (m_encoding) {
    case Encoding::Utf16Le:
        return kUtf16Le[index];
    case Encoding::Utf16Be:
        return kUtf16Be[index];
    case Encoding::Utf8:
        break;
    }
    return kUtf8[index];
}

Line Document::MakeLine(std::u16string_view text) const {
    Line line;
    line.raw = Encode(text);
    line.end = m_newline;
    ParseLine(line);
    return line;
}

bool Document::HasSection(std::u16string_view section) const {
    return FindSection(FoldName(section)) < m_lines.size();
}

std::size_t Document::FindSection(std::u16string_view folded) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Section && NameIs(m_lines[i], folded)) {
            return i;
        }
    }
    return m_lines.size();
}

std::size_t Document::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < m_lines.size() && m_lines[i].kind != LineKind::Section) {
        ++i;
    }
    return i;
}

void Document::InsertLines(std::size_t at, std::vector<Line> lines) {
    // A last line without a terminator gets the file's own before anything follows it.
    if (at > 0 && m_lines[at - 1].end == LineEnd::None) {
        Line& last = m_lines[at - 1];
        // The odd last byte of a cut UTF-16 file would shift every unit after it; it becomes the
        // U+FFFD it already reads as.
        if (m_encoding != Encoding::Utf8 && last.raw.size() % 2 != 0) {
            last.raw.pop_back();
            last.raw += Encode(u"\uFFFD");
            ParseLine(last);
        }
        last.end = m_newline;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(lines.begin()),
                   std::make_move_iterator(lines.end()));
}

bool Document::SetKey(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
    const std::size_t header = FindSection(FoldName(section));
    std::u16string keyLine(key);
    keyLine += u'=';
    keyLine += value;
    if (header == m_lines.size()) {
        std::vector<Line> lines;
        lines.push_back(MakeLine(HeaderText(section)));
        lines.push_back(MakeLine(keyLine));
        InsertLines(m_lines.size(), std::move(lines));
        return true;
    }
    const std::u16string folded = FoldName(key);
    const std::size_t end = SectionEnd(header);
    std::size_t lastKey = header;
    for (std::size_t i = header + 1; i < end; ++i) {
        Line& line = m_lines[i];
        if (line.kind != LineKind::Key) {
            continue;
        }
        if (NameIs(line, folded)) {
            // The stored spelling of the key stays, byte for byte; only the value is new.
            std::string raw = line.raw.substr(line.nameBegin, line.nameEnd - line.nameBegin);
            raw += Encode(u"=");
            raw += Encode(value);
            if (raw == line.raw) {
                return false;
            }
            line.raw = std::move(raw);
            ParseLine(line);
            return true;
        }
        lastKey = i;
    }
    std::vector<Line> lines;
    lines.push_back(MakeLine(keyLine));
    InsertLines(lastKey + 1, std::move(lines));
    return true;
}

bool Document::DeleteKey(std::u16string_view section, std::u16string_view key) {
    const std::size_t header = FindSection(FoldName(section));
    if (header == m_lines.size()) {
        return false;
    }
    const std::u16string folded = FoldName(key);
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == LineKind::Key && NameIs(m_lines[i], folded)) {
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool Document::DeleteSection(std::u16string_view section) {
    const std::size_t header = FindSection(FoldName(section));
    if (header == m_lines.size()) {
        return false;
    }
    const std::size_t end = SectionEnd(header);
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(header),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(end));
    return true;
}

bool Document::ReplaceSection(std::u16string_view section,
                              const std::vector<std::pair<std::u16string, std::u16string>>& keys) {
    std::vector<Line> keyLines;
    keyLines.reserve(keys.size() + 1);
    for (const auto& [key, value] : keys) {
        keyLines.push_back(MakeLine(key + u"=" + value));
    }
    const std::size_t header = FindSection(FoldName(section));
    if (header == m_lines.size()) {
        keyLines.insert(keyLines.begin(), MakeLine(HeaderText(section)));
        InsertLines(m_lines.size(), std::move(keyLines));
        return true;
    }
    // The new keys take the place of the first old key line; comments, blank lines and other
    // lines of the section stay where they are.
    const std::size_t end = SectionEnd(header);
    const std::string before = Serialize();
    std::vector<Line> kept;
    kept.reserve(m_lines.size() - (end - header - 1));
    std::size_t insertAt = header + 1;
    bool keySeen = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const bool inSection = i > header && i < end;
        if (inSection && m_lines[i].kind == LineKind::Key) {
            if (!keySeen) {
                insertAt = kept.size();
                keySeen = true;
            }
            continue;
        }
        kept.push_back(std::move(m_lines[i]));
    }
    m_lines = std::move(kept);
    InsertLines(insertAt, std::move(keyLines));
    return Serialize() != before;
}

Index::Index(const Document& document) : m_document(&document) {
    const std::vector<Line>& lines = document.Lines();
    std::size_t keys = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section) {
            m_sectionLines.push_back(static_cast<std::uint32_t>(i));
        } else if (lines[i].kind == LineKind::Key) {
            ++keys;
        }
    }
    std::vector<std::uint32_t> hashes(m_sectionLines.size());
    for (std::size_t place = 0; place < hashes.size(); ++place) {
        hashes[place] = Hash32(document.FoldedNameHash(lines[m_sectionLines[place]]));
    }
    // Only the first section of a name is ever searched; later ones collect nothing.
    m_firstOfName = MarkRepeats(
        hashes.size(), [&hashes](std::size_t place) { return hashes[place]; },
        [this](std::size_t earlier, std::size_t later) {
            return SameName(m_sectionLines[earlier], FoldName(SectionName(later)));
        });
    m_firstOfName.flip();
    // Slots in file order, each with its keys.
    std::vector<std::uint32_t> slotOfPlace(m_sectionLines.size(), static_cast<std::uint32_t>(kNoSection));
    m_keys.reserve(keys);
    m_slots.reserve(static_cast<std::size_t>(std::count(m_firstOfName.begin(), m_firstOfName.end(), true)));
    bool collecting = false;
    std::size_t place = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Section) {
            collecting = m_firstOfName[place];
            if (collecting) {
                slotOfPlace[place] = static_cast<std::uint32_t>(m_slots.size());
                const auto at = static_cast<std::uint32_t>(m_keys.size());
                m_slots.push_back(Slot{static_cast<std::uint32_t>(i), at, at});
            }
            ++place;
        } else if (line.kind == LineKind::Key && collecting) {
            m_keys.push_back(Entry{Hash32(document.FoldedNameHash(line)), static_cast<std::uint32_t>(i)});
            m_slots.back().keysEnd = static_cast<std::uint32_t>(m_keys.size());
        }
    }
    for (const Slot& slot : m_slots) {
        std::sort(m_keys.begin() + slot.keysBegin, m_keys.begin() + slot.keysEnd);
    }
    m_sectionTable.reserve(m_slots.size());
    for (std::size_t place = 0; place < hashes.size(); ++place) {
        if (m_firstOfName[place]) {
            m_sectionTable.push_back(Entry{hashes[place], slotOfPlace[place]});
        }
    }
    std::sort(m_sectionTable.begin(), m_sectionTable.end());
}

std::u16string Index::SectionName(std::size_t place) const {
    return m_document->Name(m_document->Lines()[m_sectionLines[place]]);
}

bool Index::SameName(std::uint32_t line, std::u16string_view folded) const {
    return m_document->NameIs(m_document->Lines()[line], folded);
}

bool Index::HasSection(std::u16string_view section) const {
    return FindSection(section) != kNoSection;
}

std::size_t Index::FindSection(std::u16string_view section, std::size_t hint) const {
    const FoldedName name(section);
    const std::u16string_view folded = name.View();
    if (hint < m_slots.size() && SameName(m_slots[hint].header, folded)) {
        return hint;
    }
    const std::uint32_t hash = Hash32(NameHash(folded));
    for (auto entry = std::lower_bound(m_sectionTable.begin(), m_sectionTable.end(), Entry{hash, 0});
         entry != m_sectionTable.end() && entry->hash == hash; ++entry) {
        if (SameName(m_slots[entry->number].header, folded)) {
            return entry->number;
        }
    }
    return kNoSection;
}

std::optional<std::u16string> Index::FindKey(std::size_t section, std::u16string_view key) const {
    if (section == kNoSection) {
        return std::nullopt;
    }
    const FoldedName name(key);
    const std::u16string_view folded = name.View();
    const std::uint32_t hash = Hash32(NameHash(folded));
    const Slot& slot = m_slots[section];
    const auto end = m_keys.begin() + slot.keysEnd;
    // Equal hashes stay in file order, so the first equal name is the first of that name.
    for (auto entry = std::lower_bound(m_keys.begin() + slot.keysBegin, end, Entry{hash, 0});
         entry != end && entry->hash == hash; ++entry) {
        if (SameName(entry->number, folded)) {
            return m_document->Value(m_document->Lines()[entry->number]);
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> Index::Find(std::u16string_view section, std::u16string_view key) const {
    return FindKey(FindSection(section), key);
}

} // namespace ini
