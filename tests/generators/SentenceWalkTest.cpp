// The sentence walk over the word model.

#include "engine/Randomizer.h"
#include "generators/WordDataArray.h"
#include "generators/WordDataLoader.h"
#include "tests/generators/WordModelFixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

namespace {

using End = CWordDataArray::ESentenceEnd;

class SentenceWalk : public ::testing::Test {
protected:
    void Load(const std::vector<SWordSpec>& words) {
        ASSERT_EQ(LoadBytes(m_words, m_folder, ModelBytes(words)), 0);
    }

    TempDir m_folder;
    CRecordingSubscriber m_messages;
    CWordDataArray m_words{&m_messages};
};

} // namespace

TEST_F(SentenceWalk, SingleLinkStartAlwaysOpensWithThatWord) {
    Load({
        {"_STAR", 0, {{"Behold", 4}}},
        {"Behold", 4, {{"the", 5, 3}, {"a", 6, 1}}},
        {"the", 5, {{"lamb", 7}}},
        {"a", 6, {{"lamb", 7}}},
        {"lamb", 7, {kToEnd}},
    });
    KSSrand(7);
    std::map<std::string, int> seen;
    for (int i = 0; i < 200; ++i) {
        std::string text;
        EXPECT_EQ(m_words.GenerateSentence(text), End::Complete);
        EXPECT_TRUE(text.starts_with(" Behold ")) << text;
        ++seen[text];
    }
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_GT(seen[" Behold the lamb."], seen[" Behold a lamb."]);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(SentenceWalk, WordWhoseOnlyLinkIsEndClosesTheSentence) {
    Load({{"_STAR", 0, {{"Amen", 4}}}, {"Amen", 4, {kToEnd}}});
    std::string text = "   ";
    EXPECT_EQ(m_words.GenerateSentence(text), End::Complete);
    EXPECT_EQ(text, "    Amen.");
}

TEST_F(SentenceWalk, ClauseEndBecomesACommaAndTheClauseStartContinues) {
    Load({
        {"_STAR", 0, {{"Lo", 4}}},
        {"Lo", 4, {kToClauseEnd}},
        {"_SSTAR", 2, {{"Mr.", 5}}},
        {"Mr.", 5, {{"Collins", 6}}},
        {"Collins", 6, {kToEnd}},
    });
    std::string text;
    EXPECT_EQ(m_words.GenerateSentence(text), End::Complete);
    EXPECT_EQ(text, " Lo, Mr. Collins.");
}

TEST_F(SentenceWalk, DataErrorsAreReportedAndEndTheSentence) {
    Load({
        {"_STAR", 0, {{"orphan", 4}}},
        {"orphan", 4, {{"nowhere", 99}}},
    });
    std::string text;
    EXPECT_EQ(m_words.GenerateSentence(text), End::DataError);
    EXPECT_EQ(text, " orphan.");
    ASSERT_EQ(m_messages.Messages().size(), 1u);
    EXPECT_EQ(m_messages.Messages()[0], "Error in data, missing link\r\n");

    CRecordingSubscriber messages;
    CWordDataArray words(&messages);
    ASSERT_EQ(LoadBytes(words, m_folder, ModelBytes({{"_STAR", 0, {{"mute", 4}}}, {"mute", 4, {}}})), 0);
    text.clear();
    EXPECT_EQ(words.GenerateSentence(text), End::DataError);
    EXPECT_EQ(text, " mute.");
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0], " -> Error in data: linkless word mute\r\n");
}

TEST_F(SentenceWalk, ClauseWithoutAnOpenerEndsTheSentenceWithAFullStop) {
    // "_SEND" is reachable but the file gives "_SSTAR" no links.
    Load({{"_STAR", 0, {{"Selah", 4}}}, {"Selah", 4, {kToClauseEnd}}});
    std::string text;
    EXPECT_EQ(m_words.GenerateSentence(text), End::DataError);
    EXPECT_EQ(text, " Selah.");
    ASSERT_EQ(m_messages.Messages().size(), 1u);
    EXPECT_EQ(m_messages.Messages()[0], " -> Error in data: linkless word _SSTAR\r\n");
}

