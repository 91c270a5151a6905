#include "cli/CliNumber.h"
#include "tests/cli/CliRun.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// The page format written plainly: per byte two upper-case digits and a space, width per line.
std::string Expected(const std::string& bytes, std::size_t width) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += digits[byte >> 4];
        text += digits[byte & 15];
        text += ' ';
        if ((i + 1) % width == 0 || i + 1 == bytes.size()) {
            text += '\n';
        }
    }
    return text;
}

std::string Bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    }
    return bytes;
}

} // namespace

TEST(CliNumber, AcceptsTheDefinitionSyntaxAndNothingElse) {
    const std::pair<const char*, std::uint64_t> good[] = {
        {"0", 0},          {"17", 17},
        {"0x10", 16},      {"0X1f", 31},
        {"010", 8},        {"07", 7},
        {"1K", 1000},      {"1KB", 1024},
        {"2M", 2000000},   {"2MB", 2097152},
        {"1GB", 1 << 30},  {"1TB", 1ULL << 40},
        {"0x10KB", 16384}, {"18446744073709551615", UINT64_MAX},
    };
    for (const auto& [text, value] : good) {
        std::uint64_t parsed = 1234;
        EXPECT_TRUE(ParseCliNumber(text, parsed)) << text;
        EXPECT_EQ(parsed, value) << text;
    }
    for (const char* text : {"", "-1", "+1", " 1", "1 KB", "1kb", "08", "0x", "1G", "1T", "12abc",
                             "18446744073709551616", "16777216TB"}) {
        std::uint64_t parsed = 0;
        EXPECT_FALSE(ParseCliNumber(text, parsed)) << text;
    }
}

TEST(HexdumpCommand, PrintsTheViewersPageFormatOverTheWholeFile) {
    TempDir dir;
    const std::string bytes = Bytes(3 * 0x20000 + 77);
    WriteFileBytes(dir.File("data.bin"), bytes);
    const CliRun run = RunCli({"hexdump", dir.File("data.bin")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == Expected(bytes, 16)) << "the dump differs from the file";
    EXPECT_EQ(run.out.substr(0, 16 * 3 + 1), "00 83 06 89 0C 8F 12 95 18 9B 1E A1 24 A7 2A AD \n");
}

TEST(HexdumpCommand, TakesAnOffsetALengthAndAWidth) {
    TempDir dir;
    const std::string bytes = Bytes(5000);
    WriteFileBytes(dir.File("data.bin"), bytes);
    CliRun run =
        RunCli({"hexdump", "--offset", "0x10", "--length", "1K", "--width", "7", dir.File("data.bin")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Expected(bytes.substr(16, 1000), 7));
    // The length runs out at the end of the file; an offset beyond it prints nothing.
    run = RunCli({"hexdump", "--offset", "4990", "--length", "1KB", dir.File("data.bin")});
    EXPECT_EQ(run.out, Expected(bytes.substr(4990), 16));
    run = RunCli({"hexdump", "--offset", "5000", dir.File("data.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    WriteFileBytes(dir.File("empty.bin"), "");
    run = RunCli({"hexdump", dir.File("empty.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    // A width wider than the block the dump formats at a time still gives whole lines.
    const std::string wide = Bytes(3 << 20);
    WriteFileBytes(dir.File("wide.bin"), wide);
    run = RunCli({"hexdump", "--width", "0x180000", dir.File("wide.bin")});
    EXPECT_EQ(run.status, 2);
    run = RunCli({"hexdump", "--width", "1MB", "--offset", "100", dir.File("wide.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out == Expected(wide.substr(100), 1 << 20)) << "the wide dump differs from the file";
}

TEST(HexdumpCommand, ErrorsNameWhatIsWrong) {
    TempDir dir;
    CliRun run = RunCli({"hexdump", dir.File("missing.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot open '" + dir.File("missing.bin") + "': No such file or directory"),
              std::string::npos)
        << run.err;
    run = RunCli({"hexdump", "--offset", "10 KB", "x"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("'10 KB'"), std::string::npos) << run.err;
    EXPECT_EQ(RunCli({"hexdump", "--width", "0", "x"}).status, 2);
    EXPECT_EQ(RunCli({"hexdump"}).status, 2);
    EXPECT_EQ(RunCli({"hexdump", "a", "b"}).status, 2);

    // What cannot be paged through is refused with the reason, never shown as empty.
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    run = RunCli({"hexdump", fifo});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("'" + fifo + "': it is a FIFO"), std::string::npos) << run.err;
    run = RunCli({"hexdump", dir.Path().string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("it is a folder"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(CrcCommand, FoldersAndFilesTooShortForATrailerAreNamed) {
    TempDir dir;
    const std::string folder = dir.Path().string();
    for (const bool trailer : {false, true}) {
        std::vector<std::string> args{"crc"};
        if (trailer) {
            args.push_back("--trailer");
        }
        args.push_back(folder);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "fakemill-cli crc: '" + folder + "' is a folder\n");
    }
    const std::string shortFile = dir.File("short.bin");
    WriteFileBytes(shortFile, "abc");
    const CliRun run = RunCli({"crc", "--trailer", shortFile});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("'" + shortFile + "' is too short to hold a trailer (3 bytes)"), std::string::npos)
        << run.err;
    EXPECT_EQ(RunCli({"crc", shortFile}).status, 0);
}
