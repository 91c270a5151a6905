// A batch's manifest pair as written and as verify reads it: never through a link, never half
// written, and read as strictly as sha256sum reads a list.

#include "engine/KSBatchManifest.h"
#include "engine/KSFileDigest.h"
#include "engine/KSManifestVerifier.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

std::string Sha256Of(const std::string& path) {
    std::uint64_t size = 0;
    std::string hex;
    EXPECT_TRUE(HashFileSha256(CKSString::FromUtf8(path), size, hex)) << path;
    return hex;
}

// A batch of two files, one in a sub-folder, with its manifest pair written.
std::unique_ptr<CKSBatchManifest> WriteBatch(const TempDir& dir) {
    fs::create_directories(dir.Path() / "sub");
    WriteFileBytes(dir.File("a.bin"), "first file");
    WriteFileBytes(dir.File("sub/b.bin"), "second file");
    auto manifest =
        std::make_unique<CKSBatchManifest>(CKSString::FromUtf8(dir.Path().string()), CManifestRun{});
    for (const std::string name : {"a.bin", "sub/b.bin"}) {
        manifest->AddFile(CKSString(u"def"), 0, CKSString::FromUtf8(dir.File(name)),
                          ReadFileBytes(dir.File(name)).size(), Sha256Of(dir.File(name)));
    }
    return manifest;
}

std::vector<EVerifyOutcome> Outcomes(const CKSManifestVerifier& verifier) {
    std::vector<EVerifyOutcome> outcomes;
    for (const CVerifyResult& result : verifier.Verify(2)) {
        outcomes.push_back(result.outcome);
    }
    return outcomes;
}

} // namespace

TEST(BatchManifest, APairIsWrittenOverLinksNeverThroughThemOrNotAtAll) {
    TempDir dir;
    TempDir elsewhere;
    WriteFileBytes(elsewhere.File("victim"), "not yours");
    fs::create_directories(dir.Path());
    fs::create_symlink(elsewhere.File("victim"), dir.Path() / "fakemill.sha256");
    fs::create_symlink(elsewhere.File("victim"), dir.Path() / "fakemill-manifest.json");

    const auto manifest = WriteBatch(dir);
    std::string error;
    ASSERT_TRUE(manifest->Write(false, error)) << error;
    EXPECT_EQ(ReadFileBytes(elsewhere.File("victim")), "not yours");
    EXPECT_FALSE(fs::is_symlink(dir.Path() / "fakemill.sha256"));
    const std::string list = ReadFileBytes(dir.File("fakemill.sha256"));
    EXPECT_EQ(list, manifest->ChecksumText());
    // The record names the list written with it.
    const std::string json = ReadFileBytes(dir.File("fakemill-manifest.json"));
    EXPECT_NE(json.find("\"sha256\": \"" + Sha256Hex(list) + "\""), std::string::npos) << json;
    const std::set<std::string> expected = {"a.bin", "sub", "fakemill.sha256", "fakemill-manifest.json"};
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ(left, expected) << "no temporary file or lock is left";

    // A list that cannot be written whole replaces nothing: the earlier pair stays, the error
    // names the file and the reason, and nothing of the attempt is left.
    manifest->AddFile(CKSString(u"def"), 1, CKSString::FromUtf8(dir.File("a.bin")), 1, std::string(64, '0'));
    fs::create_directories(dir.Path() / ".fakemill-manifest.json.part" / "blocked");
    error.clear();
    EXPECT_FALSE(manifest->Write(true, error));
    EXPECT_NE(error.find("fakemill-manifest.json: "), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(dir.File("fakemill.sha256")), list);
    EXPECT_EQ(ReadFileBytes(dir.File("fakemill-manifest.json")), json);
    EXPECT_FALSE(fs::exists(dir.Path() / ".fakemill.sha256.part"));
}

TEST(ManifestVerifier, ABatchFolderIsCheckedAsAWholeAndAsStrictlyAsSha256sum) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteBatch(dir)->Write(false, error)) << error;
    {
        CKSManifestVerifier verifier;
        ASSERT_TRUE(verifier.Load(CKSString::FromUtf8(dir.Path().string()), error)) << error;
        EXPECT_EQ(verifier.Entries().size(), 2u) << "two manifests listing the same files, each once";
        EXPECT_EQ(Outcomes(verifier), std::vector<EVerifyOutcome>(2, EVerifyOutcome::Ok));
        EXPECT_TRUE(verifier.Disagreements().empty());
        EXPECT_TRUE(verifier.FindExtraFiles().empty());
    }
    // A file nobody listed, and a list changed behind the record's back.
    WriteFileBytes(dir.File("sub/stray"), "x");
    std::string list = ReadFileBytes(dir.File("fakemill.sha256"));
    const std::string bHash = Sha256Of(dir.File("sub/b.bin"));
    list.replace(list.find(bHash), 64, Sha256Of(dir.File("a.bin")));
    WriteFileBytes(dir.File("fakemill.sha256"), list);
    {
        CKSManifestVerifier verifier;
        ASSERT_TRUE(verifier.Load(CKSString::FromUtf8(dir.Path().string()), error)) << error;
        EXPECT_EQ(verifier.FindExtraFiles(), std::vector<std::string>{"sub/stray"});
        ASSERT_EQ(verifier.Disagreements().size(), 2u);
        const std::string said = verifier.Disagreements()[0] + "\n" + verifier.Disagreements()[1];
        EXPECT_NE(
            said.find("fakemill-manifest.json and fakemill.sha256 list sub/b.bin with a different SHA-256"),
            std::string::npos)
            << said;
        EXPECT_NE(
            said.find("fakemill.sha256 is not the checksum list fakemill-manifest.json was written with"),
            std::string::npos)
            << said;
    }

    // A list of the tools' own making with CR LF ends, and entries that leave the batch folder.
    TempDir other;
    fs::create_directories(other.Path() / "batch");
    WriteFileBytes(other.File("batch/in.bin"), "inside");
    WriteFileBytes(other.File("out.bin"), "outside");
    WriteFileBytes(other.File("out2.bin"), "outside");
    fs::create_symlink(other.Path(), other.Path() / "batch" / "link");
    const std::string outHash = Sha256Of(other.File("out.bin"));
    WriteFileBytes(other.File("batch/SUMS"),
                   Sha256Of(other.File("batch/in.bin")) + "  in.bin\r\n" + outHash + "  ../out.bin\r\n" +
                       outHash + "  " + other.File("out2.bin") + "\r\n" + outHash + "  link/out.bin\r\n");
    CKSManifestVerifier verifier;
    ASSERT_TRUE(verifier.Load(CKSString::FromUtf8(other.File("batch/SUMS")), error)) << error;
    EXPECT_EQ(Outcomes(verifier),
              (std::vector<EVerifyOutcome>{EVerifyOutcome::Ok, EVerifyOutcome::Outside,
                                           EVerifyOutcome::Outside, EVerifyOutcome::Outside}));
    EXPECT_TRUE(verifier.FindExtraFiles().empty()) << "a single list is checked on its own";
}
