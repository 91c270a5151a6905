#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

TEST(DefineCommand, WritesDefaultsAndValuesThenListsAndShows) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "bin", "Big one", "Size=64KB", "CRC=yes"}).status, 0);
    const std::string written = ReadFileBytes(config);
    EXPECT_NE(written.find("[Big one]\r\n"), std::string::npos);
    EXPECT_NE(written.find("CRC=1\r\n"), std::string::npos);
    EXPECT_NE(written.find("Size=64KB,64KB\r\n"), std::string::npos);
    EXPECT_NE(written.find("Type=bin\r\n"), std::string::npos);

    const CliResult list = RunCli({"--config=" + config, "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Generator\tType\tMinimum Size\tMinimum Count\nBig one\tbin\t65536\t1\n");

    const CliResult show = RunCli({"--config", config, "show", "big one"});
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_EQ(show.out.rfind("bin generator Properties \n------------------------\n", 0), 0u) << show.out;
    EXPECT_NE(show.out.find("CRC               Generate and add CRC\n                  BOOL: true\n"),
              std::string::npos)
        << show.out;
}

TEST(DefineCommand, RefusesWhatWouldBeWrongAndKeepsTheFile) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "one"}).status, 0);
    const std::string before = ReadFileBytes(config);

    EXPECT_EQ(RunCli({"--config", config, "define", "--type", "wav", "two"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "define", "--type", "bin", "two", "Colour=red"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "define", "--type", "bin", "two", "Size"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "define", "--type", "bin", "x]\r\n[y"}).status, 2);
    const CliResult again = RunCli({"--config", config, "define", "--type", "bin", "ONE", "Size=5"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already defined"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(config), before);

    ASSERT_EQ(RunCli({"--config", config, "define", "--replace", "--type", "bin", "one", "Size=5"}).status,
              0);
    EXPECT_NE(ReadFileBytes(config).find("Size=5,5"), std::string::npos);
    EXPECT_NE(RunCli({"--config", config, "list"}).out.find("one\tbin\t5\t1\n"), std::string::npos);
}

TEST(ShowCommand, UnknownDefinitionIsAnError) {
    TempDir dir;
    const CliResult show = RunCli({"--config", dir.File("fakemill.ini"), "show", "nothing"});
    EXPECT_EQ(show.status, 1);
    EXPECT_NE(show.err.find("'nothing'"), std::string::npos);
}
