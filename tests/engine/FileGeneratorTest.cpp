#include "engine/KSBatchManifest.h"
#include "engine/StopEvent.h"
#include "generators/KSBinFileGenerator.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

// The interval a seeded run draws: one draw for the file count of a 1..1 "Files", then the
// interval draw.
int IntervalForSeed(std::uint32_t seed, std::uint64_t filesMin, std::uint64_t filesMax) {
    KSSrand(seed);
    RandomInRange(filesMin, filesMax);
    return static_cast<int>(KSRand() % 191) + 1;
}

} // namespace

TEST(FileGenerator, SimpleNamesCountUpAndNeverReplaceExistingFiles) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"bin");
    GeneratorFixture::Set(*generator, u"Files", u"3");
    GeneratorFixture::Set(*generator, u"SimpleName", u"1");
    GeneratorFixture::Set(*generator, u"Size", u"100");
    WriteFileBytes(fixture.Dir().File("fkbin1.bin"), "precious");
    generator->SetSeed(7);
    generator->Run();

    const int interval = IntervalForSeed(7, 3, 3);
    EXPECT_EQ(fixture.Read("fkbin1.bin"), "precious");
    const std::set<std::string> expected = {"fkbin0.bin", "fkbin1.bin", "fkbin2.bin",
                                            "fkbin" + std::to_string(1 + interval) + ".bin"};
    EXPECT_EQ(fixture.Files(), expected);
    EXPECT_EQ(generator->GetInterval(), interval);
    EXPECT_EQ(fixture.Output().Count("generating 3 files"), 1) << fixture.Output().All();
}

TEST(FileGenerator, PrefixExtensionAndDiscriminatedNames) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"bin");
    generator->GetProperties().Get(u"Prefix").SetTextValue(u"");
    GeneratorFixture::Set(*generator, u"Extension", u"dat");
    GeneratorFixture::Set(*generator, u"Size", u"10");
    generator->Run();
    const std::set<std::string> files = fixture.Files();
    ASSERT_EQ(files.size(), 1u);
    const std::string name = *files.begin();
    // fkx, the type, the discriminator, "_0", and the extension.
    EXPECT_EQ(name.rfind("fkxbin", 0), 0u) << name;
    EXPECT_NE(name.find("_0.dat"), std::string::npos) << name;

    auto other = fixture.Make(u"bin");
    EXPECT_NE(other->GetDiscriminator(), generator->GetDiscriminator());
}

TEST(FileGenerator, FolderIsJoinedOrReplacesTheDestination) {
    GeneratorFixture fixture;
    auto relative = fixture.Make(u"bin");
    GeneratorFixture::Set(*relative, u"Folder", u"sub");
    EXPECT_TRUE(relative->SetOutputFolder(CKSString::FromUtf8(fixture.Dir().Path().string())));
    GeneratorFixture::Set(*relative, u"SimpleName", u"1");
    GeneratorFixture::Set(*relative, u"Size", u"10");
    relative->Run();
    EXPECT_TRUE(std::filesystem::exists(fixture.Dir().Path() / "sub" / "fkbin0.bin"));

    // Every missing level is made.
    auto deep = fixture.Make(u"bin");
    GeneratorFixture::Set(*deep, u"Folder", u"a/b/c");
    EXPECT_TRUE(deep->SetOutputFolder(CKSString::FromUtf8(fixture.Dir().Path().string())));
    GeneratorFixture::Set(*deep, u"SimpleName", u"1");
    GeneratorFixture::Set(*deep, u"Size", u"10");
    deep->Run();
    EXPECT_TRUE(std::filesystem::exists(fixture.Dir().Path() / "a" / "b" / "c" / "fkbin0.bin"))
        << fixture.Output().All();

    TempDir elsewhere;
    auto absolute = fixture.Make(u"bin");
    absolute->GetProperties().Get(u"Folder").SetTextValue(CKSString::FromUtf8(elsewhere.Path().string()));
    EXPECT_TRUE(absolute->SetOutputFolder(u"/somewhere/else"));
    EXPECT_EQ(absolute->GetOutputFolder().ToUtf8(), elsewhere.Path().string());

    auto none = fixture.Make(u"bin");
    EXPECT_FALSE(none->SetOutputFolder(u"/base"));
    EXPECT_EQ(none->GetOutputFolder().ToUtf8(), "/base");
}

