// The sha256sum line format as the program reads and writes it, and the bounded line reader.

#include "support/ChecksumLines.h"
#include "support/PosixFile.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>

TEST(ChecksumLines, WhatIsWrittenReadsBackAndTheToolsOwnFormsAreRead) {
    const std::string hex(64, 'A');
    for (const std::string name :
         {"plain", "two  spaces", "back\\slash", "new\nline", "car\rriage", "*star"}) {
        const std::string line = FormatChecksumLine(hex, name);
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('A'), std::string::npos) << "digits are written lower-case";
        // Escaped names start their line with a backslash; a CR LF end (a list saved on Windows)
        // reads the same as LF.
        for (const std::string& form : {line, line.substr(0, line.size() - 1) + "\r\n"}) {
            CChecksumLine parsed;
            ASSERT_TRUE(ParseChecksumLine(form, parsed)) << name;
            EXPECT_EQ(parsed.path, name);
            EXPECT_EQ(parsed.digits, std::string(64, 'a'));
        }
    }
    CChecksumLine parsed;
    ASSERT_TRUE(ParseChecksumLine("  0123abcd *binary mode.bin\r\n", parsed));
    EXPECT_EQ(parsed.path, "binary mode.bin");
    EXPECT_EQ(parsed.digits, "0123abcd");
    ASSERT_TRUE(ParseChecksumLine("SHA256 (tagged name) = ABCDEF01", parsed));
    EXPECT_EQ(parsed.path, "tagged name");
    EXPECT_EQ(parsed.digits, "ABCDEF01");
    // Not lines of the format: no name, no digits, an escape the tools do not write.
    for (const char* bad :
         {"0123  ", "0123  \r\n", "xyz  name", "\\0123  a\\qb", "\\0123  trailing\\", "MD4 (x) = 00"}) {
        EXPECT_FALSE(ParseChecksumLine(bad, parsed)) << bad;
    }
}

TEST(ChecksumLines, TheReaderBoundsEachLineAndNamesTheOneTooLong) {
    TempDir dir;
    const std::string path = dir.File("list");
    const std::string longest(CChecksumLineReader::kMaxLineBytes, 'x');
    // The longest line allowed, and a last line without a line feed, are read whole.
    WriteFileBytes(path, "first\r\n\n" + longest + "\nlast without end");
    CUniqueFd fd(::open(path.c_str(), O_RDONLY));
    CChecksumLineReader reader(fd.Get());
    std::string line;
    for (const std::string& want :
         {std::string("first\r"), std::string(), longest, std::string("last without end")}) {
        ASSERT_EQ(reader.Next(line), CChecksumLineReader::EResult::Line);
        EXPECT_EQ(line, want);
    }
    EXPECT_EQ(reader.Next(line), CChecksumLineReader::EResult::End);
    // One byte more than the bound, with or without a line feed after it: line 2 is too long.
    for (const std::string tail : {"\n", ""}) {
        WriteFileBytes(path, "ok\n" + longest + "y" + tail + "after\n");
        CUniqueFd again(::open(path.c_str(), O_RDONLY));
        CChecksumLineReader bounded(again.Get());
        ASSERT_EQ(bounded.Next(line), CChecksumLineReader::EResult::Line);
        EXPECT_EQ(bounded.Next(line), CChecksumLineReader::EResult::TooLong);
        EXPECT_EQ(bounded.LineNumber(), 2u);
    }
    CChecksumLineReader broken(-1);
    EXPECT_EQ(broken.Next(line), CChecksumLineReader::EResult::Failed);
}
