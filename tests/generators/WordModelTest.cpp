// The word model's words, data file loader and table.

#include "generators/Word.h"
#include "generators/WordDataArray.h"
#include "generators/WordDataLoader.h"
#include "tests/generators/WordModelFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

void PatchU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Offsets in a file whose first word has no links.
constexpr std::size_t kFirstLinkCount = WordDataFormat::kHeaderBytes + WordDataFormat::kWordRecordBytes;

} // namespace

TEST(WordHash, KnownValuesSignedBytesAndTwentyFourByteLimit) {
    EXPECT_EQ(WordHash("abc"), 0xFB3014F513A1F429ull);
    EXPECT_EQ(WordHash(""), 0x811C9DC5ull);
    // 0x92 counts as -110: the hash of "\x92" is 0x811C9DC5 * 16777619 - 110.
    EXPECT_EQ(WordHash("\x92"), 0x811C9DC5ull * 16777619ull - 110ull);
    const std::string long24(24, 'x');
    EXPECT_EQ(WordHash(long24 + "tail"), WordHash(long24));
    EXPECT_NE(WordHash(long24.substr(0, 23) + "y"), WordHash(long24));
}

TEST(Word, KeepsTwentyFourBytesButTheFullLength) {
    const std::string text(30, 'q');
    const CWord word(text);
    EXPECT_EQ(word.Length(), 30u);
    EXPECT_EQ(word.TextView(), std::string_view(text).substr(0, 24));
    EXPECT_EQ(word.Hash(), WordHash(text.substr(0, 24)));
}

TEST(Word, SpellingFixupsMatchPrefixesInTableOrder) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"fifty", "fifth"},        {"fift", "fifth"},      {"&c", "etc."},        {"coued", "could"},
        {"perceived", "perceive"}, {"Nineveh", "Nineveh"}, {"Ninevy", "Nineveh"}, {"Falshood", "Falsehood"},
        {"Evilly", "Evil"},        {"fif", "fif"},         {"evill", "evill"},    {"&", "&"},
    };
    for (const auto& [given, expected] : cases) {
        CWord word(given);
        word.ApplySpellingFixups();
        EXPECT_EQ(word.TextView(), expected) << given;
        EXPECT_EQ(word.Length(), expected.size()) << given;
        EXPECT_EQ(word.Hash(), WordHash(expected)) << given;
    }
}

TEST(WordDataArray, MarkersHaveFixedIdsInEveryTable) {
    for (int round = 0; round < 2; ++round) {
        const CWordDataArray words;
        for (int marker = 0; marker < CWordDataArray::kMarkerCount; ++marker) {
            const auto which = static_cast<CWordDataArray::EMarker>(marker);
            EXPECT_EQ(words.MarkerId(which), marker);
            const CWordData* entry = words.FindMarker(which);
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->TextView(), CWordDataArray::kMarkerTexts[static_cast<std::size_t>(marker)]);
        }
        EXPECT_EQ(words.WordCount(), 4u);
    }
}

TEST(WordDataArray, AddWordRaisesUseCountOfTheSameWord) {
    CWordDataArray words;
    const std::int64_t first = words.AddWord(CWord("lamb"));
    EXPECT_EQ(first, 4);
    EXPECT_EQ(words.AddWord(CWord("lamb")), first);
    EXPECT_EQ(words.AddWord(CWord("lambs")), 5);
    const CWordData* lamb = words.FindByLink(WordHash("lamb"), first);
    ASSERT_NE(lamb, nullptr);
    EXPECT_EQ(lamb->UseCount(), 2u);
    EXPECT_EQ(words.AddWord(CWord("_END")), 1);
}

