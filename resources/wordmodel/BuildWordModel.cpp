// Builds a Rovezezodav data file (the built-in word model) from plain text files.
//
//   build_word_model [--min-count N] -o OUTPUT TEXT...
//
// Every sentence of the texts becomes a walk through the model: "_STAR" links to the words that
// open sentences, each word links to the words that followed it (weighted by how often), a word
// before a comma links to "_SEND", "_SSTAR" links to the words that open a clause after a comma,
// and the last word of a sentence links to "_END".
//
// Tokens: words are runs of letters, keeping their case, with apostrophes and single hyphens
// inside them ("don't", "good-humoured"); "Mr." and a few other titles keep their full stop.
// ". ! ?" end a sentence; ", ; :" and "--" end a clause. Quotes, brackets and underscores are
// dropped. A sentence is left out whole when it holds a digit, a character that has no place in
// Windows-1252, a word longer than 24 bytes, or a word the loader would change (the spelling
// fix-ups); so is a text that ends at a blank line without a full stop (headings, titles).
// With --min-count N, links seen fewer than N times are dropped where a word has stronger ones,
// and words no sentence can reach any more are left out, which keeps the model small.

#include "generators/Word.h"
#include "generators/WordDataArray.h"
#include "generators/WordDataWriter.h"
#include "support/KSString.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::int64_t kStar = CWordDataArray::kStart;
constexpr std::int64_t kEnd = CWordDataArray::kEnd;
constexpr std::int64_t kClauseStar = CWordDataArray::kClauseStart;
constexpr std::int64_t kClauseEnd = CWordDataArray::kClauseEnd;

// Bytes the tokenizer treats as poison: the sentence holding them is left out.
constexpr char kOddByte = 0x7F;

// ---------------------------------------------------------------------------------------------
// Text decoding: UTF-8 when the file is valid UTF-8, otherwise Windows-1252 as it stands.

// Windows-1252 bytes 0x80 to 0x9F and the code points they stand for.
constexpr std::array<std::pair<char32_t, unsigned char>, 27> kCp1252High = {{
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
    {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
    {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
    {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
    {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F},
}};

char ToCp1252(char32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        return static_cast<char>(code);
    }
    for (const auto& [point, byte] : kCp1252High) {
        if (point == code) {
            return static_cast<char>(byte);
        }
    }
    return kOddByte;
}

// Decodes UTF-8; nullopt when the bytes are not valid UTF-8.
std::optional<std::string> Utf8ToCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
            extra = 3;
            code = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + extra >= bytes.size() && extra > 0) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            code = (code << 6) | (next & 0x3F);
        }
        out.push_back(ToCp1252(code));
        i += extra + 1;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Tokens.

bool IsLetter(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
        return true;
    }
    if (c >= 0xC0) {
        return c != 0xD7 && c != 0xF7; // multiplication and division signs
    }
    return c == 0x83 || c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E ||
           c == 0x9F;
}

bool IsApostrophe(unsigned char c) {
    return c == '\'' || c == 0x92;
}

// Titles whose full stop does not end the sentence.
bool IsTitle(std::string_view word) {
    static constexpr std::string_view kTitles[] = {"Mr",  "Mrs",  "Messrs", "Dr", "St",
                                                   "Col", "Capt", "Rev",    "Esq"};
    return std::find(std::begin(kTitles), std::end(kTitles), word) != std::end(kTitles);
}

class ISentenceSink {
public:
    virtual ~ISentenceSink() = default;
    virtual void Word(std::string_view word) = 0;
    virtual void ClauseEnd() = 0;
    virtual void SentenceEnd() = 0;
    // A blank line or the end of a text: whatever is not closed by a full stop is dropped.
    virtual void ParagraphEnd() = 0;
    virtual void Poison() = 0;
};

