#include "tests/cli/CliRun.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

TEST(HashCommand, PrintsOneLinePerFileInTheOrderGivenAndNamesFailures) {
    TempDir dir;
    WriteFileBytes(dir.File("nine"), "123456789");
    WriteFileBytes(dir.File("empty"), "");
    std::vector<std::string> args{"hash"};
    // Enough files that the worker is still busy while the command waits for the early ones.
    for (int i = 0; i < 40; ++i) {
        args.push_back(dir.File(i % 2 == 0 ? "nine" : "empty"));
    }
    args.push_back(dir.File("missing"));
    args.push_back(dir.File("nine"));
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 1);
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        expected += i % 2 == 0 ? "2639F4CB\n" : "00000000\n";
    }
    expected += "2639F4CB\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err,
              "fakemill-cli hash: cannot read '" + dir.File("missing") + "': No such file or directory\n");
}

TEST(HashCommand, CopyOptionsShapeTheLines) {
    TempDir dir;
    WriteFileBytes(dir.File("empty"), "");
    const CliRun run =
        RunCli({"hash", "-a", "md5", "--path", "--prefix-0x", "--lower", "--sep", "\\t", dir.File("empty")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, dir.File("empty") + "\t0xd41d8cd98f00b204e9800998ecf8427e\n");
    EXPECT_EQ(RunCli({"hash", "-a", "sha512", dir.File("empty")}).status, 2);
}
