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
#include <span>
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

// Counts the reads of the built-in model and can put other data in its place.
class CCountingInitializer : public CKSRovezezodavInitializer {
public:
    using CKSRovezezodavInitializer::CKSRovezezodavInitializer;
    std::atomic<int> builtInReads{0};
    std::string replacement; // empty: the real built-in model

protected:
    std::span<const std::byte> BuiltInModelBytes() override {
        ++builtInReads;
        if (replacement.empty()) {
            return CKSRovezezodavInitializer::BuiltInModelBytes();
        }
        return std::as_bytes(std::span(replacement.data(), replacement.size()));
    }
};

class RovezezodavInitializer : public ::testing::Test {
protected:
    CKSString DataPath() const { return CKSString::FromUtf8(m_path); }
    void Attach(CKSRovezezodavInitializer& initializer) { initializer.Logger().SetOutput(&m_output); }
    void PlaceDataFile(const std::string& bytes) {
        std::filesystem::create_directories(m_folder.Path() / "kestrune");
        WriteFileBytes(m_path, bytes);
    }

    TempDir m_folder;
    std::string m_path = m_folder.File("kestrune/rovezezodav.dat");
    CRecordingOutput m_output;
};

const std::string kSmallModel =
    ModelBytes({{"_STAR", 0, {{"Fare", 4}}}, {"Fare", 4, {{"well", 5}}}, {"well", 5, {kToEnd}}});

} // namespace

TEST_F(RovezezodavInitializer, WithoutADataFileTheBuiltInModelIsReadFromMemoryAndNothingIsWritten) {
    // A data folder that can exist, and one that cannot (its parent is a regular file, as in a
    // home that cannot be written): neither gets a copy, neither is a reason for a notice.
    WriteFileBytes(m_folder.File("blocker"), "x");
    for (const std::string& path : {m_path, m_folder.File("blocker/kestrune/rovezezodav.dat")}) {
        CCountingInitializer initializer(CKSString::FromUtf8(path));
        Attach(initializer);
        EXPECT_FALSE(initializer.IsLoaded());
        ASSERT_TRUE(initializer.EnsureLoaded()) << path;
        EXPECT_EQ(initializer.GetStatus(), 0u);
        EXPECT_EQ(initializer.builtInReads, 1);
        EXPECT_GT(initializer.Words().WordCount(), 1000u);
        EXPECT_EQ(initializer.TakeNotice(), "");
        EXPECT_EQ(initializer.Problem(), "");
        // Loaded once: asking again reads nothing.
        EXPECT_TRUE(initializer.EnsureLoaded());
        EXPECT_EQ(initializer.builtInReads, 1);
    }
    EXPECT_FALSE(std::filesystem::exists(m_folder.Path() / "kestrune"));
    EXPECT_TRUE(m_output.Lines().empty());
}

TEST_F(RovezezodavInitializer, AFileThatIsNoDataFileIsKeptAndPassedOverWithOneNotice) {
    std::string wrongMagic = kSmallModel;
    wrongMagic[3] = 0x0C;
    std::string wrongVersion = kSmallModel;
    wrongVersion[4] = 0x03;
    for (const std::string& bytes : {wrongMagic, wrongVersion, std::string("hi")}) {
        PlaceDataFile(bytes);
        CCountingInitializer initializer(DataPath());
        ASSERT_TRUE(initializer.EnsureLoaded());
        EXPECT_EQ(initializer.GetStatus(), 0u);
        EXPECT_EQ(initializer.builtInReads, 1);
        EXPECT_EQ(ReadFileBytes(m_path), bytes);
        EXPECT_EQ(
            initializer.TakeNotice(),
            m_path + " is not a word model data file; the word model built into the program is used instead");
        EXPECT_EQ(initializer.TakeNotice(), "") << "said once";
    }
    // A folder where the file should be cannot be read: the reason is said.
    std::filesystem::remove(m_path);
    std::filesystem::create_directories(m_path);
    CCountingInitializer initializer(DataPath());
    ASSERT_TRUE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.TakeNotice(),
              "cannot read " + m_path +
                  ": Is a directory; the word model built into the program is used instead");
}

