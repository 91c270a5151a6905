#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
    // However it is padded, a name is the one the reader finds.
    for (const auto& [padded, shown] : {std::pair{" one ", "'one'"}, std::pair{"one ", "'one'"},
                                        std::pair{"\tone", "'one'"}, std::pair{" ONE\t", "'ONE'"}}) {
        const CliResult same = RunCli({"--config", config, "define", "--type", "bin", padded, "Size=7"});
        EXPECT_EQ(same.status, 1) << "'" << padded << "'";
        EXPECT_NE(same.err.find(std::string(shown) + " is already defined"), std::string::npos) << same.err;
    }
    // A reversed range is refused with the key and both numbers.
    const CliResult reversed = RunCli({"--config", config, "define", "--type", "csv", "rows", "Rows=10K,5"});
    EXPECT_EQ(reversed.status, 2);
    EXPECT_NE(reversed.err.find("Rows=10K,5 cannot be used: the minimum 10000 is above the maximum 5"),
              std::string::npos)
        << reversed.err;
    EXPECT_EQ(ReadFileBytes(config), before);

    ASSERT_EQ(RunCli({"--config", config, "define", "--replace", "--type", "bin", "one", "Size=5"}).status,
              0);
    EXPECT_NE(ReadFileBytes(config).find("Size=5,5"), std::string::npos);
    EXPECT_NE(RunCli({"--config", config, "list"}).out.find("one\tbin\t5\t1\n"), std::string::npos);
}

TEST(DefineCommand, ValuesReadBackAsTypedOrTheUserIsWarned) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    // An empty value keeps the default; a separator with blanks survives the file.
    const CliResult csv = RunCli({"--config", config, "define", "--type", "csv", "table",
                                  "Files=", "Separator=, ", "Columns=1,2", "Rows=12"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.err, "");
    const std::string written = ReadFileBytes(config);
    EXPECT_NE(written.find("Files=1,1\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("Separator=\", \"\r\n"), std::string::npos) << written;
    const CliResult show = RunCli({"--config", config, "show", "table"});
    EXPECT_NE(show.out.find("TEXT: , \n"), std::string::npos) << show.out;
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "sized", "Size="}).status, 0);
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "unsized"}).status, 0);
    EXPECT_EQ(RunCli({"--config", config, "show", "sized"}).out,
              RunCli({"--config", config, "show", "unsized"}).out);

    // What the number syntax reads otherwise is stored as read, with a warning; exit 0. A number
    // beyond 64 bits is one of them: it reads as the limit, and every command shows that limit.
    const CliResult odd =
        RunCli({"--config", config, "define", "--type", "bin", "odd", "Size=99999999999999999999999",
                "Quick=abc", "Files=0xFFFFFFFFFFFFFFFFFF", "CRC=sure", "Sequence=0x10,2GiB"});
    EXPECT_EQ(odd.status, 0);
    EXPECT_NE(odd.err.find("warning: Size=99999999999999999999999 reads as "
                           "Size=9223372036854775807,9223372036854775807\n"),
              std::string::npos)
        << odd.err;
    EXPECT_NE(odd.err.find("warning: Quick=abc reads as Quick=0\n"), std::string::npos) << odd.err;
    EXPECT_NE(odd.err.find("warning: Files=0xFFFFFFFFFFFFFFFFFF reads as Files=9223372036854775807,"),
              std::string::npos)
        << odd.err;
    EXPECT_NE(odd.err.find("warning: CRC=sure reads as CRC=1\n"), std::string::npos) << odd.err;
    EXPECT_EQ(odd.err.find("Sequence"), std::string::npos) << odd.err;
    EXPECT_NE(ReadFileBytes(config).find("Sequence=16,2GB\r\n"), std::string::npos)
        << "written with the old units";
    EXPECT_NE(
        RunCli({"--config", config, "list"}).out.find("odd\tbin\t9223372036854775807\t9223372036854775807\n"),
        std::string::npos);
    EXPECT_NE(RunCli({"--config", config, "show", "odd"})
                  .out.find("RANGE: 9223372036854775807, 9223372036854775807"),
              std::string::npos);
    const CliResult many = RunCli({"--config", config, "generate", "-o", dir.File("out"), "odd"});
    EXPECT_EQ(many.status, 1);
    EXPECT_NE(many.err.find(
                  "'odd' not generated: Files=9223372036854775807,9223372036854775807: more files than one "
                  "definition can make (4294967295)"),
              std::string::npos)
        << many.err;

    // A unit the syntax does not know, and a path in a file-name prefix, are refused with the key,
    // the value and the reason, and nothing is written.
    const std::string before = ReadFileBytes(config);
    for (const auto& [value, reason] :
         {std::pair{"Size=1 KB",
                    "\" KB\" is not a unit; the units are K, M, G, T (powers of 1,000), KB, MB, GB, "
                    "TB, KiB, MiB, GiB, TiB (powers of 1,024)"},
          std::pair{"Size=1.5MB", "\".5MB\" is not a unit"}, std::pair{"Files=3,4x", "\"x\" is not a unit"},
          std::pair{"Prefix=../up", "a part of a file name cannot hold the path separator \"/\""},
          std::pair{"Extension=a/b", "a part of a file name cannot hold the path separator"}}) {
        const CliResult refused = RunCli({"--config", config, "define", "--type", "bin", "refused", value});
        EXPECT_EQ(refused.status, 2) << value;
        EXPECT_NE(refused.err.find(std::string(value) + " cannot be used: " + reason), std::string::npos)
            << refused.err;
    }
    EXPECT_EQ(ReadFileBytes(config), before);
}