TEST(WordDataLoader, HeaderCheckCodes) {
    TempDir folder;
    CWordDataLoader loader;
    std::uint32_t count = 99;
    EXPECT_EQ(loader.CheckHeader(count), CWordDataLoader::kNoFile);

    const std::string good = ModelBytes({{"word", 4, {kToEnd}}});
    const std::string path = folder.File("h.dat");
    const auto check = [&](std::string_view bytes) {
        WriteFileBytes(path, bytes);
        EXPECT_EQ(loader.Open(CKSString::FromUtf8(path)), 0);
        return loader.CheckHeader(count);
    };
    EXPECT_EQ(check(good), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(check(good.substr(0, 3)), CWordDataLoader::kBadHeader);
    EXPECT_EQ(check(good.substr(0, 10)), CWordDataLoader::kBadHeader);
    std::string wrongMagic = good;
    wrongMagic[0] = 0x02;
    EXPECT_EQ(check(wrongMagic), CWordDataLoader::kBadHeader);
    std::string wrongVersion = good;
    PatchU32(wrongVersion, 4, 4097);
    EXPECT_EQ(check(wrongVersion), CWordDataLoader::kBadHeader);

    EXPECT_NE(loader.Open(CKSString::FromUtf8(folder.File("missing.dat"))), 0);
    EXPECT_EQ(loader.CheckHeader(count), CWordDataLoader::kNoFile);
    CWordDataArray words;
    EXPECT_EQ(words.Load(CKSString::FromUtf8(folder.File("missing.dat"))), CWordDataLoader::kNoFile);
    // A folder opens but cannot be read: the system's error code comes back.
    EXPECT_EQ(loader.Open(CKSString::FromUtf8(folder.Path().string())), 0);
    EXPECT_EQ(loader.CheckHeader(count), EISDIR);
}

TEST(WordDataArray, LoadsLinksWithTheDuplicateAndZeroWeightRules) {
    TempDir folder;
    CWordDataArray words;
    // "dew" repeats its link to "_END" with weight 9: the first link gains exactly 1.
    const std::string bytes = ModelBytes({
        {"_STAR", 0, {{"dew", 4, 5}, {"mist", 5, 0}}},
        {"dew", 4, {{"_END", 1, 3}, {"mist", 5, 2}, {"_END", 1, 9}}},
        {"mist", 5, {kToEnd}},
    });
    ASSERT_EQ(LoadBytes(words, folder, bytes), 0);
    const CWordData* star = words.FindMarker(CWordDataArray::kStart);
    ASSERT_NE(star, nullptr);
    ASSERT_EQ(star->Links().size(), 2u);
    EXPECT_EQ(star->Links()[1].weight, 1u) << "weight 0 is read as 1";
    EXPECT_EQ(star->TotalWeight(), 6u);
    const CWordData* dew = words.FindByLink(WordHash("dew"), 4);
    ASSERT_NE(dew, nullptr);
    ASSERT_EQ(dew->Links().size(), 2u);
    EXPECT_EQ(dew->Links()[0].id, 1);
    EXPECT_EQ(dew->Links()[0].weight, 4u);
    EXPECT_EQ(dew->TotalWeight(), 6u);
    EXPECT_EQ(words.FindMarker(CWordDataArray::kEnd)->TotalWeight(), 0u);
}

TEST(WordDataArray, DuplicateRuleHoldsForWordsWithManyLinks) {
    TempDir folder;
    CWordDataArray words;
    std::vector<SWordSpec> model = {{"_STAR", 0, {}}};
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        std::string name = "w__";
        name[1] = static_cast<char>('a' + i % 26);
        name[2] = static_cast<char>('a' + i / 26);
        names.push_back(name);
    }
    for (int i = 0; i < 100; ++i) {
        model[0].links.push_back({names[static_cast<std::size_t>(i)], 4 + i, 7});
        model.push_back({names[static_cast<std::size_t>(i)], 4 + i, {kToEnd}});
    }
    // Repeats near the start of the list and far into it.
    model[0].links.push_back({names[3], 7, 50});
    model[0].links.push_back({names[90], 94, 50});
    model[0].links.push_back({names[90], 94, 50});
    ASSERT_EQ(LoadBytes(words, folder, ModelBytes(model)), 0);
    const CWordData* star = words.FindMarker(CWordDataArray::kStart);
    ASSERT_EQ(star->Links().size(), 100u);
    EXPECT_EQ(star->Links()[3].weight, 8u);
    EXPECT_EQ(star->Links()[90].weight, 9u);
    EXPECT_EQ(star->TotalWeight(), 703u);
}

