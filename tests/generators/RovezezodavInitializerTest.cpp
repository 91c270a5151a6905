// The word model's initializer and the built-in model it writes.

#include "engine/Randomizer.h"
#include "generators/KSRovezezodavInitializer.h"
#include "generators/WordDataLoader.h"
#include "support/KSLogger.h"
#include "support/KSRes.h"
#include "tests/generators/WordModelFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

namespace {

class CRecordingOutput : public IOutput {
public:
    void Write(std::u16string_view text, bool) override { WriteA(Utf16ToUtf8(text)); }
    void WriteA(std::string_view text) override {
        std::lock_guard lock(m_mutex);
        m_lines.emplace_back(text);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

std::string Tagged(std::string_view message) {
    return std::string(CKSRovezezodavInitializer::kTag) + std::string(message);
}

std::string BuiltInBytes() {
    CKSRovezezodavInitializer::RegisterBuiltInModel();
    CKSRes resource;
    if (!resource.Load(CKSRovezezodavInitializer::kBuiltInModelResource)) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(resource.Bytes().data()), resource.Size());
}

// Counts the writes and can put other data in place of the built-in model.
class CCountingInitializer : public CKSRovezezodavInitializer {
public:
    using CKSRovezezodavInitializer::CKSRovezezodavInitializer;
    std::atomic<int> writes{0};
    std::string replacement; // empty: the real built-in model

protected:
    bool WriteBuiltInModel(const CKSString& path) override {
        ++writes;
        if (replacement.empty()) {
            return CKSRovezezodavInitializer::WriteBuiltInModel(path);
        }
        std::filesystem::create_directories(std::filesystem::path(path.ToUtf8()).parent_path());
        WriteFileBytes(path.ToUtf8(), replacement);
        return true;
    }
};

class RovezezodavInitializer : public ::testing::Test {
protected:
    CKSString DataPath() const { return CKSString::FromUtf8(m_path); }
    void Attach(CKSRovezezodavInitializer& initializer) { initializer.Logger().SetOutput(&m_output); }

    TempDir m_folder;
    std::string m_path = m_folder.File("kestrune/rovezezodav.dat");
    CRecordingOutput m_output;
};

const std::string kSmallModel =
    ModelBytes({{"_STAR", 0, {{"Fare", 4}}}, {"Fare", 4, {{"well", 5}}}, {"well", 5, {kToEnd}}});

} // namespace

TEST_F(RovezezodavInitializer, MissingFileIsWrittenFromTheBuiltInModelAndLoaded) {
    const std::string builtIn = BuiltInBytes();
    ASSERT_FALSE(builtIn.empty()) << "resource 140 must be linked in";
    CCountingInitializer initializer(DataPath());
    Attach(initializer);
    EXPECT_FALSE(initializer.IsLoaded());
    EXPECT_TRUE(initializer.EnsureLoaded());
    EXPECT_TRUE(initializer.IsLoaded());
    EXPECT_EQ(initializer.GetStatus(), 0u);
    EXPECT_EQ(initializer.writes, 1);
    EXPECT_TRUE(ReadFileBytes(m_path) == builtIn);
    EXPECT_TRUE(m_output.Lines().empty());
    // Written in one step: nothing but the data file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.Path() / "kestrune"),
                            std::filesystem::directory_iterator()),
              1);
    // Loaded once: asking again neither writes nor loads.
    EXPECT_TRUE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.writes, 1);
    EXPECT_GT(initializer.Words().WordCount(), 1000u);
}

TEST_F(RovezezodavInitializer, FileThatIsNotADataFileIsReplaced) {
    const std::string builtIn = BuiltInBytes();
    std::string wrongMagic = kSmallModel;
    wrongMagic[3] = 0x0C;
    std::string wrongVersion = kSmallModel;
    wrongVersion[4] = 0x03;
    for (const std::string& bytes : {wrongMagic, wrongVersion, std::string("hi")}) {
        std::filesystem::create_directories(m_folder.Path() / "kestrune");
        WriteFileBytes(m_path, bytes);
        CKSRovezezodavInitializer initializer(DataPath());
        EXPECT_TRUE(initializer.EnsureLoaded());
        EXPECT_EQ(initializer.GetStatus(), 0u);
        EXPECT_TRUE(ReadFileBytes(m_path) == builtIn);
    }
}