TEST(FileGenerator, ARangeThatCannotBeDrawnFromMakesNothing) {
    // Drawn from, each of these would ask for billions of files, bytes, rows or pixels.
    const struct {
        std::u16string_view kind;
        std::u16string_view key;
        std::u16string_view value;
        std::string logged;
    } cases[] = {
        {u"bin", u"Files", u"5,2", "Files=5,2: the minimum 5 is above the maximum 2"},
        {u"bin", u"Size", u"10,5", "Size=10,5: the minimum 10 is above the maximum 5"},
        {u"bin", u"Sequence", u"9,1", "Sequence=9,1: the minimum 9 is above the maximum 1"},
        {u"csv", u"Rows", u"10,2", "Rows=10,2: the minimum 10 is above the maximum 2"},
        {u"txt", u"LineLength", u"90,60", "LineLength=90,60: the minimum 90 is above the maximum 60"},
        {u"img", u"Width", u"50,10", "Width=50,10: the minimum 50 is above the maximum 10"},
        {u"img", u"Elements", u"8,1", "Elements=8,1: the minimum 8 is above the maximum 1"},
    };
    for (const auto& test : cases) {
        GeneratorFixture fixture;
        auto generator = fixture.Make(test.kind);
        GeneratorFixture::Set(*generator, test.key, test.value);
        EXPECT_EQ(generator->Split(), nullptr);
        generator->Run();
        EXPECT_TRUE(fixture.Files().empty()) << test.logged;
        EXPECT_TRUE(fixture.Output().Contains("nothing generated: " + test.logged)) << fixture.Output().All();
    }
    CKSRange negative(-1, 10);
    EXPECT_EQ(negative.Problem(), u"the minimum -1 is below 0");
    EXPECT_TRUE(CKSRange(3, 3).Problem().empty());
}

TEST(FileGenerator, AChangeAfterTheChecksIsCheckedAgain) {
    // Found sound, then given a value that is not: the first answer must not be kept.
    GeneratorFixture fixture;
    auto sound = fixture.Make(u"bin");
    GeneratorFixture::Set(*sound, u"Size", u"10");
    EXPECT_TRUE(sound->IsSound());
    GeneratorFixture::Set(*sound, u"Damage", u"nonsense");
    EXPECT_EQ(sound->Split(), nullptr);
    sound->Run();
    EXPECT_TRUE(fixture.Files().empty());
    EXPECT_TRUE(fixture.Output().Contains("nothing generated: Damage=nonsense")) << fixture.Output().All();

    // Found unsound, then mended: it runs.
    auto mended = fixture.Make(u"bin");
    GeneratorFixture::Set(*mended, u"Files", u"5,2");
    EXPECT_FALSE(mended->IsSound());
    GeneratorFixture::Set(*mended, u"Files", u"2");
    GeneratorFixture::Set(*mended, u"Size", u"10");
    mended->Run();
    EXPECT_EQ(fixture.Files().size(), 2u) << fixture.Output().All();
}

TEST(FileGenerator, AfterTwoHundredFiftySixTakenNamesTheIndexIsSkipped) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"bin");
    GeneratorFixture::Set(*generator, u"SimpleName", u"1");
    GeneratorFixture::Set(*generator, u"Size", u"10");
    const int interval = IntervalForSeed(99, 1, 1);
    for (int n = 0; n < 256; ++n) {
        WriteFileBytes(fixture.Dir().File("fkbin" + std::to_string(n * interval) + ".bin"), "x");
    }
    generator->SetSeed(99);
    generator->Run();
    EXPECT_TRUE(fixture.Output().Contains("Tried maximum number of times to find new file (bin)"))
        << fixture.Output().All();
    EXPECT_TRUE(fixture.Output().Contains("Error generating data for file (0)"));
    EXPECT_EQ(fixture.Files().size(), 256u); // nothing new, nothing replaced
}

TEST(FileGenerator, ZeroFilesMakesNothing) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"bin");
    GeneratorFixture::Set(*generator, u"Files", u"0");
    generator->Run();
    EXPECT_TRUE(fixture.Files().empty());
    EXPECT_TRUE(fixture.Output().Contains("generating 0 files"));
}

TEST(FileGenerator, TheQuitEventEndsTheRunAfterTheCurrentFile) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"bin");
    GeneratorFixture::Set(*generator, u"Files", u"5");
    GeneratorFixture::Set(*generator, u"Size", u"10");
    generator->SetPace(60000);
    std::thread run([&] { generator->Run(); });
    while (fixture.Files().empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ApplicationQuitEvent().Set();
    run.join();
    ApplicationQuitEvent().Reset();
    EXPECT_EQ(fixture.Files().size(), 1u);
}

