#include "cli/Commands.h"
#include "support/Crc32.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
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

TEST_F(HashCommand, CrcIsShownLeastSignificantByteFirst) {
    const Result result = RunHash({check});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "2639F4CB\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(RunHash({"-a", "crc", empty}).out, "00000000\n");
}

TEST_F(HashCommand, DigestsOfKnownInputs) {
    EXPECT_EQ(RunHash({"-a", "md5", empty}).out, "D41D8CD98F00B204E9800998ECF8427E\n");
    EXPECT_EQ(RunHash({"-a", "md5", check}).out, "25F9E794323B453885F5181F1B624D0B\n");
    EXPECT_EQ(RunHash({"--algorithm", "sha1", check}).out, "F7C3BC1D808E04732ADF679965CCC34CA7AE3441\n");
    EXPECT_EQ(RunHash({"-a", "sha256", check}).out,
              "15E2B0D3C33891EBB0F1EF609EC419420C20E320CE94C65FBC8C3312448EB225\n");
}

TEST_F(HashCommand, LargeFilesMatchTheCoreutilsSumsAndZlibCrc) {
    // Several read pieces, with an odd tail.
    std::string bytes(3 * 34816 + 1234, '\0');
    std::mt19937 random(9);
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    const std::string path = temp.File("random.bin");
    WriteFileBytes(path, bytes);

    const std::uint32_t crc = UpdateCrc32(0, bytes.data(), bytes.size());
    char shown[9];
    std::snprintf(shown, sizeof(shown), "%02X%02X%02X%02X", crc & 0xFF, (crc >> 8) & 0xFF, (crc >> 16) & 0xFF,
                  crc >> 24);
    EXPECT_EQ(RunHash({"-a", "crc", path}).out, std::string(shown) + "\n");

    bool compared = false;
    for (const std::string algorithm : {"md5", "sha1", "sha256"}) {
        const std::string expected = CoreutilsSum(algorithm + "sum", path);
        if (expected.empty()) {
            continue;
        }
        compared = true;
        EXPECT_EQ(RunHash({"-a", algorithm, "--lower", path}).out, expected + "\n") << algorithm;
    }
    if (!compared) {
        GTEST_SKIP() << "coreutils sums not installed";
    }
}

TEST_F(HashCommand, CopyFormatOptions) {
    EXPECT_EQ(RunHash({"--path", check}).out, check + ":2639F4CB\n");
    EXPECT_EQ(RunHash({"--path", "--sep", ";", check}).out, check + ";2639F4CB\n");
    EXPECT_EQ(RunHash({"--path", "--sep", "\\t", check}).out, check + "\t2639F4CB\n");
    EXPECT_EQ(RunHash({"--sep", ";", check}).out, "2639F4CB\n"); // no path, no separator
    EXPECT_EQ(RunHash({"--prefix-0x", check}).out, "0x2639F4CB\n");
    EXPECT_EQ(RunHash({"--lower", "--prefix-0x", check}).out, "0x2639f4cb\n");
    EXPECT_EQ(RunHash({"-a", "md5", "--path", "--prefix-0x", empty}).out,
              empty + ":0xD41D8CD98F00B204E9800998ECF8427E\n");
    EXPECT_EQ(RunHash({check, empty}).out, "2639F4CB\n00000000\n");
}

TEST_F(HashCommand, AMissingFileIsNamedAndTheOthersAreStillHashed) {
    const std::string missing = temp.File("no-such-file.bin");
    const Result result = RunHash({"-a", "md5", check, missing, empty});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "25F9E794323B453885F5181F1B624D0B\nD41D8CD98F00B204E9800998ECF8427E\n");
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
    EXPECT_EQ(RunHash({"--sep", "ab", "--path", check}).status, 2);
    EXPECT_EQ(RunHash({"--unknown", check}).status, 2);
    const Result result = RunHash({"-a"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("-a"), std::string::npos);
}
