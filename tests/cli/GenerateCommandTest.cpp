#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <thread>

namespace {} // namespace

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
    EXPECT_EQ(good.out.rfind(file + ": CRC matched. (0x", 0), 0u) << good.out;
    EXPECT_EQ(good.err, "");

    // A mismatch is a diagnostic: on the error stream, naming the file.
    bytes[100] = static_cast<char>(bytes[100] ^ 1);
    WriteFileBytes(file, bytes);
    const CliResult bad = RunCli({"crc", "--trailer", file});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find(file + ": CRC mismatch. Calculated CRC: 0x"), std::string::npos) << bad.err;

    bytes[100] = static_cast<char>(bytes[100] ^ 1);
    bytes[4094] = static_cast<char>(bytes[4094] ^ 1);
    WriteFileBytes(file, bytes);
    EXPECT_EQ(RunCli({"crc", "--trailer", file}).status, 0);
    EXPECT_EQ(RunCli({"crc", dir.File("absent")}).status, 1);
}

// The command line pauses between files only when asked: 40 files would take 4 s at the
// desktop's 100 ms, and --pace still gives that pause to whoever wants it.
TEST(GenerateCommand, PausesBetweenFilesOnlyWhenAsked) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "bin", "many", "Files=40", "Size=16", "SimpleName=1"})
            .status,
        0);
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "bin", "few", "Files=10", "Size=16", "SimpleName=1"})
            .status,
        0);
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    ASSERT_EQ(RunCli({"--config", config, "generate", "-q", "-o", dir.File("fast"), "many"}).status, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));
    EXPECT_TRUE(std::filesystem::exists(dir.File("fast/fkbin39.bin")));

    start = Clock::now();
    ASSERT_EQ(
        RunCli({"--config", config, "generate", "-q", "--pace", "100", "-o", dir.File("slow"), "few"}).status,
        0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(500));
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
    const auto one = FolderContents(dir.Path() / "one");
    EXPECT_GE(one.size(), 5u);
    EXPECT_EQ(one, FolderContents(dir.Path() / "two"));

    ASSERT_EQ(
        RunCli({"--config", config, "generate", "--pace", "0", "--seed", "43", "-o", dir.File("three"), "r"})
            .status,
        0);
    EXPECT_NE(FolderContents(dir.Path() / "three").begin()->second, one.begin()->second);
}

TEST(GenerateCommand, SizesFollowTheBlockRule) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "sizes", "Files=60", "Size=1000,10000"})
                  .status,
              0);
    ASSERT_EQ(RunCli({"--config", config, "generate", "--pace", "0", "-o", dir.File("out"), "sizes"}).status,
              0);
    const auto files = FolderContents(dir.Path() / "out");
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
    EXPECT_NE(partly.err.find("WARNING:Could not initialize 'ghost' from ["), std::string::npos)
        << partly.err;
    EXPECT_EQ(partly.out.find("WARNING:"), std::string::npos) << partly.out;
    EXPECT_NE(partly.err.find("there is no definition 'ghost' in " + config), std::string::npos)
        << partly.err;
    EXPECT_EQ(partly.err.find("'real'"), std::string::npos) << partly.err;
    EXPECT_EQ(FolderContents(dir.Path() / "out").size(), 1u);

    // A reversed range written by hand: that definition is refused by name, the rest runs.
    WriteFileBytes(config, ReadFileBytes(config) + "[backwards]\r\nType=bin\r\nFiles=3,1\r\n");
    const CliResult refused =
        RunCli({"--config", config, "generate", "--pace", "0", "-o", dir.File("again"), "backwards", "real"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(
        refused.err.find("ERROR:'backwards' not generated: Files=3,1: the minimum 3 is above the maximum 1"),
        std::string::npos)
        << refused.err;
    EXPECT_EQ(FolderContents(dir.Path() / "again").size(), 1u);

    EXPECT_EQ(RunCli({"--config", config, "generate", "--pace", "soon", "real"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "generate", "--seed", "-1", "real"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "generate"}).status, 2);
    EXPECT_EQ(RunCli({"--config", config, "generate", "--all", "real"}).status, 2);
}

TEST(GenerateCommand, ASignalMidFileRemovesThatFileAndKeepsTheFinishedOnes) {
    // SIGHUP too: a dropped ssh session must not leave a cut-short file or lose the log.
    for (const auto& [signal, status] :
         {std::pair{SIGINT, 130}, std::pair{SIGTERM, 128 + SIGTERM}, std::pair{SIGHUP, 128 + SIGHUP}}) {
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
                            "-o", dir.File("out"), "small", "huge"},
                           ChildProcess::EErrors::WithOutput);
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
        EXPECT_EQ(FolderContents(dir.File("out")),
                  (std::map<std::string, std::string>{
                      {"smallbin0.bin", ReadFileBytes(dir.File("out/smallbin0.bin"))}}));
        EXPECT_EQ(ReadFileBytes(dir.File("out/smallbin0.bin")).size(), 1000u);
    }
}