TEST_F(SentenceWalk, ModelThatNeverEndsIsCutAtTheBound) {
    // Every word leads back into the loop; "_END" is never reached.
    Load({
        {"_STAR", 0, {{"round", 4}}},
        {"round", 4, {{"and", 5}, kToClauseEnd}},
        {"and", 5, {{"round", 4}}},
        {"_SSTAR", 2, {{"round", 4}}},
    });
    for (const std::size_t bound :
         {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{100}, std::size_t{4096}}) {
        std::string text = "xyz";
        EXPECT_EQ(m_words.GenerateSentence(text, bound), End::Cut);
        ASSERT_LE(text.size() - 3, bound);
        EXPECT_EQ(text.back(), '.');
        EXPECT_GE(text.size() - 3 + 12, bound) << "stops only when the next word cannot fit";
    }
    std::string text;
    EXPECT_EQ(m_words.GenerateSentence(text, 0), End::Cut);
    EXPECT_EQ(text, "");
    // Without a bound of its own the walk still stops.
    text.clear();
    EXPECT_EQ(m_words.GenerateSentence(text, std::string::npos), End::Cut);
    EXPECT_LE(text.size(), CWordDataArray::kMaxSentenceBytes);
    EXPECT_FALSE(m_messages.Messages().empty());
    EXPECT_EQ(m_messages.Messages().back().rfind(" -> Sentence cut at ", 0), 0u);
}

TEST_F(SentenceWalk, HeavyWordsReachEveryFollower) {
    // Total weight 60,001: beyond what one 15-bit draw covers, the last link sits past 32,767.
    Load({
        {"_STAR", 0, {{"heavy", 4, 30000}, {"light", 5, 30000}, {"rare", 6, 1}}},
        {"heavy", 4, {kToEnd}},
        {"light", 5, {kToEnd}},
        {"rare", 6, {kToEnd}},
    });
    KSSrand(11);
    std::map<std::string, int> seen;
    for (int i = 0; i < 4000; ++i) {
        std::string text;
        m_words.GenerateSentence(text);
        ++seen[text];
    }
    EXPECT_GT(seen[" heavy."], 1600);
    EXPECT_GT(seen[" light."], 1600);
    EXPECT_LT(seen[" rare."], 20);
}

TEST(WordModelRandomInput, DamagedModelsNeverCrashOrRunAway) {
    // A small valid model, then seeded random damage: flipped bytes, cut tails, patched
    // counts and ids. Every load either fails and leaves the markers alone, or succeeds and
    // gives a model whose walks stay within their bound.
    const std::string valid = ModelBytes({
        {"_STAR", 0, {{"In", 4, 3}, {"And", 5, 2}}},
        {"In", 4, {{"the", 6, 2}, kToClauseEnd}},
        {"And", 5, {{"the", 6}}},
        {"the", 6, {{"beginning", 7}, {"earth", 8}}},
        {"beginning", 7, {kToEnd, kToClauseEnd}},
        {"earth", 8, {kToEnd, {"the", 6}}},
        {"_SSTAR", 2, {{"And", 5}, {"the", 6}}},
    });
    TempDir folder;
    std::mt19937 random(20240611);
    int loaded = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = valid;
        const int edits = 1 + static_cast<int>(random() % 6);
        for (int e = 0; e < edits && bytes.size() > 12; ++e) {
            const std::size_t at = 12 + random() % (bytes.size() - 12);
            switch (random() % 4) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes.resize(at);
                break;
            case 2:
                if (at + 4 <= bytes.size()) {
                    const std::uint32_t value = random();
                    std::memcpy(&bytes[at], &value, 4);
                }
                break;
            default:
                bytes.insert(at, 1 + random() % 30, static_cast<char>(random()));
                break;
            }
        }
        CRecordingSubscriber messages;
        CWordDataArray words(&messages);
        if (LoadBytes(words, folder, bytes) != 0) {
            EXPECT_EQ(words.WordCount(), 4u);
            continue;
        }
        ++loaded;
        KSSrand(static_cast<std::uint32_t>(round));
        for (int s = 0; s < 20; ++s) {
            std::string text;
            words.GenerateSentence(text, 300);
            EXPECT_LE(text.size(), 300u);
        }
    }
    EXPECT_GT(loaded, 20) << "the damage should leave some files loadable";
}