TEST(WordDataArray, LoadAppliesFixupsAndPlacesWordsByTheStoredHash) {
    TempDir folder;
    CWordDataArray words;
    const std::string bytes = ModelBytes({
        {"_STAR", 0, {{"fifty", 4}, {"&c", 5}}},
        {"fifty", 4, {kToEnd}},
        {"&c", 5, {kToEnd}},
    });
    ASSERT_EQ(LoadBytes(words, folder, bytes), 0);
    // Found through the link, i.e. the hash the file stored for "fifty".
    const CWordData* fifth = words.FindByLink(WordHash("fifty"), 4);
    ASSERT_NE(fifth, nullptr);
    EXPECT_EQ(fifth->TextView(), "fifth");
    EXPECT_EQ(fifth->Hash(), WordHash("fifth"));
    const CWordData* etc = words.FindByLink(WordHash("&c"), 5);
    ASSERT_NE(etc, nullptr);
    EXPECT_EQ(etc->TextView(), "etc.");
    EXPECT_EQ(etc->Length(), 4u);
}

TEST(WordDataArray, DamagedFilesFailCleanlyAndLeaveOnlyTheMarkers) {
    TempDir folder;
    const std::string good = ModelBytes({{"_STAR", 0, {{"hill", 4}}}, {"hill", 4, {kToEnd}}});

    std::string hugeWordCount = good;
    PatchU32(hugeWordCount, 8, 0xFFFFFFFF);
    std::string hugeLinkCount = good;
    PatchU32(hugeLinkCount, kFirstLinkCount, 0xFFFFFFFF);
    const std::pair<std::string, int> cases[] = {
        {hugeWordCount, CWordDataLoader::kShortRecord},
        {hugeLinkCount, CWordDataLoader::kShortLinkRecord},
        {good.substr(0, good.size() - 1), CWordDataLoader::kShortLinkRecord},
        {good.substr(0, kFirstLinkCount + 2), CWordDataLoader::kShortRecord},
        {good.substr(0, 30), CWordDataLoader::kShortRecord},
    };
    for (const auto& [bytes, expected] : cases) {
        CWordDataArray words;
        EXPECT_EQ(LoadBytes(words, folder, bytes), expected);
        EXPECT_EQ(words.WordCount(), 4u) << "a failed load keeps none of its words";
        EXPECT_EQ(words.FindMarker(CWordDataArray::kStart)->Links().size(), 0u);
    }

    // A failed load followed by a good one gives the same table as the good one alone.
    CWordDataArray words;
    EXPECT_NE(LoadBytes(words, folder, hugeLinkCount), 0);
    ASSERT_EQ(LoadBytes(words, folder, good), 0);
    EXPECT_EQ(words.WordCount(), 6u);
    EXPECT_EQ(words.FindMarker(CWordDataArray::kStart)->Links().size(), 1u);
}

TEST(WordDataArray, RefusesAnOversizedFileWithoutReadingIt) {
    TempDir folder;
    const std::string path = folder.File("big.dat");
    WriteFileBytes(path, ModelBytes({{"_STAR", 0, {kToEnd}}}));
    // Sparse, so the test costs no disk space.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(CWordDataArray::kMaxDataFileBytes + 1)), 0);
    CWordDataArray words;
    EXPECT_EQ(words.Load(CKSString::FromUtf8(path)), CWordDataArray::kFileTooLarge);
    EXPECT_EQ(words.WordCount(), 4u);
}

TEST(WordDataArray, OneWordWithAHugeLinkListLoadsInLinearTime) {
    // 200,000 distinct links on "_STAR": a linear duplicate search would take minutes.
    CWordDataWriter writer;
    std::vector<SWordLink> links;
    for (std::int64_t i = 0; i < 200000; ++i) {
        links.push_back(SWordLink{0x1234567ull + static_cast<std::uint64_t>(i), 1000 + i, 1});
    }
    // Repeats of links that went in before the index grew, and after.
    links.push_back(links[5]);
    links.push_back(links[199999]);
    links.push_back(links[5]);
    writer.AddWord("_STAR", 0, links);
    TempDir folder;
    CWordDataArray words;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(LoadBytes(words, folder, writer.Bytes()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const CWordData* star = words.FindMarker(CWordDataArray::kStart);
    ASSERT_EQ(star->Links().size(), 200000u);
    EXPECT_EQ(star->Links()[5].weight, 3u);
    EXPECT_EQ(star->Links()[199999].weight, 2u);
    EXPECT_EQ(star->TotalWeight(), 200003u);
}
