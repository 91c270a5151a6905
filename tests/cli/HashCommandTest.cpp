#include "cli/Commands.h"
#include "support/Crc32.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunHash(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    CliStreams io{out, err, false};
    const int status = RunHashCommand(args, io);
    return {status, out.str(), err.str()};
}

// The first word a coreutils sum prints for the file, or "" when the tool is missing.
std::string CoreutilsSum(const std::string& tool, const std::string& path) {
    const std::string command = tool + " '" + path + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    char buffer[256] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof(buffer) - 1, pipe);
    ::pclose(pipe);
    const std::string text(buffer, n);
    return text.substr(0, text.find(' '));
}

class HashCommand : public ::testing::Test {
protected:
    void SetUp() override {
        check = temp.File("check.txt");
        WriteFileBytes(check, "123456789");
        empty = temp.File("empty.bin");
        WriteFileBytes(empty, "");
    }
    TempDir temp;
    std::string check;
    std::string empty;
};

} // namespace

TEST_F(HashCommand, EachLineIsAChecksumLineThatTheCoreutilsSumsCheck) {
    const Result crc = RunHash({check, empty});
    EXPECT_EQ(crc.status, 0);
    EXPECT_EQ(crc.out, "cbf43926  " + check + "\n00000000  " + empty + "\n");
    EXPECT_EQ(crc.err, "");
    EXPECT_EQ(RunHash({"-a", "md5", empty}).out, "d41d8cd98f00b204e9800998ecf8427e  " + empty + "\n");
    EXPECT_EQ(RunHash({"-a", "md5", check}).out, "25f9e794323b453885f5181f1b624d0b  " + check + "\n");
    EXPECT_EQ(RunHash({"--algorithm", "sha1", check}).out,
              "f7c3bc1d808e04732adf679965ccc34ca7ae3441  " + check + "\n");
    EXPECT_EQ(RunHash({"-asha256", check}).out,
              "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225  " + check + "\n");

    // A name holding a backslash or a line break is escaped the way sha256sum escapes it, so that
    // the output is a checksum file: sha256sum -c takes it and finds every file.
    const std::string odd = temp.File("two\nlines\\name");
    WriteFileBytes(odd, "odd");
    const Result sums = RunHash({"-a", "sha256", check, empty, odd});
    EXPECT_NE(sums.out.find("\n\\"), std::string::npos) << "the odd name's line starts with a backslash";
    const std::string list = temp.File("sums.sha256");
    WriteFileBytes(list, sums.out);
    if (std::system("command -v sha256sum >/dev/null") != 0) {
        GTEST_SKIP() << "coreutils not installed";
    }
    EXPECT_EQ(std::system(("sha256sum --quiet -c '" + list + "'").c_str()), 0) << sums.out;
}

TEST_F(HashCommand, LargeFilesMatchTheCoreutilsSumsAndZlibCrcAndCrcAgrees) {
    // Several read pieces, with an odd tail.
    std::string bytes(3 * 34816 + 1234, '\0');
    std::mt19937 random(9);
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    const std::string path = temp.File("random.bin");
    WriteFileBytes(path, bytes);

    // The CRC-32 is written as a number, as the crc command prints it.
    const std::uint32_t crc = UpdateCrc32(0, bytes.data(), bytes.size());
    char shown[9];
    std::snprintf(shown, sizeof(shown), "%08x", crc);
    EXPECT_EQ(RunHash({"-a", "crc", path}).out, std::string(shown) + "  " + path + "\n");
    char upper[9];
    std::snprintf(upper, sizeof(upper), "%X", crc);
    EXPECT_EQ(RunCli({"crc", path}).out, "CRC for " + path + ": 0x" + upper + "\n");

    bool compared = false;
    for (const std::string algorithm : {"md5", "sha1", "sha256"}) {
        const std::string expected = CoreutilsSum(algorithm + "sum", path);
        if (expected.empty()) {
            continue;
        }
        compared = true;
        EXPECT_EQ(RunHash({"-a", algorithm, path}).out, expected + "  " + path + "\n") << algorithm;
    }
    if (!compared) {
        GTEST_SKIP() << "coreutils sums not installed";
    }
}

TEST_F(HashCommand, CopyFormatOptions) {
    EXPECT_EQ(RunHash({"--copy", check}).out, "CBF43926\n");
    EXPECT_EQ(RunHash({"--copy", "--path", check}).out, check + ":CBF43926\n");
    EXPECT_EQ(RunHash({"--copy", "--path", "--sep", ";", check}).out, check + ";CBF43926\n");
    EXPECT_EQ(RunHash({"--copy", "--path", "--sep=\\t", check}).out, check + "\tCBF43926\n");
    EXPECT_EQ(RunHash({"--copy", "--sep", ";", check}).out, "CBF43926\n"); // no path, no separator
    EXPECT_EQ(RunHash({"--copy", "--prefix-0x", check}).out, "0xCBF43926\n");
    EXPECT_EQ(RunHash({"--copy", "--lower", "--prefix-0x", check}).out, "0xcbf43926\n");
    EXPECT_EQ(RunHash({"-a", "md5", "--copy", "--path", "--prefix-0x", empty}).out,
              empty + ":0xD41D8CD98F00B204E9800998ECF8427E\n");
    EXPECT_EQ(RunHash({"--copy", check, empty}).out, "CBF43926\n00000000\n");
    // The copy format's options would spoil a checksum line: without --copy they are refused.
    for (const std::string option : {"--path", "--prefix-0x", "--lower"}) {
        const Result refused = RunHash({option, check});
        EXPECT_EQ(refused.status, 2) << option;
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find(option + " shapes the copy format: give --copy too"), std::string::npos)
            << refused.err;
    }
}

TEST_F(HashCommand, AMissingFileIsNamedAndTheOthersAreStillHashed) {
    const std::string missing = temp.File("no-such-file.bin");
    const Result result = RunHash({"-a", "md5", check, missing, empty});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "25f9e794323b453885f5181f1b624d0b  " + check +
                              "\nd41d8cd98f00b204e9800998ecf8427e  " + empty + "\n");
    EXPECT_NE(result.err.find(missing), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("No such file or directory"), std::string::npos) << result.err;

    // A folder cannot be read either; its partial hash is never shown.
    const Result folder = RunHash({temp.Path().string()});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.out, "");
    EXPECT_NE(folder.err.find(temp.Path().string()), std::string::npos);
}

TEST_F(HashCommand, UsageErrors) {
    EXPECT_EQ(RunHash({}).status, 2);
    EXPECT_EQ(RunHash({"-a", "crc64", check}).status, 2);
    EXPECT_EQ(RunHash({"--copy", "--sep", "ab", "--path", check}).status, 2);
    EXPECT_EQ(RunHash({"--unknown", check}).status, 2);
    const Result result = RunHash({"-a"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("-a"), std::string::npos);
}