TEST_F(RovezezodavInitializer, UsersDataFileIsLoadedAsItIs) {
    std::filesystem::create_directories(m_folder.Path() / "kestrune");
    WriteFileBytes(m_path, kSmallModel);
    CCountingInitializer initializer(DataPath());
    Attach(initializer);
    ASSERT_TRUE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.writes, 0);
    // The four markers, and the three records (that of "_STAR" gives its links to the marker).
    EXPECT_EQ(initializer.Words().WordCount(), 7u);
    EXPECT_EQ(m_output.Lines(), std::vector<std::string>{Tagged("Existing Rovezezodav data loaded.")});
    std::string text;
    initializer.Words().GenerateSentence(text);
    EXPECT_EQ(text, " Fare well.");
}

TEST_F(RovezezodavInitializer, DamagedFileWithAValidHeaderIsReportedAndKept) {
    std::filesystem::create_directories(m_folder.Path() / "kestrune");
    const std::string damaged = kSmallModel.substr(0, kSmallModel.size() - 7);
    WriteFileBytes(m_path, damaged);
    CCountingInitializer initializer(DataPath());
    Attach(initializer);
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), CKSRovezezodavInitializer::kStatusLoadFailed);
    // Tried again at the next readiness test, with the same outcome and no growth.
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), 17u);
    EXPECT_EQ(initializer.writes, 0);
    EXPECT_TRUE(ReadFileBytes(m_path) == damaged);
    EXPECT_EQ(initializer.Words().WordCount(), 4u);
    const std::string expected = Tagged("Error loading data file.");
    EXPECT_EQ(m_output.Lines(), (std::vector<std::string>{expected, expected}));
}

TEST_F(RovezezodavInitializer, UnwritableDataFileGivesStatusOne) {
    // The data file's folder would have to be made inside a regular file.
    WriteFileBytes(m_folder.File("blocker"), "x");
    CKSRovezezodavInitializer initializer(
        CKSString::FromUtf8(m_folder.File("blocker/kestrune/rovezezodav.dat")));
    Attach(initializer);
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), CKSRovezezodavInitializer::kStatusWriteFailed);
    EXPECT_FALSE(initializer.IsLoaded());
    EXPECT_EQ(m_output.Lines(), std::vector<std::string>{Tagged("Error creating data file.")});
}

TEST_F(RovezezodavInitializer, BuiltInModelThatFailsToLoadGivesStatusThreeUntilARetryWorks) {
    CCountingInitializer initializer(DataPath());
    Attach(initializer);
    // A valid header over a damaged body: the write succeeds, the load fails.
    initializer.replacement = kSmallModel.substr(0, 20);
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), CKSRovezezodavInitializer::kStatusBuiltInLoadFailed);
    EXPECT_EQ(m_output.Lines(), std::vector<std::string>{Tagged("Error loading data file.")});

    // The damaged file now passes the header check, so the retry loads it as the user's and
    // fails with 17; once it is gone the built-in model is written and loaded.
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), CKSRovezezodavInitializer::kStatusLoadFailed);
    std::filesystem::remove(m_path);
    initializer.replacement.clear();
    EXPECT_TRUE(initializer.EnsureLoaded());
    EXPECT_TRUE(initializer.IsLoaded());
    EXPECT_EQ(initializer.GetStatus(), 17u) << "a retry that writes the file leaves the status";
    EXPECT_TRUE(initializer.EnsureLoaded());
}

