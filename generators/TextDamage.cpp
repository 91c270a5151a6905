#include "generators/TextDamage.h"

#include <algorithm>
#include <array>

void CTextDamage::Choose(std::string_view damageClass, std::uint64_t span, CSeededStream& random) {
    Clear();
    m_class = std::string(damageClass);
    const std::uint64_t count = damageClass == "mixed-eol" ? random.Between(1, 3) : 1;
    for (std::uint64_t n = 0; n < count; ++n) {
        m_lines.insert(random.Below(std::max<std::uint64_t>(1, span)));
    }
}

void CTextDamage::ChooseLine(std::string_view damageClass, std::uint64_t line) {
    Clear();
    m_class = std::string(damageClass);
    m_lines.insert(line);
}

void CTextDamage::Clear() {
    m_class.clear();
    m_lines.clear();
    m_noted.clear();
}

void CTextDamage::Note(std::uint64_t utf8Offset, std::string_view original, std::string_view written) {
    m_noted.push_back({utf8Offset, std::string(original), std::string(written)});
}

void CTextDamage::Record(ETextEncoding encoding, const CTextEncodingStage* stage,
                         CDamageRecord& record) const {
    for (const CNoted& noted : m_noted) {
        std::uint64_t offset = noted.offset + ByteOrderMark(encoding).size();
        if (stage != nullptr) {
            offset = stage->Landing(noted.offset).value_or(offset);
        }
        record.AddChange(offset, EncodeText(encoding, noted.original), EncodeText(encoding, noted.written));
    }
}

std::string_view CTextDamage::InvalidUtf8(CSeededStream& random) {
    static constexpr std::array<std::string_view, 7> kSequences{
        "\xC3\x28",         // a lead byte before an ASCII byte
        "\xA0\xA1",         // continuation bytes with no lead
        "\xE2\x28\xA1",     // a three-byte form broken in its middle
        "\xF0\x28\x8C\xBC", // a four-byte form broken in its middle
        "\xFF",             // a byte UTF-8 never uses
        "\xC0\xAF",         // an overlong '/'
        "\xED\xA0\x80",     // a UTF-16 surrogate written as UTF-8
    };
    return kSequences[static_cast<std::size_t>(random.Below(kSequences.size()))];
}

std::string_view CTextDamage::OtherLineEnd(std::string_view ending) {
    return ending == "\n" ? std::string_view("\r\n") : std::string_view("\n");
}

std::string CTextDamage::LongLine(CSeededStream& random) {
    constexpr std::size_t kLength = 1024 * 1024;
    std::string line(kLength, ' ');
    for (std::size_t i = 0; i < kLength; i += 8) {
        const std::uint64_t bits = random.Next();
        for (std::size_t j = 0; j < 8 && i + j < kLength; ++j) {
            line[i + j] = static_cast<char>(33 + ((bits >> (8 * j)) & 0xFF) % 94);
        }
    }
    return line;
}