void Tokenize(std::string_view text, ISentenceSink& sink) {
    std::string word;
    bool wordPoisoned = false;
    const auto at = [&](std::size_t i) -> unsigned char {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    };
    const auto flushWord = [&] {
        if (!word.empty()) {
            if (wordPoisoned) {
                sink.Poison();
            } else {
                sink.Word(word);
            }
        }
        word.clear();
        wordPoisoned = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = at(i);
        if (IsLetter(c)) {
            word.push_back(static_cast<char>(c));
            continue;
        }
        if (!word.empty() && IsApostrophe(c) && IsLetter(at(i + 1))) {
            word.push_back('\'');
            continue;
        }
        if (!word.empty() && c == '-' && IsLetter(at(i + 1))) {
            word.push_back('-');
            continue;
        }
        if (c >= '0' && c <= '9') {
            wordPoisoned = true;
            if (word.empty()) {
                sink.Poison();
            }
            continue;
        }
        if (c == '.' && IsTitle(word)) {
            word.push_back('.');
            flushWord();
            continue;
        }
        flushWord();
        switch (c) {
        case '.':
        case '!':
        case '?':
            sink.SentenceEnd();
            break;
        case ',':
        case ';':
        case ':':
            sink.ClauseEnd();
            break;
        case '-':
            if (at(i + 1) == '-') {
                sink.ClauseEnd();
                ++i;
            }
            break;
        case 0x96: // en dash
        case 0x97: // em dash
            sink.ClauseEnd();
            break;
        case '\n': {
            // A line with nothing but blanks on it ends the paragraph.
            std::size_t k = i + 1;
            while (at(k) == ' ' || at(k) == '\t' || at(k) == '\r') {
                ++k;
            }
            if (at(k) == '\n') {
                sink.ParagraphEnd();
            }
            break;
        }
        default:
            // Blanks, quotes, brackets and marks of emphasis separate words and nothing more;
            // control characters and bytes without a character are poison.
            if ((c < 0x20 && c != '\t' && c != '\r') || c == static_cast<unsigned char>(kOddByte) ||
                c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) {
                sink.Poison();
            }
            break;
        }
    }
    flushWord();
    sink.ParagraphEnd();
}

// ---------------------------------------------------------------------------------------------
// The model.

class CModelBuilder : public ISentenceSink {
public:
    CModelBuilder() {
        for (const std::string_view marker : CWordDataArray::kMarkerTexts) {
            m_texts.emplace_back(marker);
        }
        m_links.resize(m_texts.size());
    }

    void Word(std::string_view word) override {
        if (word.size() > kWordTextBytes || !RoundTrips(word)) {
            m_poisoned = true;
            return;
        }
        m_sentence.push_back(IdOf(word));
    }
    void ClauseEnd() override {
        // A clause needs a word; repeated or leading marks collapse.
        if (!m_sentence.empty() && m_sentence.back() != kClauseEnd) {
            m_sentence.push_back(kClauseEnd);
        }
    }
    void SentenceEnd() override {
        while (!m_sentence.empty() && m_sentence.back() == kClauseEnd) {
            m_sentence.pop_back();
        }
        if (!m_sentence.empty()) {
            if (m_poisoned) {
                ++m_skipped;
            } else {
                Commit();
            }
        }
        m_sentence.clear();
        m_poisoned = false;
    }
    void ParagraphEnd() override {
        if (!m_sentence.empty()) {
            ++m_skipped;
        }
        m_sentence.clear();
        m_poisoned = false;
    }
    void Poison() override { m_poisoned = true; }

    // Drops links seen fewer than minCount times where the word has one seen at least that
    // often, then every word the markers can no longer reach.
    void Prune(std::uint32_t minCount) {
        for (auto& links : m_links) {
            const bool hasStrong = std::any_of(links.begin(), links.end(),
                                               [&](const auto& link) { return link.second >= minCount; });
            if (hasStrong) {
                std::erase_if(links, [&](const auto& link) { return link.second < minCount; });
            }
        }
        m_reachable.assign(m_texts.size(), false);
        std::vector<std::int64_t> pending = {kStar, kClauseStar, kEnd, kClauseEnd};
        while (!pending.empty()) {
            const std::int64_t id = pending.back();
            pending.pop_back();
            if (m_reachable[static_cast<std::size_t>(id)]) {
                continue;
            }
            m_reachable[static_cast<std::size_t>(id)] = true;
            for (const auto& [target, count] : m_links[static_cast<std::size_t>(id)]) {
                pending.push_back(target);
            }
        }
    }

    struct SStats {
        std::size_t words = 0;
        std::size_t links = 0;
        std::uint32_t maxWeight = 0;
        std::size_t longestWord = 0;
    };