TEST_F(RovezezodavInitializer, ThreadsAskingAtOnceLoadTheModelOnce) {
    for (const bool fileExists : {false, true}) {
        if (fileExists) {
            std::filesystem::create_directories(m_folder.Path() / "kestrune");
            WriteFileBytes(m_path, kSmallModel);
        } else {
            std::filesystem::remove(m_path);
        }
        CCountingInitializer initializer(DataPath());
        CRecordingOutput output;
        initializer.Logger().SetOutput(&output);
        std::atomic<int> ready{0};
        std::atomic<int> loaded{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([&] {
                ++ready;
                while (ready.load() < 4) {
                    std::this_thread::yield();
                }
                if (initializer.EnsureLoaded()) {
                    ++loaded;
                }
                // Walking right after readiness, as the text generator does.
                KSSrand(3);
                std::string text;
                initializer.Words().GenerateSentence(text);
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(loaded, 4);
        EXPECT_EQ(initializer.writes, fileExists ? 0 : 1);
        EXPECT_EQ(output.Lines().size(), fileExists ? 1u : 0u);
    }
}

TEST(RovezezodavInstance, DataFileLivesInTheLocalApplicationDataFolder) {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(dataHome, nullptr);
    const std::filesystem::path expected = std::filesystem::path(dataHome) / "kestrune" / "rovezezodav.dat";
    EXPECT_EQ(CKSRovezezodavInitializer::DefaultDataPath().ToUtf8(), expected.string());
    CKSRovezezodavInitializer& instance = CKSRovezezodavInitializer::Instance();
    EXPECT_EQ(&instance, &CKSRovezezodavInitializer::Instance());
    ASSERT_TRUE(instance.EnsureLoaded());
    EXPECT_EQ(instance.GetDataPath().ToUtf8(), expected.string());
    EXPECT_TRUE(std::filesystem::is_regular_file(expected));
}

TEST(BuiltInWordModel, HoldsAConsistentModel) {
    const std::string bytes = BuiltInBytes();
    ASSERT_FALSE(bytes.empty());
    TempDir folder;
    CWordDataArray words;
    ASSERT_EQ(LoadBytes(words, folder, bytes), 0);

    for (int marker = 0; marker < CWordDataArray::kMarkerCount; ++marker) {
        const auto which = static_cast<CWordDataArray::EMarker>(marker);
        const CWordData* entry = words.FindMarker(which);
        ASSERT_NE(entry, nullptr);
        const bool linkless = which == CWordDataArray::kEnd || which == CWordDataArray::kClauseEnd;
        EXPECT_EQ(entry->Links().empty(), linkless) << entry->TextView();
    }
    std::set<std::int64_t> ids;
    std::size_t records = 0;
    words.ForEachWord([&](const CWordData& word) {
        if (word.Id() < CWordDataArray::kMarkerCount && words.FindByLink(word.Hash(), word.Id()) != &word) {
            return; // the record of a marker; its links went to the marker made at construction
        }
        ++records;
        EXPECT_TRUE(ids.insert(word.Id()).second) << "duplicate id " << word.Id();
        EXPECT_GT(word.Length(), 0u);
        EXPECT_LE(word.Length(), kWordTextBytes);
        EXPECT_EQ(word.TextView().size(), word.Length());
        const bool isEnd =
            words.IsMarker(word, CWordDataArray::kEnd) || words.IsMarker(word, CWordDataArray::kClauseEnd);
        EXPECT_EQ(word.Links().empty(), isEnd) << word.TextView();
        std::uint64_t total = 0;
        for (const SWordLink& link : word.Links()) {
            total += link.weight;
            const CWordData* target = words.FindByLink(link.hash, link.id);
            ASSERT_NE(target, nullptr) << word.TextView() << " -> id " << link.id;
            EXPECT_EQ(target->Hash(), link.hash);
        }
        EXPECT_EQ(word.TotalWeight(), total);
    });
    EXPECT_EQ(records, ids.size());
    EXPECT_GT(words.FindMarker(CWordDataArray::kStart)->Links().size(), 1000u);
    EXPECT_GT(words.FindMarker(CWordDataArray::kClauseStart)->Links().size(), 1000u);

    // The walk gives sentences in the expected shape.
    KSSrand(42);
    for (int i = 0; i < 300; ++i) {
        std::string text;
        ASSERT_EQ(words.GenerateSentence(text), CWordDataArray::ESentenceEnd::Complete) << text;
        EXPECT_EQ(text.front(), ' ');
        EXPECT_EQ(text.back(), '.');
        EXPECT_EQ(text.find(",,"), std::string::npos) << text;
        EXPECT_EQ(text.find("  "), std::string::npos) << text;
        EXPECT_EQ(text.find(",."), std::string::npos) << text;
    }
}

TEST(RovezezodavLogger, MessagesReachTheSinkAsUtf8) {
    CKSRovezezodavLogger logger;
    CRecordingOutput output;
    logger.SetOutput(&output);
    logger.Notify(" -> Error in data: linkless word Caf\xE9\x92s\r\n");
    EXPECT_EQ(output.Lines(),
              std::vector<std::string>{" -> Error in data: linkless word Caf\xC3\xA9\xE2\x80\x99s\r\n"});
}
