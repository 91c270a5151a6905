#include "engine/StopEvent.h"
#include "generators/KSTextFileGenerator.h"
#include "generators/KSWordList.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <thread>

namespace {

std::string MakeText(GeneratorFixture& fixture,
                     std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> values,
                     std::uint32_t seed = 1) {
    return fixture.MakeOne(u"txt", values, seed);
}

std::set<std::string_view> WordSet() {
    CTextGenerator::Instance().PickRandomWord();
    CKSWordList list;
    list.Build();
    return {list.Entries().begin(), list.Entries().end()};
}

// A text generator that notes how much room was left before the limit at every item.
class ItemWatcher : public CKSTextFileGenerator {
public:
    using CKSTextFileGenerator::CKSTextFileGenerator;
    std::uint64_t WriteNumber() override { return Note(CKSTextFileGenerator::WriteNumber()); }
    std::uint64_t WriteEmail() override { return Note(CKSTextFileGenerator::WriteEmail()); }
    std::uint64_t WriteCardNumber() override { return Note(CKSTextFileGenerator::WriteCardNumber()); }
    std::uint64_t WriteDate() override { return Note(CKSTextFileGenerator::WriteDate()); }

    int items = 0;
    std::uint64_t smallestRoom = UINT64_MAX;

private:
    std::uint64_t Note(std::uint64_t written) {
        ++items;
        smallestRoom = std::min(smallestRoom, LeftBeforeLimit() + written);
        return written;
    }
};

// A text generator that notes the random state its content starts from.
class ContentStartWatcher : public CKSTextFileGenerator {
public:
    using CKSTextFileGenerator::CKSTextFileGenerator;
    void GenerateContent() override {
        starts.push_back(CLocalRandomState().Get());
        CKSTextFileGenerator::GenerateContent();
    }
    std::vector<std::uint32_t> starts;
};

struct PlainTextCase {
    std::int32_t kind;
    bool numbers, emails, cards;
    std::uint64_t sizeMin, sizeMax, lineMin, lineMax;
    bool crlf;
};

// Characters and words text as the generator must make it, written unit by unit with one call of
// the random source per draw, from the random state at the start of the content.
std::string ReferencePlainText(const PlainTextCase& c, std::uint32_t start) {
    static const CKSWordList words = [] {
        CKSWordList list;
        list.Build();
        return list;
    }();
    KSSrand(start);
    const std::uint64_t target = RandomInRange(c.sizeMin, c.sizeMax);
    const std::uint64_t limit = c.sizeMax;
    const std::uint64_t lineLength = RandomInRange(c.lineMin, c.lineMax);
    std::string out;
    const auto left = [&] { return out.size() < limit ? limit - out.size() : 0; };
    const auto printable = [] { return static_cast<char>(KSRand() % 94 + 32); };
    const auto unit = [&](std::uint64_t room) -> std::uint64_t {
        const std::size_t before = out.size();
        if (left() > 64) {
            const std::uint32_t r = RandomPair() % 73;
            if ((r == 2 || r == 3) && c.numbers) {
                KSRand();
                out += std::to_string(KSRand()) + " ";
            } else if (r == 4 && c.emails) {
                const std::uint32_t high = KSRand();
                const std::int64_t v =
                    static_cast<std::int64_t>(static_cast<std::int32_t>(high << 16)) | KSRand();
                for (std::int64_t i = 0; i < ((v + 2) & 0x3F); ++i) {
                    out += printable();
                }
                out += '@';
                for (std::int64_t i = 0; i < ((v >> 8) & 0x81); ++i) {
                    out += printable();
                }
                const std::int64_t suffix = (v >> 8) & 7;
                out += suffix == 1                  ? ".net"
                       : suffix == 2                ? ".edu"
                       : suffix == 3 || suffix == 4 ? ".org"
                                                    : ".com";
            } else if (r == 5 && c.cards) {
                const std::uint32_t v = RandomPair();
                char text[64];
                std::snprintf(text, sizeof(text), "%04u %04u %04u %04u. ", (v & 0xFFFF) % 9999,
                              ((v >> 8) & 0xFFFF) % 9999, (v >> 16) & 9999, ((v >> 24) & 0xFFFF) % 9999);
                out += text;
            }
            if (out.size() != before) {
                return out.size() - before;
            }
        }
        if ((c.kind & 2) != 0 && room > 16 && KSRand() % 8 < 6 && left() > 0) {
            out += words.Entries()[KSRand() % words.Entries().size()];
            return out.size() - before;
        }
        const std::uint32_t r = KSRand();
        const char byte = (r & 7) == 7 ? ' ' : printable();
        if (left() == 0) {
            return 0;
        }
        out += byte;
        return 1;
    };
    const std::string_view ending = c.crlf ? "\r\n" : "\n";
    while (out.size() < target) {
        const std::uint64_t request = std::min(lineLength, target);
        for (std::uint64_t done = 0; done < request;) {
            const std::uint64_t d = unit(request - done);
            if (d == 0) {
                break;
            }
            done += d;
        }
        out += ending.substr(0, std::min<std::uint64_t>(ending.size(), left()));
    }
    return out;
}

} // namespace

