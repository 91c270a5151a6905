// Damage on the way to the disk: the stages between a writer and its file, the common classes,
// and hostile names.

#include "engine/FileDamage.h"
#include "engine/HostileNames.h"
#include "engine/KSFileDigest.h"
#include "engine/KSOutFile.h"
#include "engine/OutputStage.h"
#include "tests/common/GeneratorFixture.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

std::string Pattern(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(1 + i % 251);
    }
    return bytes;
}

// The file as it was before the changes, with each change undone: what a reader of the record
// can rebuild of the original from it.
std::string Undo(std::string damaged, const std::vector<CByteChange>& changes) {
    for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
        if (change->written.empty() && change->length != 0 && change->offset == damaged.size()) {
            damaged += change->original; // a cut: the record keeps what it took when short
        } else {
            damaged.replace(change->offset, change->written.size(), change->original);
        }
    }
    return damaged;
}

} // namespace

TEST(FileDamage, StagesHoldBackTheTailAndTheHashSeesTheDamagedFile) {
    TempDir dir;
    const CKSString path = CKSString::FromUtf8(dir.File("staged.bin"));
    CSeededStream random(7);
    std::vector<CByteChange> changes;
    std::uint64_t windowStart = 0;
    CTailDamageStage tail(
        [&](std::string& window, std::uint64_t start) {
            windowStart = start;
            changes = ApplyCommonDamage(damage::kFlip, window, start, 0, random);
        },
        1000);
    CKSFileDigest digest;
    CKSOutFile file;
    file.SetCapacity(256); // many flushes, and a write larger than the buffer
    ASSERT_TRUE(file.Create(path));
    digest.Reset();
    file.SetWriteTap(&digest);
    file.SetStages({&tail});
    const std::string head = Pattern(5000);
    file.Write(head.data(), head.size());
    ASSERT_TRUE(file.SkipForward(300)); // a hole becomes zeros written through the stages
    const std::string rest = Pattern(200);
    file.Write(rest.data(), rest.size());
    EXPECT_TRUE(file.Close());

    const std::string written = ReadFileBytes(path.ToUtf8());
    ASSERT_EQ(written.size(), 5500u);
    // Only the held last bytes (between one and two windows of them) were open to damage.
    EXPECT_GE(windowStart, 5500u - 2000u);
    ASSERT_FALSE(changes.empty());
    for (const CByteChange& change : changes) {
        EXPECT_GE(change.offset, windowStart);
        EXPECT_EQ(written.substr(change.offset, 1), change.written);
    }
    EXPECT_EQ(Undo(written, changes), head + std::string(300, '\0') + rest);

    // The hash taken on the way to the disk is the damaged file's.
    std::uint64_t size = 0;
    std::string tapped;
    std::string onDisk;
    ASSERT_TRUE(digest.Finish(size, tapped));
    ASSERT_TRUE(HashFileSha256(path, size, onDisk));
    EXPECT_EQ(tapped, onDisk);

    // A dropping stage leaves an empty file however much is written, and the file object is
    // free of stages for the next file.
    CDropStage drop;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(dir.File("empty.bin"))));
    file.SetStages({&drop});
    file.Write(head.data(), head.size());
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(dir.File("empty.bin")), "");
    EXPECT_EQ(drop.Dropped(), 5000u);
    EXPECT_EQ(drop.FirstBytes(), head.substr(0, CByteChange::kShortBytes));
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(dir.File("plain.bin"))));
    file.Write(rest.data(), rest.size());
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(dir.File("plain.bin")), rest);
}

TEST(FileDamage, CommonClassesStayPastTheHeaderAndRecordWhatTheyChanged) {
    const std::string original = Pattern(3000);
    for (std::uint64_t seed = 0; seed < 300; ++seed) {
        CSeededStream random(seed);
        // The window holds the file's bytes from offset 1000; the header ends at 1200.
        for (const std::string_view name : {damage::kTruncate, damage::kFlip, damage::kZero}) {
            std::string window = original;
            const std::vector<CByteChange> changes = ApplyCommonDamage(name, window, 1000, 1200, random);
            ASSERT_FALSE(changes.empty()) << name;
            for (const CByteChange& change : changes) {
                EXPECT_GE(change.offset, 1200u) << name << " seed " << seed;
            }
            if (name == damage::kTruncate) {
                ASSERT_EQ(changes.size(), 1u);
                EXPECT_EQ(window.size(), changes[0].offset - 1000);
                EXPECT_EQ(changes[0].length, original.size() - window.size());
                EXPECT_GE(changes[0].length, 1u);
            } else if (name == damage::kFlip) {
                EXPECT_LE(changes.size(), 3u);
                for (const CByteChange& change : changes) {
                    const auto before = static_cast<unsigned char>(change.original[0]);
                    const auto after = static_cast<unsigned char>(change.written[0]);
                    EXPECT_EQ(__builtin_popcount(before ^ after), 1);
                }
            } else {
                ASSERT_EQ(changes.size(), 1u);
                EXPECT_GE(changes[0].length, 8u);
                EXPECT_LE(changes[0].length, 512u);
                EXPECT_EQ(window.substr(changes[0].offset - 1000, changes[0].length),
                          std::string(changes[0].length, '\0'));
            }
        }
    }
    // Empty takes everything, and a file that is only header still gets its damage at its end.
    CSeededStream random(1);
    std::string window = original;
    EXPECT_EQ(ApplyCommonDamage(damage::kEmpty, window, 0, 0, random)[0].length, 3000u);
    EXPECT_TRUE(window.empty());
    std::string small = "abc";
    const auto cut = ApplyCommonDamage(damage::kTruncate, small, 0, 100, random);
    EXPECT_EQ(small, "ab");
    EXPECT_EQ(cut[0].offset, 2u);
}