namespace {

// A binary generator on a device that is full when its file number failingFile (counted from 1)
// is first written; the parts a split makes are of the same kind, each counting its own files.
class FailingNthFile : public CKSBinFileGenerator {
public:
    FailingNthFile(CKSLogger* logger, int failingFile)
        : CKSBinFileGenerator(logger), m_failingFile(failingFile) {}
    std::unique_ptr<CKSFileGenerator> CreateSibling(CKSLogger* logger) override {
        return std::make_unique<FailingNthFile>(logger, m_failingFile);
    }
    bool OpenOutput(const CKSString& path) override {
        ++m_opened;
        return CKSBinFileGenerator::OpenOutput(path);
    }

protected:
    bool WriteToDescriptor(const void* data, std::size_t count, std::size_t& written) override {
        if (m_opened == m_failingFile && count > 0) {
            written = 0;
            errno = ENOSPC;
            return false;
        }
        return CKSBinFileGenerator::WriteToDescriptor(data, count, written);
    }

private:
    int m_failingFile;
    int m_opened = 0;
};

} // namespace

TEST(FileGenerator, AFatalWriteErrorEndsTheRunRemovesTheCutFileAndKeepsEarlierFiles) {
    GeneratorFixture fixture;
    FailingNthFile generator(&fixture.Logger(), 3);
    fixture.Prepare(generator, u"bin");
    GeneratorFixture::Set(generator, u"Files", u"5");
    GeneratorFixture::Set(generator, u"SimpleName", u"1");
    GeneratorFixture::Set(generator, u"Size", u"1000");
    generator.Run();
    EXPECT_EQ(fixture.Files(), (std::set<std::string>{"fkbin0.bin", "fkbin1.bin"}));
    EXPECT_EQ(fixture.Read("fkbin0.bin").size(), 1000u);
    EXPECT_EQ(fixture.Read("fkbin1.bin").size(), 1000u);
    EXPECT_TRUE(fixture.Output().Contains("bin generator: Fatal error generating data for file (2)"))
        << fixture.Output().All();
    EXPECT_TRUE(fixture.Output().Contains("Failed to write to file: 28"));
    // The file the failure cut short is gone, and the log names it and the reason in words.
    EXPECT_TRUE(fixture.Output().Contains("Removed unfinished file " + fixture.Dir().File("fkbin2.bin") +
                                          ": No space left on device"))
        << fixture.Output().All();
}

TEST(FileGenerator, SplitPartsRemoveAFileAWriteErrorCutShortAndTheManifestListsOnlyWholeOnes) {
    GeneratorFixture fixture;
    FailingNthFile generator(&fixture.Logger(), 2);
    fixture.Prepare(generator, u"bin");
    GeneratorFixture::Set(generator, u"Files", u"12");
    GeneratorFixture::Set(generator, u"SimpleName", u"1");
    GeneratorFixture::Set(generator, u"Size", u"1000");
    CKSBatchManifest manifest(CKSString::FromUtf8(fixture.Dir().Path().string()), CManifestRun{});
    generator.SetManifest(&manifest, CKSString(u"b"));
    std::unique_ptr<CKSFileGenerator> sibling = generator.Split();
    ASSERT_TRUE(sibling);
    std::thread other([&] { sibling->Run(); });
    generator.Run();
    other.join();

    // A part's second file fails and ends the definition for both parts: each made one whole
    // file at most, and the file the failure cut short is gone.
    const std::set<std::string> files = fixture.Files();
    EXPECT_GE(files.size(), 1u) << fixture.Output().All();
    EXPECT_LE(files.size(), 2u) << fixture.Output().All();
    for (const std::string& name : files) {
        EXPECT_EQ(fixture.Read(name).size(), 1000u) << name;
    }
    EXPECT_TRUE(fixture.Output().Contains("Removed unfinished file ")) << fixture.Output().All();
    EXPECT_TRUE(fixture.Output().Contains(": No space left on device")) << fixture.Output().All();
    // The manifest lists exactly the whole files, never a removed one.
    const std::vector<CManifestFile> listed = manifest.Files();
    std::set<std::string> listedNames;
    for (const CManifestFile& file : listed) {
        listedNames.insert(file.path);
        EXPECT_EQ(file.size, 1000u) << file.path;
        EXPECT_EQ(file.sha256.size(), 64u) << file.path;
    }
    EXPECT_EQ(listed.size(), files.size());
    EXPECT_EQ(listedNames, files);
}

