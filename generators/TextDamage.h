#pragma once
// Damage written into text and tables as they are generated, the way a writer bug leaves it: at
// seeded lines (or rows) a NUL, bytes that are not UTF-8, another line end, a line of 1 MiB, a
// quote never closed. The generator writes UTF-8; the changes are noted at their UTF-8 offsets
// and recorded with their file offsets once the encoding has placed the bytes.

#include "engine/FileDamage.h"
#include "generators/TextOptions.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class CTextDamage {
public:
    // Chooses the seeded lines among the first span lines of a file: one for most classes, one to
    // three for mixed line ends.
    void Choose(std::string_view damageClass, std::uint64_t span, CSeededStream& random);
    // Chooses that line alone.
    void ChooseLine(std::string_view damageClass, std::uint64_t line);
    void Clear();

    const std::string& Class() const { return m_class; }
    bool Is(std::string_view damageClass) const { return m_class == damageClass; }
    // Whether the line is one the damage goes to, and it has not been applied there yet.
    bool Due(std::uint64_t line) const { return m_lines.count(line) != 0; }
    // The damage went to the line.
    void Applied(std::uint64_t line) { m_lines.erase(line); }
    // Whether damage is still owed (the file ended before a chosen line).
    bool Owed() const { return !m_lines.empty(); }
    void Forget() { m_lines.clear(); }

    // A change at a UTF-8 offset of the generated text: original taken away, written put there.
    void Note(std::uint64_t utf8Offset, std::string_view original, std::string_view written);
    // The noted changes in file offsets and in the file's encoding.
    void Record(ETextEncoding encoding, const CTextEncodingStage* stage, CDamageRecord& record) const;

    // A byte sequence no UTF-8 decoder accepts (a lone continuation byte, an overlong form, a
    // surrogate, ...), seeded.
    static std::string_view InvalidUtf8(CSeededStream& random);
    // The line end a line gets instead of the file's own: LF for CR LF or CR, CR LF for LF.
    static std::string_view OtherLineEnd(std::string_view ending);
    // 1 MiB of printable characters.
    static std::string LongLine(CSeededStream& random);

private:
    struct CNoted {
        std::uint64_t offset;
        std::string original;
        std::string written;
    };

    std::string m_class;
    std::set<std::uint64_t> m_lines;
    std::vector<CNoted> m_noted;
};