TEST(GenerateCommand, DetailLinesNeedVerboseAndQuietPrintsNothingOnSuccess) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "csv", "table", "Rows=40", "Columns=1,2", "Files=2"})
            .status,
        0);
    // One job, so that the definition's two files are announced by one generator.
    const auto run = [&](const std::string& flag) {
        std::vector<std::string> args{"--config", config, "generate", "--pace", "0", "-o", dir.File("out")};
        args.insert(args.end(), {"--jobs", "1"});
        if (!flag.empty()) {
            args.push_back(flag);
        }
        args.push_back("table");
        const CliResult result = RunCli(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return result.out;
    };
    const auto count = [](const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++n;
        }
        return n;
    };
    const std::string normal = run("");
    EXPECT_EQ(count(normal, "bytes at end of block."), 0u) << normal;
    EXPECT_EQ(count(normal, "Starting 'table'\n"), 1u) << normal;
    EXPECT_EQ(count(normal, "generating 2 files"), 1u) << normal;
    EXPECT_EQ(count(normal, "Generator finished "), 1u) << normal;
    EXPECT_EQ(count(run("-v"), "bytes at end of block."), 80u);
    EXPECT_EQ(run("-q"), "");
    EXPECT_EQ(RunCli({"--config", config, "generate", "-q", "-v", "table"}).status, 2);
}