namespace {

// A binary generator whose writes raise the stop: on the first block that goes out for file
// number stopFile, or (stopFile < 0) when the first file is closed whole.
class StoppingGenerator : public CKSBinFileGenerator {
public:
    StoppingGenerator(CKSLogger* logger, int stopFile) : CKSBinFileGenerator(logger), m_stopFile(stopFile) {}
    bool OpenOutput(const CKSString& path) override {
        ++m_opened;
        return CKSBinFileGenerator::OpenOutput(path);
    }
    void CloseOutput(const CKSString& path) override {
        if (m_stopFile < 0) {
            ApplicationStopEvent().Set();
        }
        CKSBinFileGenerator::CloseOutput(path);
    }

protected:
    bool WriteToDescriptor(const void* data, std::size_t count, std::size_t& written) override {
        if (m_opened == m_stopFile + 1) {
            ApplicationStopEvent().Set();
        }
        return CKSBinFileGenerator::WriteToDescriptor(data, count, written);
    }

private:
    int m_stopFile;
    int m_opened = 0;
};

} // namespace

TEST(FileGenerator, AStopMidFileRemovesThatFileKeepsFinishedOnesAndStartsNoOther) {
    for (const bool withCrc : {false, true}) {
        GeneratorFixture fixture;
        StoppingGenerator generator(&fixture.Logger(), 2);
        fixture.Prepare(generator, u"bin");
        GeneratorFixture::Set(generator, u"Files", u"5");
        GeneratorFixture::Set(generator, u"SimpleName", u"1");
        // Larger than the output buffer, so that a write goes out before the file is whole.
        GeneratorFixture::Set(generator, u"Size", u"3MB");
        GeneratorFixture::Set(generator, u"CRC", withCrc ? u"1" : u"0");
        generator.Run();
        ApplicationStopEvent().Reset();
        EXPECT_EQ(fixture.Files(), (std::set<std::string>{"fkbin0.bin", "fkbin1.bin"}))
            << fixture.Output().All();
        EXPECT_EQ(fixture.Read("fkbin1.bin").size(), withCrc ? 3145732u : 3145728u);
        EXPECT_TRUE(fixture.Output().Contains("Removed unfinished file " + fixture.Dir().File("fkbin2.bin") +
                                              ": stopped before it was finished"))
            << fixture.Output().All();
    }

    // A stop that comes once the content is whole does not cut the file short: it stays.
    GeneratorFixture fixture;
    StoppingGenerator generator(&fixture.Logger(), -1);
    fixture.Prepare(generator, u"bin");
    GeneratorFixture::Set(generator, u"Files", u"3");
    GeneratorFixture::Set(generator, u"SimpleName", u"1");
    GeneratorFixture::Set(generator, u"Size", u"100KB");
    generator.Run();
    ApplicationStopEvent().Reset();
    ASSERT_EQ(fixture.Files(), (std::set<std::string>{"fkbin0.bin"})) << fixture.Output().All();
    EXPECT_EQ(fixture.Read("fkbin0.bin").size(), 102400u);
    EXPECT_FALSE(fixture.Output().Contains("Removed"));
}

TEST(FileGenerator, TwoGeneratorsSharingSimpleNamesNeverOverwriteEachOther) {
    GeneratorFixture fixture;
    auto first = fixture.Make(u"bin");
    auto second = fixture.Make(u"bin");
    for (auto* generator : {first.get(), second.get()}) {
        GeneratorFixture::Set(*generator, u"Files", u"40");
        GeneratorFixture::Set(*generator, u"SimpleName", u"1");
        GeneratorFixture::Set(*generator, u"Size", u"3000");
        GeneratorFixture::Set(*generator, u"Sequence", u"100000");
    }
    std::thread a([&] { first->Run(); });
    std::thread b([&] { second->Run(); });
    a.join();
    b.join();
    const std::set<std::string> files = fixture.Files();
    EXPECT_EQ(files.size(), 80u);
    for (const std::string& name : files) {
        // Every file is whole and counts from 0: no file was written by both generators.
        const std::string bytes = fixture.Read(name);
        ASSERT_EQ(bytes.size(), 3000u) << name;
        EXPECT_EQ(bytes.substr(0, 8), std::string("\0\0\0\0\1\0\0\0", 8)) << name;
    }
}

