#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <chrono>
#include <csignal>
#include <thread>

namespace {

std::map<std::string, std::string> Contents(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[std::filesystem::relative(entry.path(), folder).string()] =
                ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

} // namespace

TEST(GenerateCommand, CrcTrailersCheckOutAndDamageIsFound) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "bin", "crc", "Size=4096", "CRC=1", "SimpleName=1"})
            .status,
        0);
    const CliResult run =
        RunCli({"--config", config, "generate", "--pace", "0", "-o", dir.File("out"), "crc"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Starting 'crc'"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Generator finished "), std::string::npos) << run.out;
    const std::string file = dir.File("out/fkbin0.bin");
    std::string bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 4100u);

    const CliResult good = RunCli({"crc", "--trailer", file});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out.rfind("CRC matched. (0x", 0), 0u) << good.out;

    bytes[100] = static_cast<char>(bytes[100] ^ 1);
    WriteFileBytes(file, bytes);
    const CliResult bad = RunCli({"crc", "--trailer", file});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("CRC mismatch. Calculated CRC: 0x"), std::string::npos) << bad.out;

    bytes[100] = static_cast<char>(bytes[100] ^ 1);
    bytes[4094] = static_cast<char>(bytes[4094] ^ 1);
    WriteFileBytes(file, bytes);
    EXPECT_EQ(RunCli({"crc", "--trailer", file}).status, 0);
    EXPECT_EQ(RunCli({"crc", dir.File("absent")}).status, 1);
}

TEST(GenerateCommand, TheSameSeedGivesTheSameFiles) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "r", "Files=4", "Size=1K,20K",
                      "SimpleName=1", "CRC=1"})
                  .status,
              0);
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "s", "Files=1,5", "Size=100,9000",
                      "SimpleName=1", "Folder=s", "BigEndian=1"})
                  .status,
              0);
    for (const char* out : {"one", "two"}) {
        const CliResult run = RunCli(
            {"--config", config, "generate", "--pace", "0", "--seed", "42", "-o", dir.File(out), "--all"});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
    }
    const auto one = Contents(dir.Path() / "one");
    EXPECT_GE(one.size(), 5u);
    EXPECT_EQ(one, Contents(dir.Path() / "two"));

    ASSERT_EQ(
        RunCli({"--config", config, "generate", "--pace", "0", "--seed", "43", "-o", dir.File("three"), "r"})
            .status,
        0);
    EXPECT_NE(Contents(dir.Path() / "three").begin()->second, one.begin()->second);
}

TEST(GenerateCommand, SizesFollowTheBlockRule) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "sizes", "Files=60", "Size=1000,10000"})
                  .status,
              0);
    ASSERT_EQ(RunCli({"--config", config, "generate", "--pace", "0", "-o", dir.File("out"), "sizes"}).status,
              0);
    const auto files = Contents(dir.Path() / "out");
    ASSERT_EQ(files.size(), 60u);
    for (const auto& [name, bytes] : files) {
        const std::size_t size = bytes.size();
        EXPECT_TRUE((size >= 1000 && size <= 4096) || size == 8192 || size == 10000) << name << " " << size;
    }
}

TEST(GenerateCommand, UnknownDefinitionsAndUsageErrors) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "real", "Size=10"}).status, 0);
    const CliResult partly =
        RunCli({"--config", config, "generate", "--pace", "0", "-o", dir.File("out"), "ghost", "real"});
    EXPECT_EQ(partly.status, 1);
    EXPECT_NE(partly.out.find("WARNING:Could not initialize 'ghost' from ["), std::string::npos)
        << partly.out;
    EXPECT_EQ(Contents(dir.Path() / "out").size(), 1u);

    EXPECT_EQ(RunCli({"--config", config, "generate", "--pace", "soon", "real"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "generate", "--seed", "-1", "real"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "generate"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "generate", "--all", "real"}).status, 2);
}

TEST(GenerateCommand, ASignalMidFileRemovesThatFileAndKeepsTheFinishedOnes) {
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 128 + SIGTERM}}) {
        TempDir dir;
        const std::string config = dir.File("fakemill.ini");
        ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "small", "Size=1000", "SimpleName=1",
                          "Prefix=small"})
                      .status,
                  0);
        // A terabyte of mostly holes: it cannot be finished before the signal comes.
        ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "huge", "Size=1TB", "Quick=256",
                          "CRC=1", "SimpleName=1", "Prefix=huge"})
                      .status,
                  0);
        // One job: the small definition is finished before the huge one starts.
        ChildProcess child({FAKEMILL_CLI_PATH, "--config", config, "generate", "--pace", "0", "--jobs", "1",
                            "-o", dir.File("out"), "small", "huge"});
        // Standard output is a pipe here, written out at the end: the file itself tells that
        // the huge one is under way.
        const std::string huge = dir.File("out/hugebin0.bin");
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        const auto sizeOfHuge = [&huge] {
            std::error_code error;
            const auto size = std::filesystem::file_size(huge, error);
            return error ? 0 : size;
        };
        while (sizeOfHuge() < 1000000 && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_GE(sizeOfHuge(), 1000000u) << "the huge file never started";
        child.Signal(signal);
        EXPECT_EQ(child.Wait(std::chrono::seconds(20)), status);
        std::string rest;
        std::string line;
        while (child.ReadLine(line, std::chrono::milliseconds(100))) {
            rest += line + "\n";
        }
        EXPECT_NE(rest.find("Removed unfinished file " + huge), std::string::npos) << rest;
        EXPECT_EQ(Contents(dir.File("out")),
                  (std::map<std::string, std::string>{
                      {"smallbin0.bin", ReadFileBytes(dir.File("out/smallbin0.bin"))}}));
        EXPECT_EQ(ReadFileBytes(dir.File("out/smallbin0.bin")).size(), 1000u);
    }
}