TEST(ShowCommand, UnknownDefinitionIsAnError) {
    TempDir dir;
    ASSERT_EQ(RunCli({"--config", dir.File("fakemill.ini"), "define", "--type", "bin", "something"}).status,
              0);
    const CliResult show = RunCli({"--config", dir.File("fakemill.ini"), "show", "nothing"});
    EXPECT_EQ(show.status, 1);
    EXPECT_NE(show.err.find("'nothing'"), std::string::npos);
}

TEST(ShowCommand, DamageAndTextOptionsAreCheckedByDefineAndShownWhole) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    // A class the kind lacks, and one its encoding cannot hold, are refused with the reason.
    const CliResult foreign = RunCli({"--config", config, "define", "--type", "txt", "t", "Damage=crc"});
    EXPECT_EQ(foreign.status, 2);
    EXPECT_NE(foreign.err.find("'crc' is not a damage class of these files"), std::string::npos)
        << foreign.err;
    const CliResult latin = RunCli(
        {"--config", config, "define", "--type", "txt", "t", "Encoding=latin1", "Damage=invalid-utf8"});
    EXPECT_EQ(latin.status, 2);
    EXPECT_NE(latin.err.find("needs Encoding utf8"), std::string::npos) << latin.err;
    EXPECT_FALSE(std::filesystem::exists(config));

    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "img", "p", "ImageType=png",
                      "Damage=crc,length,dimensions,no-iend,bad-signature,truncate"})
                  .status,
              0);
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "txt", "u", "Encoding=utf16be-bom"}).status, 0);
    // Long values are shown whole, and the classes of PNG files one line each.
    const std::string png = RunCli({"--config", config, "show", "p"}).out;
    EXPECT_NE(png.find("TEXT: crc,length,dimensions,no-iend,bad-signature,truncate\n"), std::string::npos)
        << png;
    const std::size_t classes = png.find("Damage classes of png files");
    ASSERT_NE(classes, std::string::npos) << png;
    const std::string listed = png.substr(png.find('\n', classes));
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 10) << listed; // a line each, ended
    for (const char* name :
         {"truncate", "flip", "zero", "empty", "crc", "length", "dimensions", "no-iend", "bad-signature"}) {
        EXPECT_NE(listed.find("\n  " + std::string(name) + " "), std::string::npos) << name;
    }
    const std::string text = RunCli({"--config", config, "show", "u"}).out;
    EXPECT_NE(text.find("TEXT: utf16be-bom\n"), std::string::npos) << text;
    EXPECT_NE(RunCli({"--config", config, "show", "--json", "p"}).out.find("\"name\": \"bad-signature\""),
              std::string::npos);
}