TEST(FileDamage, HostileNamesAreUniqueAndHostileInTheirOwnWay) {
    const CNameParts parts{CKSString(u"fk"), CKSString(u"txt"), CKSString(u"txt"), false, 12345};
    for (const CNameStyleInfo& info : NameStyles()) {
        const CHostileNames names(info.style);
        std::set<std::string> seen;
        for (std::uint32_t index = 0; index < 64; ++index) {
            CNameRecord record;
            const std::string name = names.Name(parts, index, names.FirstNumber(index), record).ToUtf8();
            EXPECT_TRUE(seen.insert(name).second) << name;
            EXPECT_EQ(record.style.empty(), info.style == ENameStyle::Plain) << name;
            switch (info.style) {
            case ENameStyle::Spaces:
                EXPECT_TRUE(name.front() == ' ' && name.back() == ' ' && name.find("fk txt") == 1) << name;
                break;
            case ENameStyle::Dash:
                EXPECT_EQ(name.front(), '-');
                break;
            case ENameStyle::Long:
                EXPECT_EQ(name.size(), 255u);
                EXPECT_EQ(name.substr(name.size() - 4), ".txt");
                break;
            default:
                break;
            }
        }
        EXPECT_EQ(ParseNameStyle(info.key), info.style);
    }
    // Case pairs differ only in case; the unicode names hold one word in two normal forms.
    const CHostileNames caseNames(ENameStyle::Case);
    CNameRecord record;
    const std::string lower = caseNames.Name(parts, 6, caseNames.FirstNumber(6), record).ToUtf8();
    const std::string upper = caseNames.Name(parts, 7, caseNames.FirstNumber(7), record).ToUtf8();
    EXPECT_EQ(lower, "fktxt12345_3.txt");
    EXPECT_EQ(upper, "FKTXT12345_3.txt");
    const CHostileNames unicode(ENameStyle::Unicode);
    EXPECT_EQ(unicode.Name(parts, 0, 0, record).ToUtf8(), "fkcaf\xC3\xA9txt12345_0.txt");
    EXPECT_EQ(unicode.Name(parts, 1, 1, record).ToUtf8(), "fkcafe\xCC\x81txt12345_1.txt");
    const std::string deep = CHostileNames(ENameStyle::Deep).Subfolder().ToUtf8();
    EXPECT_EQ(std::count(deep.begin(), deep.end(), '/'), 63);
    EXPECT_EQ(deep.substr(0, 8), "d01/d02/");
    EXPECT_FALSE(ParseNameStyle(u"weird"));
    EXPECT_EQ(ParseNameStyle(u""), ENameStyle::Plain);
}

TEST(FileDamage, AGeneratorGivesHostileNamesWithoutReplacingAnyFile) {
    GeneratorFixture fixture;
    // The first name of the case pairs is taken already: that file is kept, and the pair's lower
    // name moves on to the next number.
    WriteFileBytes(fixture.Dir().File("fktxt0.txt"), "keep");
    auto generator = fixture.Make(u"txt");
    GeneratorFixture::Set(*generator, u"Files", u"6");
    GeneratorFixture::Set(*generator, u"SimpleName", u"1");
    GeneratorFixture::Set(*generator, u"Size", u"100");
    GeneratorFixture::Set(*generator, u"Names", u"case");
    generator->SetSeed(3);
    generator->Run();
    const std::set<std::string> files = fixture.Files();
    EXPECT_EQ(files.size(), 7u) << fixture.Output().All();
    EXPECT_EQ(fixture.Read("fktxt0.txt"), "keep");
    EXPECT_TRUE(files.count("FKTXT0.txt") && files.count("fktxt1.txt") && files.count("FKTXT1.txt"));

    auto deep = fixture.Make(u"bin");
    GeneratorFixture::Set(*deep, u"Names", u"deep");
    GeneratorFixture::Set(*deep, u"SimpleName", u"1");
    GeneratorFixture::Set(*deep, u"Prefix", u"deep");
    deep->Run();
    EXPECT_TRUE(std::filesystem::is_regular_file(
        fixture.Dir().Path() / CHostileNames(ENameStyle::Deep).Subfolder().ToUtf8() / "deepbin0.bin"))
        << fixture.Output().All();

    // An unknown style or share is refused with the key named, and nothing is generated.
    auto refused = fixture.Make(u"txt");
    GeneratorFixture::Set(*refused, u"Names", u"shouting");
    GeneratorFixture::Set(*refused, u"Prefix", u"refused");
    refused->Run();
    EXPECT_TRUE(fixture.Output().Contains("Names=shouting: not a style of names")) << fixture.Output().All();
    auto share = fixture.Make(u"txt");
    GeneratorFixture::Set(*share, u"DamageShare", u"101");
    GeneratorFixture::Set(*share, u"Prefix", u"refused");
    share->Run();
    EXPECT_TRUE(fixture.Output().Contains("DamageShare=101: a percentage from 0 to 100"));
    for (const std::string& name : fixture.Files()) {
        EXPECT_EQ(name.rfind("refused", 0), std::string::npos) << name;
    }
}
