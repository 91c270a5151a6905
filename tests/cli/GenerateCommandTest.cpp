#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
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

TEST(GenerateCommand, ASignalEndsTheRunAfterTheFileInHand) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        const std::string config = dir.File("fakemill.ini");
        WriteFileBytes(config, "[slow]\nType=bin\nSize=1000\nFiles=40\n");
        const std::string out = dir.File("out");
        ChildProcess child(
            {FAKEMILL_CLI_PATH, "--config", config, "generate", "-o", out, "--pace", "300", "slow"});
        // Output to a pipe is buffered: the first file tells that the run is under way.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!std::filesystem::exists(out) || std::filesystem::is_empty(out)) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the generator never started";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const auto signalled = std::chrono::steady_clock::now();
        child.Signal(signal);
        std::string line;
        std::string last;
        while (child.ReadLine(line)) {
            last = line;
        }
        EXPECT_EQ(child.Wait(), 128 + signal);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(3));
        EXPECT_EQ(last.rfind("Generator finished ", 0), 0u) << last;
        const auto made = std::distance(std::filesystem::directory_iterator(out), {});
        EXPECT_GE(made, 1);
        EXPECT_LT(made, 40);
    }
}