TEST(Cli, EveryCommandHasItsHelpAndTheConfigurationIsCheckedBeforeReading) {
    for (const std::string command :
         {"list", "show", "define", "generate", "verify", "hash", "crc", "hexdump", "exercise"}) {
        const CliResult help = RunCli({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind("Usage: fakemill-cli ", 0), 0u) << help.out;
        const std::string usage = help.out.substr(0, help.out.find('\n')) + " ";
        EXPECT_NE(usage.find(" " + command + " "), std::string::npos) << help.out;
    }
    EXPECT_NE(RunCli({"generate", "-h"}).out.find("--quiet"), std::string::npos);
    for (const std::string option : {"--jobs", "--shard", "--manifest"}) {
        EXPECT_NE(RunCli({"generate", "--help"}).out.find(option), std::string::npos) << option;
    }

    TempDir dir;
    // A named configuration must be there and be a readable file.
    for (const std::string& bad : {dir.File("missing.ini"), dir.Path().string()}) {
        for (const std::vector<std::string>& words : {std::vector<std::string>{"list"}, {"show", "x"}}) {
            std::vector<std::string> args{"--config", bad};
            args.insert(args.end(), words.begin(), words.end());
            const CliResult run = RunCli(args);
            EXPECT_EQ(run.status, 1) << words[0] << " " << bad;
            EXPECT_NE(run.err.find("'" + bad + "'"), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
    EXPECT_NE(RunCli({"--config", dir.Path().string(), "list"}).err.find("is a folder"), std::string::npos);

    // The default configuration of a first run: recorded, not yet written. It lists as empty,
    // silently; a command that needs a definition says once that the file is not there.
    const CliResult list = RunCli({"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Generator\tType\tMinimum Size\tMinimum Count\n");
    EXPECT_EQ(list.err, "");
    const CliResult show = RunCli({"show", "x"});
    EXPECT_EQ(show.status, 1);
    const std::size_t first = show.err.find("Not hopeful finding");
    EXPECT_NE(first, std::string::npos) << show.err;
    EXPECT_EQ(show.err.find("Not hopeful finding", first + 1), std::string::npos) << show.err;
    ASSERT_EQ(RunCli({"define", "--type", "bin", "first"}).status, 0);
    const CliResult after = RunCli({"list"});
    EXPECT_NE(after.out.find("first\tbin"), std::string::npos) << after.out;
    EXPECT_EQ(after.err, "");
}

TEST(GenerateCommand, ASignalEndsTheRunAfterTheFileInHand) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        const std::string config = dir.File("fakemill.ini");
        WriteFileBytes(config, "[slow]\nType=bin\nSize=1000\nFiles=40\n");
        const std::string out = dir.File("out");
        ChildProcess child(
            {FAKEMILL_CLI_PATH, "--config", config, "generate", "-o", out, "--pace", "300", "slow"});
        // Output to a pipe is buffered: the first finished file tells that the run is under way
        // (one caught while being written is removed by the signal, rightly).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const auto anyFinished = [&out] {
            std::error_code ignored;
            for (const auto& entry : std::filesystem::directory_iterator(out, ignored)) {
                if (entry.file_size(ignored) == 1000) {
                    return true;
                }
            }
            return false;
        };
        while (!anyFinished()) {
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

TEST(GenerateCommand, WhatAHandEditedFileGetsWrongIsNamedAndTheRestOfTheBatchRuns) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    // Written by hand: a prefix leading out of the destination, a unit nobody defines, a name
    // twice (case and blanks aside), sections of no known kind, and one good definition.
    WriteFileBytes(config, "[escape]\nType=bin\nPrefix=../../escaped\nSize=10\n"
                           "[gig]\nType=bin\nSize=1Gb\n"
                           "[Good]\nType=bin\nSize=2K\nFiles=2\nSimpleName=1\n"
                           "[huge]\nType=bin\nSize=5GB\nFiles=0\n"
                           "[ good ]\nType=txt\n"
                           "[notes]\ncomment=not a definition\n"
                           "[sound]\nType=wav\n");
    const CliResult list = RunCli({"--config", config, "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Generator\tType\tMinimum Size\tMinimum Count\n"
                        "escape\tbin\t10\t1\n"
                        "gig\tbin\t1\t1\n"
                        "Good\tbin\t2000\t2\n"
                        "huge\tbin\t5368709120\t0\n"
                        "notes\tunknown\t-\t-\n"
                        "sound\tunknown\t-\t-\n");
    EXPECT_EQ(list.err,
              "fakemill-cli list: warning: A later section [good] is ignored: a definition of that name "
              "comes first\n");

    const std::string out = dir.File("out/inner");
    const CliResult run = RunCli({"--config", config, "generate", "--pace", "0", "-o", out, "--all"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.err.find("'escape' not generated: Prefix=../../escaped: a part of a file name cannot hold the "
                     "path separator \"/\""),
        std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("'gig' not generated: Size=1Gb: \"Gb\" is not a unit"), std::string::npos)
        << run.err;
    std::size_t started = 0;
    for (std::size_t at = run.out.find("Starting '"); at != std::string::npos;
         at = run.out.find("Starting '", at + 1)) {
        ++started;
    }
    EXPECT_EQ(started, 4u) << "escape, gig, Good and huge, each once: " << run.out;
    // The good definition made its two files, once; nothing went outside the destination.
    EXPECT_EQ(FolderContents(out),
              (std::map<std::string, std::string>{{"fkbin0.bin", ReadFileBytes(out + "/fkbin0.bin")},
                                                  {"fkbin1.bin", ReadFileBytes(out + "/fkbin1.bin")}}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2)
        << "fakemill.ini and out";
    for (const std::string skipped :
         {"[notes] is skipped: its Type \"\" is not a known kind",
          "[sound] is skipped: its Type \"wav\" is not a known kind", "A later section [good] is ignored"}) {
        EXPECT_NE(run.err.find("fakemill-cli generate: warning: " + skipped), std::string::npos) << run.err;
    }
}