TEST(FileGenerator, SplitSharesTheFilesWithSiblings) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"bin");
    GeneratorFixture::Set(*generator, u"Files", u"7");
    GeneratorFixture::Set(*generator, u"Size", u"4K");
    auto sibling = generator->Split();
    ASSERT_TRUE(sibling);
    EXPECT_EQ(generator->GetAssignedFiles(), 4u);
    EXPECT_EQ(sibling->GetAssignedFiles(), 3u);
    EXPECT_EQ(sibling->GetProperties().Get(u"Size").GetRangeValue(), CKSRange(4000, 4000));
    EXPECT_EQ(sibling->GetOutputFolder().ToUtf8(), generator->GetOutputFolder().ToUtf8());
    // A further split shares the same seven files among three parts.
    auto third = generator->Split();
    ASSERT_TRUE(third);
    EXPECT_EQ(generator->GetAssignedFiles() + sibling->GetAssignedFiles() + third->GetAssignedFiles(), 7u);
    EXPECT_EQ(third->GetAssignedFiles(), 2u);

    auto single = fixture.Make(u"bin");
    EXPECT_FALSE(single->Split()); // one file cannot be split
}

TEST(FileGenerator, MissingPropertiesAreReportedWithTheCount) {
    GeneratorFixture fixture;
    auto generator = fixture.Factory().CreateByKind(u"crc");
    ASSERT_TRUE(generator);
    EXPECT_EQ(generator->GetSizeMinimum(), 0);
    generator->SetLogger(&fixture.Logger());
    generator->ApplySizeProperty();
    // The common template: seven properties, and Damage, DamageShare and Names.
    EXPECT_TRUE(fixture.Output().Contains("Must have Size property! (not found out of 10)"))
        << fixture.Output().All();
}

TEST(FileShards, EveryFileOfTheBatchIsDealtOnceAndNoShardHoldsMoreThanOneAboveTheAverage) {
    // The bundled examples' shape: definitions of 1 to 3 files, sizes far apart.
    const std::vector<CDealtDefinition> definitions = {
        {3, 40000}, {1, 4096}, {1, 4096}, {1, 16 << 20}, {2, 20000}, {1, 5000}, {2, 10000}, {1, 8192},
        {1, 20000}, {1, 1},    {1, 1},    {3, 1},        {1, 1},     {1, 1},    {1, 1}};
    const std::vector<std::uint64_t> offsets = ShardOffsets(definitions);
    EXPECT_EQ(offsets[3], 0u) << "larger files are dealt first";
    for (const std::uint32_t shards : {1u, 3u, 8u, 25u}) {
        std::vector<std::uint32_t> counts(shards, 0);
        std::vector<std::uint64_t> bytes(shards, 0);
        for (std::size_t d = 0; d < definitions.size(); ++d) {
            std::vector<int> takenBy(definitions[d].files, 0);
            for (std::uint32_t shard = 0; shard < shards; ++shard) {
                CKSFileWork work(definitions[d].files, 1, CFileShard{shard, shards, offsets[d]});
                const std::uint32_t before = counts[shard];
                for (std::uint32_t index = 0; work.Take(index); ++counts[shard]) {
                    ASSERT_LT(index, definitions[d].files);
                    ++takenBy[index];
                    bytes[shard] += definitions[d].fileBytes;
                }
                EXPECT_EQ(work.CountInShard(), counts[shard] - before);
            }
            EXPECT_EQ(takenBy, std::vector<int>(definitions[d].files, 1))
                << "each file once, definition " << d;
        }
        // 21 files: no shard more than one above the average, nor one above another.
        EXPECT_LE(*std::max_element(counts.begin(), counts.end()) * shards, 21u + shards) << shards;
        EXPECT_LE(*std::max_element(counts.begin(), counts.end()) -
                      *std::min_element(counts.begin(), counts.end()),
                  1u);
        if (shards == 3) {
            // Up and down the shards: the one large file does not come with the next largest.
            EXPECT_LT(*std::max_element(bytes.begin(), bytes.end()), (16u << 20) + 40000u * 2);
        }
    }
    // The whole batch is one shard that takes every file in order.
    CKSFileWork whole(4, 1, CFileShard{});
    std::uint32_t index = 0;
    for (std::uint32_t expected = 0; expected < 4; ++expected) {
        ASSERT_TRUE(whole.Take(index));
        EXPECT_EQ(index, expected);
    }
    EXPECT_FALSE(whole.Take(index));
}