    // The data file, words renumbered so that the ids run without gaps.
    CWordDataWriter Write(SStats& stats) const {
        std::vector<std::int64_t> newId(m_texts.size(), -1);
        std::int64_t next = 0;
        for (std::size_t id = 0; id < m_texts.size(); ++id) {
            if (IsKept(id)) {
                newId[id] = next++;
            }
        }
        CWordDataWriter writer;
        for (std::size_t id = 0; id < m_texts.size(); ++id) {
            if (!IsKept(id)) {
                continue;
            }
            // Heavy links first: the walk adds weights up from the front.
            std::vector<std::pair<std::int64_t, std::uint32_t>> sorted(m_links[id].begin(),
                                                                       m_links[id].end());
            std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
                return a.second != b.second ? a.second > b.second : a.first < b.first;
            });
            std::vector<SWordLink> links;
            links.reserve(sorted.size());
            for (const auto& [target, count] : sorted) {
                const auto targetIndex = static_cast<std::size_t>(target);
                links.push_back(MakeWordLink(m_texts[targetIndex], newId[targetIndex], count));
                stats.maxWeight = std::max(stats.maxWeight, count);
            }
            writer.AddWord(m_texts[id], newId[id], links);
            stats.links += links.size();
            stats.longestWord = std::max(stats.longestWord, m_texts[id].size());
        }
        stats.words = writer.WordCount();
        return writer;
    }

    std::size_t SentencesUsed() const { return m_used; }
    std::size_t SentencesSkipped() const { return m_skipped; }

private:
    static bool RoundTrips(std::string_view word) {
        CWord loaded(word);
        loaded.ApplySpellingFixups();
        return loaded.TextView() == word;
    }

    bool IsKept(std::size_t id) const { return m_reachable.empty() || m_reachable[id]; }

    std::int64_t IdOf(std::string_view word) {
        const auto [found, added] =
            m_ids.try_emplace(std::string(word), static_cast<std::int64_t>(m_texts.size()));
        if (added) {
            m_texts.emplace_back(word);
            m_links.emplace_back();
        }
        return found->second;
    }

    void Link(std::int64_t from, std::int64_t to) {
        std::uint32_t& count = m_links[static_cast<std::size_t>(from)][to];
        if (count != std::numeric_limits<std::uint32_t>::max()) {
            ++count;
        }
    }

    void Commit() {
        std::int64_t previous = kStar;
        for (const std::int64_t item : m_sentence) {
            if (item == kClauseEnd) {
                Link(previous, kClauseEnd);
                previous = kClauseStar;
            } else {
                Link(previous, item);
                previous = item;
            }
        }
        Link(previous, kEnd);
        ++m_used;
    }

    std::vector<std::string> m_texts;
    std::unordered_map<std::string, std::int64_t> m_ids;
    std::vector<std::unordered_map<std::int64_t, std::uint32_t>> m_links;
    std::vector<bool> m_reachable;
    std::vector<std::int64_t> m_sentence;
    bool m_poisoned = false;
    std::size_t m_used = 0;
    std::size_t m_skipped = 0;
};

int Usage() {
    std::cerr << "usage: build_word_model [--min-count N] -o OUTPUT TEXT...\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string output;
    std::vector<std::string> inputs;
    std::uint32_t minCount = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "-o" || arg == "--output") && i + 1 < argc) {
            output = argv[++i];
        } else if (arg == "--min-count" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || value == 0 || value > std::numeric_limits<std::uint32_t>::max()) {
                return Usage();
            }
            minCount = static_cast<std::uint32_t>(value);
        } else if (arg.starts_with("-")) {
            return Usage();
        } else {
            inputs.emplace_back(arg);
        }
    }
    if (output.empty() || inputs.empty()) {
        return Usage();
    }

    CModelBuilder builder;
    for (const std::string& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.is_open() || file.bad()) {
            std::cerr << "build_word_model: cannot read " << input << "\n";
            return 1;
        }
        const std::optional<std::string> decoded = Utf8ToCp1252(bytes);
        Tokenize(decoded ? *decoded : bytes, builder);
    }
    builder.Prune(minCount);

    CModelBuilder::SStats stats;
    const CWordDataWriter writer = builder.Write(stats);
    if (!writer.WriteToFile(CKSString::FromUtf8(output))) {
        std::cerr << "build_word_model: cannot write " << output << "\n";
        return 1;
    }
    std::cout << "sentences used " << builder.SentencesUsed() << ", left out " << builder.SentencesSkipped()
              << "\nwords " << stats.words << ", links " << stats.links << ", largest weight "
              << stats.maxWeight << ", longest word " << stats.longestWord << " bytes\nwrote " << output
              << " (" << writer.Bytes().size() << " bytes)\n";
    return 0;
}
