#include "generators/Word.h"

#include <algorithm>
#include <cstring>
#include <limits>

std::uint64_t WordHash(std::string_view bytes) {
    std::uint64_t hash = 0x811C9DC5;
    const std::size_t count = std::min(bytes.size(), kWordTextBytes);
    for (std::size_t i = 0; i < count; ++i) {
        // The byte counts as a signed char, so 0x92 adds -110 (modulo 2^64).
        const auto value = static_cast<std::int64_t>(static_cast<signed char>(bytes[i]));
        hash = hash * 16777619u + static_cast<std::uint64_t>(value);
    }
    return hash;
}

namespace {

struct SFixup {
    std::string_view pattern;
    std::string_view replacement;
};

// Misspellings found in old model data; tried in this order.
constexpr SFixup kFixups[] = {
    {"coued", "could"}, {"perceiv", "perceive"}, {"Ninevy", "Nineveh"}, {"Falshood", "Falsehood"},
    {"fift", "fifth"},  {"Evill", "Evil"},       {"&c", "etc."},
};

} // namespace

CWord::CWord(std::string_view bytes) {
    const std::size_t count = std::min(bytes.size(), kWordTextBytes);
    std::memcpy(m_text.data(), bytes.data(), count);
    m_hash = WordHash(std::string_view(m_text.data(), count));
    m_length = static_cast<std::uint32_t>(
        std::min<std::size_t>(bytes.size(), std::numeric_limits<std::uint32_t>::max()));
}

void CWord::SetFromRecord(const std::array<char, kWordTextBytes>& text, std::uint32_t length) {
    // Only the bytes the length names are kept (never more than 24); the rest stays zero.
    const std::size_t count = std::min<std::size_t>(length, kWordTextBytes);
    m_text.fill('\0');
    std::memcpy(m_text.data(), text.data(), count);
    m_hash = WordHash(std::string_view(m_text.data(), count));
    m_length = length;
}

void CWord::ApplySpellingFixups() {
    for (const SFixup& fixup : kFixups) {
        // Comparing against the padded 24 bytes: a shorter word has zeros where the pattern
        // has letters, so it cannot match.
        if (std::memcmp(m_text.data(), fixup.pattern.data(), fixup.pattern.size()) == 0) {
            *this = CWord(fixup.replacement);
            return;
        }
    }
}

std::string_view CWord::TextView() const {
    const auto* end = std::find(m_text.begin(), m_text.end(), '\0');
    return std::string_view(m_text.data(), static_cast<std::size_t>(end - m_text.begin()));
}

bool CWord::SameText(const CWord& other) const {
    if (m_length == 0 || other.m_length == 0) {
        return false;
    }
    const std::size_t count = std::min<std::size_t>(m_length, kWordTextBytes);
    return std::memcmp(m_text.data(), other.m_text.data(), count) == 0;
}

void CWordData::RaiseUseCount() {
    if (m_useCount != std::numeric_limits<std::uint32_t>::max()) {
        ++m_useCount;
    }
}

void CWordData::ComputeTotalWeight() {
    m_totalWeight = 0;
    for (const SWordLink& link : m_links) {
        m_totalWeight += link.weight;
    }
}
