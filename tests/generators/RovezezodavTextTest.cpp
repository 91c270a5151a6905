#include "generators/KSRovezezodavInitializer.h"
#include "generators/KSTextFileGenerator.h"
#include "tests/common/GeneratorFixture.h"
#include "tests/generators/WordModelFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The process-wide model is loaded once per process, so a test that puts its own model (or a
// damaged file) in place must be the first to ask for it. ctest runs every test in a process of
// its own; run on their own, these tests say so instead of failing on another test's model.
::testing::AssertionResult ModelNotLoadedYet() {
    if (CKSRovezezodavInitializer::Instance().IsLoaded()) {
        return ::testing::AssertionFailure()
               << "the process-wide model is already loaded: run this test in a process of its own "
                  "(ctest does, or --gtest_filter)";
    }
    return ::testing::AssertionSuccess();
}

// Puts a model where the process-wide initializer looks first, so text generators use it.
void InstallModel(const std::vector<SWordSpec>& words) {
    const std::string path = CKSRovezezodavInitializer::DefaultDataPath().ToUtf8();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFileBytes(path, ModelBytes(words));
}

std::string MakeProse(GeneratorFixture& fixture, std::u16string_view size, std::uint32_t seed = 3,
                      std::u16string_view lineLength = u"60,90") {
    auto generator = fixture.Make(u"txt");
    GeneratorFixture::Set(*generator, u"TextType", u"4");
    GeneratorFixture::Set(*generator, u"Size", size);
    GeneratorFixture::Set(*generator, u"LineLength", lineLength);
    generator->SetSeed(seed);
    generator->Run();
    const auto files = fixture.Files();
    EXPECT_EQ(files.size(), 1u) << fixture.Output().All();
    return files.empty() ? std::string() : fixture.Read(*files.begin());
}

} // namespace

TEST(RovezezodavText, SentencesStartUpperCaseAndFollowTheModel) {
    ASSERT_TRUE(ModelNotLoadedYet());
    InstallModel({{"_STAR", 0, {{"alpha", 4}}},
                  {"_END", 1, {}},
                  {"_SSTAR", 2, {{"gamma", 6}}},
                  {"_SEND", 3, {}},
                  {"alpha", 4, {{"beta", 5}}},
                  {"beta", 5, {kToClauseEnd}},
                  {"gamma", 6, {kToEnd}}});
    GeneratorFixture fixture;
    const std::string text = MakeProse(fixture, u"4000");
    ASSERT_FALSE(text.empty());
    // The only sentence this model has, capitalised, after three spaces or one.
    EXPECT_NE(text.find("   Alpha beta, gamma."), std::string::npos) << text.substr(0, 200);
    EXPECT_EQ(text.find("alpha"), std::string::npos) << "a sentence opened in lower case";
    EXPECT_LE(text.size(), 4000u);
    std::string stripped = text;
    for (const std::string_view piece : {"Alpha beta, gamma.", "\r\n", " "}) {
        for (std::size_t at; (at = stripped.find(piece)) != std::string::npos;) {
            stripped.erase(at, piece.size());
        }
    }
    EXPECT_TRUE(stripped.empty()) << "unexpected text: " << stripped.substr(0, 80);
}

TEST(RovezezodavText, AModelThatNeverEndsStillGivesFittingSentences) {
    ASSERT_TRUE(ModelNotLoadedYet());
    // "loop" only ever leads to itself: without a bound the walk would never return.
    InstallModel({{"_STAR", 0, {{"loop", 4}}},
                  {"_END", 1, {}},
                  {"_SSTAR", 2, {{"loop", 4}}},
                  {"_SEND", 3, {}},
                  {"loop", 4, {{"loop", 4}}}});
    GeneratorFixture fixture;
    const std::string text = MakeProse(fixture, u"3000");
    EXPECT_LE(text.size(), 3000u);
    EXPECT_NE(text.find(" Loop loop"), std::string::npos) << text.substr(0, 200);
}

TEST(RovezezodavText, BuiltInModelNeverPassesTheLimit) {
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        GeneratorFixture fixture;
        const std::string text = MakeProse(fixture, u"200,6000", seed);
        EXPECT_LE(text.size(), 6000u) << seed;
        EXPECT_GE(text.size(), 200u) << seed;
    }
}

TEST(RovezezodavText, LessThanASentenceOfRoomGivesLineEndingsAlone) {
    GeneratorFixture fixture;
    const std::string text = MakeProse(fixture, u"100");
    ASSERT_FALSE(text.empty());
    EXPECT_LE(text.size(), 100u);
    for (std::size_t i = 0; i < text.size(); ++i) {
        ASSERT_EQ(text[i], i % 2 == 0 ? '\r' : '\n') << i;
    }
}

TEST(RovezezodavText, AMissingModelSkipsTheFileWithItsMessage) {
    ASSERT_TRUE(ModelNotLoadedYet());
    const std::string path = CKSRovezezodavInitializer::DefaultDataPath().ToUtf8();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    // A file with a valid header and a damaged body is used as it is and fails to load.
    std::string bytes = ModelBytes({{"_STAR", 0, {{"word", 4}}}, {"word", 4, {kToEnd}}});
    bytes.resize(bytes.size() - 7);
    WriteFileBytes(path, bytes);
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"txt");
    GeneratorFixture::Set(*generator, u"TextType", u"4");
    generator->Run();
    EXPECT_TRUE(fixture.Output().Contains("Error generating data for file (0)")) << fixture.Output().All();
    EXPECT_TRUE(fixture.Output().Contains("Could not find or initialize rovezezodav data."));
}