TEST_F(RovezezodavInitializer, UsersDataFileIsLoadedAsItIs) {
    PlaceDataFile(kSmallModel);
    CCountingInitializer initializer(DataPath());
    Attach(initializer);
    ASSERT_TRUE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.builtInReads, 0);
    // The four markers, and the three records (that of "_STAR" gives its links to the marker).
    EXPECT_EQ(initializer.Words().WordCount(), 7u);
    EXPECT_EQ(m_output.Lines(), std::vector<std::string>{Tagged("Existing Rovezezodav data loaded.")});
    EXPECT_EQ(initializer.TakeNotice(), "");
    std::string text;
    initializer.Words().GenerateSentence(text);
    EXPECT_EQ(text, " Fare well.");
}

TEST_F(RovezezodavInitializer, DamagedFileWithAValidHeaderIsReportedAndKept) {
    const std::string damaged = kSmallModel.substr(0, kSmallModel.size() - 7);
    PlaceDataFile(damaged);
    CCountingInitializer initializer(DataPath());
    Attach(initializer);
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), CKSRovezezodavInitializer::kStatusLoadFailed);
    EXPECT_EQ(initializer.Problem(), "The data file " + m_path + " could not be loaded (it is damaged).");
    // Tried again at the next readiness test, with the same outcome and no growth.
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), 17u);
    EXPECT_EQ(initializer.builtInReads, 0);
    EXPECT_TRUE(ReadFileBytes(m_path) == damaged);
    EXPECT_EQ(initializer.Words().WordCount(), 4u);
    const std::string expected = Tagged("Error loading data file.");
    EXPECT_EQ(m_output.Lines(), (std::vector<std::string>{expected, expected}));
}

TEST_F(RovezezodavInitializer, BuiltInModelThatFailsToLoadGivesStatusThreeUntilARetryWorks) {
    CCountingInitializer initializer(DataPath());
    Attach(initializer);
    // A valid header over a damaged body.
    initializer.replacement = kSmallModel.substr(0, 20);
    EXPECT_FALSE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.GetStatus(), CKSRovezezodavInitializer::kStatusBuiltInLoadFailed);
    EXPECT_EQ(initializer.Problem(), "The built-in word model is damaged.");
    EXPECT_EQ(m_output.Lines(), std::vector<std::string>{Tagged("Error loading data file.")});
    EXPECT_EQ(initializer.Words().WordCount(), 4u);

    initializer.replacement.clear();
    EXPECT_TRUE(initializer.EnsureLoaded());
    EXPECT_TRUE(initializer.IsLoaded());
    EXPECT_EQ(initializer.GetStatus(), 3u) << "a retry that succeeds leaves the status";
    EXPECT_EQ(initializer.Problem(), "");
    EXPECT_TRUE(initializer.EnsureLoaded());
    EXPECT_EQ(initializer.builtInReads, 2);
}

TEST_F(RovezezodavInitializer, ThreadsAskingAtOnceLoadTheModelOnce) {
    for (const bool fileExists : {false, true}) {
        if (fileExists) {
            PlaceDataFile(kSmallModel);
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
        EXPECT_EQ(initializer.builtInReads, fileExists ? 0 : 1);
        EXPECT_EQ(output.Lines().size(), fileExists ? 1u : 0u);
    }
}

TEST(RovezezodavInstance, DataFileLivesInTheLocalApplicationDataFolderAndIsNotMade) {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(dataHome, nullptr);
    const std::filesystem::path expected = std::filesystem::path(dataHome) / "kestrune" / "rovezezodav.dat";
    EXPECT_EQ(CKSRovezezodavInitializer::DefaultDataPath().ToUtf8(), expected.string());
    CKSRovezezodavInitializer& instance = CKSRovezezodavInitializer::Instance();
    EXPECT_EQ(&instance, &CKSRovezezodavInitializer::Instance());
    ASSERT_TRUE(instance.EnsureLoaded());
    EXPECT_EQ(instance.GetDataPath().ToUtf8(), expected.string());
    EXPECT_FALSE(std::filesystem::exists(expected));
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
