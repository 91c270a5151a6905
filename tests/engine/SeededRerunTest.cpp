// A seeded run into a folder that already holds some of its batch: what it keeps, what it makes
// again, and what it never touches.

#include "engine/KSBatchManifest.h"
#include "engine/SeededBatchFiles.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kSeed = 5;

// A generator of the definition "d" (binary files of 3,000 bytes with simple names), set up as a
// seeded batch sets it up.
std::unique_ptr<CKSFileGenerator> MakeSeeded(GeneratorFixture& fixture, CSeededBatchFiles& files,
                                             std::u16string_view count) {
    auto generator = fixture.Make(u"bin");
    GeneratorFixture::Set(*generator, u"Files", count);
    GeneratorFixture::Set(*generator, u"Size", u"3000");
    GeneratorFixture::Set(*generator, u"SimpleName", u"1");
    generator->SetSeed(kSeed);
    generator->SetSeededBatchFiles(&files, CKSString(u"d"));
    return generator;
}

// One run of four files, as one batch makes it.
void RunSeeded(GeneratorFixture& fixture) {
    CSeededBatchFiles files;
    MakeSeeded(fixture, files, u"4")->Run();
}

std::map<std::string, std::string> Contents(const GeneratorFixture& fixture) {
    std::map<std::string, std::string> contents;
    for (const std::string& name : fixture.Files()) {
        contents[name] = fixture.Read(name);
    }
    return contents;
}

} // namespace

TEST(SeededRerun, FilesOfTheBatchAreKeptOrCompletedAndAStrangersFileIsNeverTouched) {
    GeneratorFixture fixture;
    RunSeeded(fixture);
    const std::map<std::string, std::string> batch = Contents(fixture);
    ASSERT_EQ(batch.size(), 4u) << fixture.Output().All();

    // A run killed mid-file leaves a file cut short, or empty when it died before the first
    // write; one file was deleted; another program wrote a file of its own at one of the names.
    fs::resize_file(fixture.Dir().File("fkbin1.bin"), 100);
    fs::resize_file(fixture.Dir().File("fkbin2.bin"), 0);
    fs::remove(fixture.Dir().File("fkbin3.bin"));
    WriteFileBytes(fixture.Dir().File("fkbin0.bin"), "somebody else's");
    fixture.Output().Clear();
    RunSeeded(fixture);
    std::map<std::string, std::string> after = Contents(fixture);
    EXPECT_EQ(after.at("fkbin0.bin"), "somebody else's");
    EXPECT_TRUE(
        fixture.Output().Contains(fixture.Dir().File("fkbin0.bin") +
                                  " is in the way: this batch did not make it, and it is left as it is"))
        << fixture.Output().All();
    // Its file took the next name, as in any run; the others are whole again, with no copy aside.
    after.erase("fkbin0.bin");
    ASSERT_EQ(after.size(), 4u) << fixture.Output().All();
    std::string moved;
    for (const auto& [name, bytes] : after) {
        if (batch.count(name) == 0) {
            moved = name;
            EXPECT_EQ(bytes, batch.at("fkbin0.bin"));
        } else {
            EXPECT_EQ(bytes, batch.at(name)) << name;
        }
    }
    EXPECT_FALSE(moved.empty());
    EXPECT_EQ(fixture.Output().Count("Completed "), 2) << fixture.Output().All();

    // Once more: everything is found made and kept, nothing is added; the stranger is named again.
    const std::map<std::string, std::string> settled = Contents(fixture);
    fixture.Output().Clear();
    RunSeeded(fixture);
    EXPECT_EQ(Contents(fixture), settled);
    EXPECT_EQ(fixture.Output().Count("Kept "), 4) << fixture.Output().All();
    EXPECT_EQ(fixture.Output().Count(" is in the way"), 1);
}

TEST(SeededRerun, TheEarlierManifestTellsThisBatchsChangedFilesFromAnotherDefinitionsFiles) {
    GeneratorFixture fixture;
    const CKSString folder = CKSString::FromUtf8(fixture.Dir().Path().string());
    CKSBatchManifest manifest(folder, CManifestRun{});
    {
        CSeededBatchFiles files;
        auto generator = MakeSeeded(fixture, files, u"2");
        generator->SetManifest(&manifest, CKSString(u"d"));
        generator->Run();
    }
    // A file of another definition of the batch stands where this one's would go.
    manifest.AddFile(CKSString(u"other"), 0, CKSString::FromUtf8(fixture.Dir().File("fkbin2.bin")), 1,
                     std::string(64, 'a'));
    WriteFileBytes(fixture.Dir().File("fkbin2.bin"), "the other definition's");
    std::string error;
    ASSERT_TRUE(manifest.Write(false, error)) << error;
    const std::string first = fixture.Read("fkbin1.bin");
    // Changed since (not cut short): the manifest says it is this batch's file number 1.
    std::string changed = first;
    changed[0] = static_cast<char>(changed[0] ^ 1);
    WriteFileBytes(fixture.Dir().File("fkbin1.bin"), changed);

    fixture.Output().Clear();
    CSeededBatchFiles files;
    files.LoadEarlierManifest(CKSPathName(folder).Join(CKSBatchManifest::JsonFileName(CFileShard{})));
    MakeSeeded(fixture, files, u"3")->Run();
    EXPECT_EQ(fixture.Read("fkbin1.bin"), first) << fixture.Output().All();
    EXPECT_EQ(fixture.Read("fkbin2.bin"), "the other definition's");
    EXPECT_FALSE(fixture.Output().Contains("in the way")) << fixture.Output().All();
    // Files 0 to 2, the other definition's file, and the manifest pair.
    EXPECT_EQ(fixture.Files().size(), 6u);
}