TEST(WordList, EntriesAndPicks) {
    CKSWordList list;
    list.Build();
    ASSERT_EQ(list.Entries().size(), 525u);
    EXPECT_EQ(list.Entries()[0], "abdicated ");
    EXPECT_EQ(list.Entries()[524], "would ");
    for (std::string_view entry : list.Entries()) {
        EXPECT_EQ(entry.back(), ' ');
    }
    std::vector<std::thread> threads;
    std::vector<std::string_view> picked(4);
    for (std::size_t i = 0; i < 4; ++i) {
        threads.emplace_back([&picked, i] { picked[i] = CTextGenerator::Instance().PickRandomWord(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto words = WordSet();
    for (std::string_view word : picked) {
        EXPECT_TRUE(words.count(word)) << word;
    }
    EXPECT_EQ(CTextGenerator::Instance().WordFitLength(), 16u);
}

TEST(WordList, PicksAreTheEntryOfTheDrawModuloTheCount) {
    CKSWordList list;
    list.Build();
    const CPickableWords words(list.Entries());
    EXPECT_EQ(words.SlotBytes(), 16u);
    for (std::uint32_t draw = 0; draw <= RANDMX; ++draw) {
        ASSERT_EQ(words.ForDraw(draw), list.Entries()[draw % 525]) << draw;
    }
    // The remainder without a division, for every count and value it takes that path for, and
    // past it, where it falls back to the division.
    for (std::uint32_t count :
         {1u, 2u, 3u, 7u, 94u, 524u, 525u, 526u, 4096u, 32767u, 65535u, 65536u, 100000u}) {
        std::vector<std::string_view> entries(count, "x ");
        const CPickableWords picks(entries);
        for (std::uint32_t value = 0; value <= 0x1FFFF; ++value) {
            ASSERT_EQ(picks.Remainder(value), value % count) << value << " mod " << count;
        }
        ASSERT_EQ(picks.Remainder(0xFFFFFFFFu), 0xFFFFFFFFu % count) << count;
    }
    // A longer entry widens the slots, and every entry keeps its own length.
    const std::vector<std::string_view> longer = {"a ", "a-rather-longer-entry-than-sixteen "};
    const CPickableWords wide(longer);
    EXPECT_EQ(wide.SlotBytes(), 48u);
    EXPECT_EQ(wide.ForDraw(3), longer[1]);
    EXPECT_EQ(CPickableWords({}).ForDraw(5), std::string_view());
}

TEST(TextGenerator, RandomCharactersArePrintableAndSizesStayInBounds) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        GeneratorFixture fixture;
        const std::string text =
            MakeText(fixture, {{u"TextType", u"1"}, {u"NumbersInText", u"0"}, {u"Size", u"1000,3000"}}, seed);
        EXPECT_GE(text.size(), 1000u);
        EXPECT_LE(text.size(), 3000u); // characters and line endings are clamped at the limit
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            const bool lineEnd = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ||
                                 (c == '\n' && i > 0 && text[i - 1] == '\r') ||
                                 (c == '\r' && i + 1 == text.size());
            ASSERT_TRUE((c >= 32 && c <= 125) || lineEnd) << "byte " << int(c) << " at " << i;
        }
    }
}

TEST(TextGenerator, WordsFillLinesThatHaveRoomForThem) {
    const auto words = WordSet();
    GeneratorFixture wide;
    const std::string text =
        MakeText(wide, {{u"NumbersInText", u"0"}, {u"LineLength", u"300"}, {u"Size", u"20000"}});
    std::istringstream lines(text);
    std::string line;
    std::size_t wordBytes = 0;
    while (std::getline(lines, line)) {
        for (std::size_t at = 0; at < line.size();) {
            std::size_t end = line.find(' ', at);
            if (end == std::string::npos) {
                break;
            }
            if (words.count(std::string_view(line).substr(at, end + 1 - at))) {
                wordBytes += end + 1 - at;
            }
            at = end + 1;
        }
    }
    EXPECT_GT(wordBytes, text.size() * 6 / 10) << "most of a wide line should be words";

    GeneratorFixture narrow;
    const std::string chars =
        MakeText(narrow, {{u"NumbersInText", u"0"}, {u"LineLength", u"16"}, {u"Size", u"4000"}});
    std::size_t listWords = 0;
    for (std::string_view word : words) {
        if (word.size() > 6 && chars.find(word) != std::string::npos) {
            ++listWords;
        }
    }
    EXPECT_EQ(listWords, 0u) << "a line of 16 bytes never has room for a word";
}

TEST(TextGenerator, ItemsOnlyWhereMoreThan64BytesAreLeft) {
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
        GeneratorFixture fixture;
        ItemWatcher generator(&fixture.Logger());
        fixture.Prepare(generator, u"txt");
        for (const char16_t* flag : {u"NumbersInText", u"EmailsInText", u"CCsInText", u"DatesInText"}) {
            GeneratorFixture::Set(generator, flag, u"1");
        }
        GeneratorFixture::Set(generator, u"Size", u"3000");
        generator.SetSeed(seed);
        generator.Run();
        EXPECT_GT(generator.items, 0);
        EXPECT_GT(generator.smallestRoom, 64u);
    }
}

