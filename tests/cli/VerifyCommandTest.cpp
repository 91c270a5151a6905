// verify as a tester runs it beside sha256sum -c, and the reading commands on files that never end.

#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string Generated(const TempDir& dir) {
    const std::string config = dir.File("fakemill.ini");
    WriteFileBytes(config,
                   "[b]\nType=bin\nFiles=3\nSize=2K\nSimpleName=1\n[t]\nType=txt\nSize=1K\nFolder=sub\n");
    const std::string out = dir.File("out");
    EXPECT_EQ(RunCli({"--config", config, "generate", "--pace", "0", "--seed", "3", "--manifest", "-o", out,
                      "--all"})
                  .status,
              0);
    return out;
}

} // namespace

TEST(VerifyCommand, ABatchFolderFailsOnWhatNoManifestListsAndOnManifestsThatDisagree) {
    TempDir dir;
    const std::string out = Generated(dir);
    CliResult verify = RunCli({"verify", out});
    ASSERT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_EQ(verify.out, "4 files listed: 4 match, 0 changed, 0 missing\n");

    // A file nobody listed, as a rerun that added copies would leave: reported, and accepted
    // only when asked.
    WriteFileBytes(out + "/sub/copy.txt", "x");
    verify = RunCli({"verify", out});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(verify.out,
              "EXTRA   sub/copy.txt\n4 files listed: 4 match, 0 changed, 0 missing, 1 not listed\n");
    EXPECT_EQ(RunCli({"verify", "--ignore-extra", out}).status, 0);
    fs::remove(out + "/sub/copy.txt");

    // A checksum list changed behind the record's back is not trusted because the record exists.
    std::string list = ReadFileBytes(out + "/fakemill.sha256");
    list[0] = list[0] == '0' ? '1' : '0';
    WriteFileBytes(out + "/fakemill.sha256", list);
    verify = RunCli({"verify", out});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("DISAGREE fakemill.sha256 is not the checksum list fakemill-manifest.json was "
                              "written with\n"),
              std::string::npos)
        << verify.out;
    EXPECT_NE(verify.out.find(", 2 disagreements between manifests\n"), std::string::npos) << verify.out;
}

TEST(VerifyCommand, EntriesLeavingTheBatchFailAndWhatIsNoListIsRefusedAtOnce) {
    TempDir dir;
    const std::string out = Generated(dir);
    const std::string list = ReadFileBytes(out + "/fakemill.sha256");
    // Entries that lead out of the batch folder are failures, and are not opened.
    WriteFileBytes(dir.File("outside"), "outside");
    WriteFileBytes(dir.File("absolute"), "outside");
    WriteFileBytes(out + "/escape.sha256", list.substr(0, 64) + "  ../outside\n" + list.substr(0, 64) + "  " +
                                               dir.File("absolute") + "\n");
    CliResult verify = RunCli({"verify", out + "/escape.sha256"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(verify.out,
              "OUTSIDE ../outside (outside the batch)\nOUTSIDE " + dir.File("absolute") +
                  " (outside the batch)\n2 files listed: 0 match, 0 changed, 0 missing, 2 outside the "
                  "batch\n");

    // Nothing to check is a failure, as for sha256sum; so is what cannot be a list.
    WriteFileBytes(dir.File("empty.sha256"), "");
    WriteFileBytes(dir.File("empty.json"), "{\"files\": []}");
    WriteFileBytes(dir.File("long.sha256"), list + std::string(70000, 'b') + "\n");
    WriteFileBytes(dir.File("md5.sha256"), std::string(32, 'a') + "  x\n");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    for (const auto& [target, said] : {std::pair{dir.File("empty.sha256"), "empty.sha256 lists no file"},
                                       std::pair{dir.File("empty.json"), "empty.json lists no file"},
                                       std::pair{std::string("/dev/zero"), "/dev/zero is not a regular file"},
                                       std::pair{dir.File("fifo"), "fifo is not a regular file"},
                                       std::pair{dir.Path().string(), "no manifest in"},
                                       std::pair{dir.File("long.sha256"), "line 5 is longer than 64 KiB"},
                                       std::pair{dir.File("md5.sha256"), "line 1 is not a SHA-256 line"}}) {
        verify = RunCli({"verify", target});
        EXPECT_EQ(verify.status, 1) << target;
        EXPECT_NE(verify.err.find(said), std::string::npos) << verify.err;
    }
    // hash and crc refuse what would hold them for ever, and go on with the other files.
    const CliResult hash = RunCli({"hash", dir.File("fifo"), "/dev/zero", dir.File("outside")});
    EXPECT_EQ(hash.status, 1);
    EXPECT_NE(hash.err.find("cannot hash '" + dir.File("fifo") + "': it is a FIFO"), std::string::npos)
        << hash.err;
    EXPECT_NE(hash.err.find("cannot hash '/dev/zero': it is not a regular file"), std::string::npos)
        << hash.err;
    EXPECT_EQ(std::count(hash.out.begin(), hash.out.end(), '\n'), 1) << hash.out;
    const CliResult crc = RunCli({"crc", dir.File("fifo"), "/dev/zero"});
    EXPECT_EQ(crc.status, 1);
    EXPECT_NE(crc.err.find("cannot be read: it is a FIFO"), std::string::npos) << crc.err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}