TEST(TextGenerator, UnixLineEndingsAndTheLimit) {
    GeneratorFixture fixture;
    const std::string text = MakeText(fixture, {{u"WinLineEnding", u"0"},
                                                {u"Size", u"5000"},
                                                {u"EmailsInText", u"1"},
                                                {u"CCsInText", u"1"},
                                                {u"DatesInText", u"1"}});
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_GE(text.size(), 5000u);
    // At most one word or item past the limit: the longest item is an e-mail of 63 + 1 + 129 + 4.
    EXPECT_LE(text.size(), 5000u + 197u);
}

TEST(TextGenerator, CardNumbersAndEmailsHaveTheirShapes) {
    GeneratorFixture fixture;
    CKSTextFileGenerator generator(&fixture.Logger());
    generator.GetProperties().Get(u"Type").SetTextValue(u"txt");
    generator.AddTypeProperties();
    const CKSString path = CKSString::FromUtf8(fixture.Dir().File("pieces.txt"));
    ASSERT_TRUE(generator.OpenOutput(path));
    generator.ApplySize(1 << 20, 1 << 20);
    KSSrand(77);
    for (int i = 0; i < 300; ++i) {
        generator.WriteCardNumber();
    }
    // Every e-mail is written whole: local part, "@", domain and suffix, as long as its value says.
    for (std::uint32_t seed = 0; seed < 2000; ++seed) {
        KSSrand(seed);
        const std::uint32_t high = KSRand();
        const std::int64_t v = static_cast<std::int64_t>(high << 16) | KSRand();
        const auto expected = static_cast<std::uint64_t>(((v + 2) & 0x3F) + 1 + ((v >> 8) & 0x81) + 4);
        KSSrand(seed);
        ASSERT_EQ(generator.WriteEmail(), expected) << "seed " << seed;
    }
    generator.CloseOutput(path);

    std::istringstream cards(fixture.Read("pieces.txt").substr(0, 300 * 21));
    for (int i = 0; i < 300; ++i) {
        unsigned g1 = 0, g2 = 0, g3 = 0, g4 = 0;
        char dot = 0;
        ASSERT_TRUE(cards >> g1 >> g2 >> g3 >> g4 >> dot);
        EXPECT_EQ(dot, '.');
        EXPECT_LT(g1, 9999u);
        EXPECT_EQ(g3 & ~0x270Fu, 0u) << g3;
    }
}

TEST(TextGenerator, CharactersAndWordsFollowTheUnitRulesDrawForDraw) {
    WordSet(); // the word list is built, so the longest word is known
    const PlainTextCase cases[] = {
        {1, false, false, false, 3000, 3000, 60, 60, true},
        {1, true, false, false, 5000, 5200, 30, 90, true},
        {1, true, true, true, 4000, 4100, 1, 300, false},
        {2, false, false, false, 3000, 3000, 60, 90, true},
        {2, true, true, true, 6000, 6050, 10, 200, false},
        {2, true, false, false, 100, 120, 17, 17, true},
        {3, false, true, false, 2000, 2030, 5000, 5000, true},
    };
    for (const PlainTextCase& c : cases) {
        for (std::uint32_t seed = 1; seed <= 8; ++seed) {
            GeneratorFixture fixture;
            ContentStartWatcher generator(&fixture.Logger());
            fixture.Prepare(generator, u"txt");
            const auto number = [](std::uint64_t n) {
                const std::string digits = std::to_string(n);
                return std::u16string(digits.begin(), digits.end());
            };
            GeneratorFixture::Set(generator, u"SimpleName", u"1");
            GeneratorFixture::Set(generator, u"TextType", number(static_cast<std::uint64_t>(c.kind)));
            GeneratorFixture::Set(generator, u"NumbersInText", c.numbers ? u"1" : u"0");
            GeneratorFixture::Set(generator, u"EmailsInText", c.emails ? u"1" : u"0");
            GeneratorFixture::Set(generator, u"CCsInText", c.cards ? u"1" : u"0");
            GeneratorFixture::Set(generator, u"WinLineEnding", c.crlf ? u"1" : u"0");
            GeneratorFixture::Set(generator, u"Size", number(c.sizeMin) + u"," + number(c.sizeMax));
            GeneratorFixture::Set(generator, u"LineLength", number(c.lineMin) + u"," + number(c.lineMax));
            generator.SetSeed(seed);
            generator.Run();
            const auto files = fixture.Files();
            ASSERT_EQ(files.size(), 1u) << fixture.Output().All();
            ASSERT_EQ(generator.starts.size(), 1u);
            const std::string made = fixture.Read(*files.begin());
            const std::string expected = ReferencePlainText(c, generator.starts.front());
            ASSERT_EQ(made.size(), expected.size()) << "kind " << c.kind << " seed " << seed;
            ASSERT_EQ(made, expected) << "kind " << c.kind << " seed " << seed;
        }
    }
}
