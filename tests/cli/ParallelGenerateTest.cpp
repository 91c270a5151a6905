#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

bool IsManifest(const fs::path& path) {
    return path.filename().string().rfind("fakemill", 0) == 0;
}

// Every generated file under the folder (manifests left out), by relative path.
std::map<std::string, std::string> Contents(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && !IsManifest(entry.path())) {
            files[fs::relative(entry.path(), folder).string()] = ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

// Binary, picture and text definitions, with file counts drawn from ranges, names with and
// without SimpleName, and a sub-folder.
std::string DefineMixedBatch(const TempDir& dir) {
    const std::string config = dir.File("fakemill.ini");
    const std::vector<std::vector<std::string>> definitions = {
        {"bin", "b", "Files=9,14", "Size=1K,30K", "SimpleName=1", "CRC=1"},
        {"bin", "holes", "Files=3", "Size=20K,40K", "Quick=1", "Folder=sub", "SimpleName=1"},
        {"img", "p", "Files=5", "ImageType=png", "Width=20,120", "Height=20,90"},
        {"txt", "t", "Files=4,6", "Size=1K,8K", "SimpleName=1"},
    };
    for (const auto& definition : definitions) {
        std::vector<std::string> args = {"--config", config, "define", "--type"};
        args.insert(args.end(), definition.begin(), definition.end());
        EXPECT_EQ(RunCli(args).status, 0) << definition[1];
    }
    return config;
}

int RunShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellOutput(const std::string& command) {
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        text += buffer;
    }
    return text;
}

} // namespace

TEST(ParallelGenerate, ASeedGivesTheSameFilesWhateverTheJobs) {
    TempDir dir;
    const std::string config = DefineMixedBatch(dir);
    for (const char* jobs : {"1", "2", "5"}) {
        const CliResult run = RunCli({"--config", config, "generate", "--pace", "0", "--seed", "99", "--jobs",
                                      jobs, "-o", dir.File(std::string("jobs") + jobs), "--all"});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
    }
    const auto one = Contents(dir.Path() / "jobs1");
    ASSERT_GE(one.size(), 21u);
    EXPECT_EQ(one.count("sub/fkbin2.bin"), 1u);
    EXPECT_EQ(one, Contents(dir.Path() / "jobs2"));
    EXPECT_EQ(one, Contents(dir.Path() / "jobs5"));

    // Another seed gives other files; files of one run differ from one another.
    ASSERT_EQ(
        RunCli({"--config", config, "generate", "--pace", "0", "--seed", "100", "-o", dir.File("other"), "b"})
            .status,
        0);
    const auto other = Contents(dir.Path() / "other");
    ASSERT_TRUE(other.count("fkbin0.bin") && other.count("fkbin1.bin"));
    EXPECT_NE(other.at("fkbin0.bin"), one.at("fkbin0.bin"));
    EXPECT_NE(one.at("fkbin0.bin").substr(0, 64), one.at("fkbin1.bin").substr(0, 64));
}

TEST(ParallelGenerate, ThreeShardProcessesMakeTheWholeBatchBetweenThem) {
    TempDir dir;
    const std::string config = DefineMixedBatch(dir);
    ASSERT_EQ(RunCli({"--config", config, "generate", "--pace", "0", "--seed", "7", "-o", dir.File("whole"),
                      "--all"})
                  .status,
              0);
    std::vector<std::unique_ptr<ChildProcess>> shards;
    for (int i = 0; i < 3; ++i) {
        shards.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
            FAKEMILL_CLI_PATH, "--config", config, "generate", "--pace", "0", "--seed", "7", "--shard",
            std::to_string(i) + "/3", "-o", dir.File("shard" + std::to_string(i)), "--all"}));
    }
    std::map<std::string, std::string> united;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(shards[static_cast<std::size_t>(i)]->Wait(std::chrono::seconds(60)), 0) << i;
        const auto part = Contents(dir.Path() / ("shard" + std::to_string(i)));
        EXPECT_FALSE(part.empty()) << i;
        for (const auto& [name, bytes] : part) {
            EXPECT_TRUE(united.emplace(name, bytes).second) << name << " made by two shards";
        }
    }
    EXPECT_EQ(united, Contents(dir.Path() / "whole"));
}

TEST(ParallelGenerate, TheManifestAgreesWithSha256sumAndVerifyFindsEveryDamage) {
    TempDir dir;
    const std::string config = DefineMixedBatch(dir);
    // A name with a backslash needs the escaped form of a checksum line.
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "bin", "odd", "Prefix=a\\b", "Files=2", "Size=3K"})
            .status,
        0);
    const std::string out = dir.File("out");
    const CliResult run = RunCli(
        {"--config", config, "generate", "--pace", "0", "--jobs", "3", "--manifest", "-o", out, "--all"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const auto files = Contents(out);

    // Every file is listed once, with the hash and size sha256sum and the disk give.
    const std::string listed = ReadFileBytes(out + "/fakemill.sha256");
    const std::string json = ReadFileBytes(out + "/fakemill-manifest.json");
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), static_cast<long>(files.size()));
    for (const auto& [name, bytes] : files) {
        std::string sum = ShellOutput("sha256sum '" + (fs::path(out) / name).string() + "'");
        sum = sum.substr(sum.rfind('\\', 0) == 0 ? 1 : 0, 64); // an escaped name starts its line with '\\'
        ASSERT_EQ(sum.size(), 64u) << name;
        EXPECT_NE(listed.find(sum), std::string::npos) << name;
        EXPECT_NE(json.find("\"sha256\": \"" + sum + "\""), std::string::npos) << name;
        EXPECT_NE(json.find("\"size\": " + std::to_string(bytes.size()) + "\n"), std::string::npos) << name;
    }
    EXPECT_NE(json.find("\"stopped\": false"), std::string::npos);
    EXPECT_NE(json.find("\"Quick\": \"1\""), std::string::npos) << "properties as used";
    EXPECT_EQ(RunShell("cd '" + out + "' && sha256sum --quiet -c fakemill.sha256"), 0);
    CliResult verify = RunCli({"verify", out});
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;

    // A changed byte, a truncated file and a missing one: verify names each, sha256sum agrees.
    std::string bytes = files.at("fkbin1.bin");
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x40);
    WriteFileBytes(out + "/fkbin1.bin", bytes);
    fs::resize_file(out + "/sub/fkbin0.bin", files.at("sub/fkbin0.bin").size() - 1);
    fs::remove(out + "/fktxt2.txt");
    verify = RunCli({"verify", out + "/fakemill-manifest.json"});
    EXPECT_EQ(verify.status, 1);
    std::istringstream lines(verify.out);
    std::vector<std::string> reported;
    for (std::string line; std::getline(lines, line);) {
        reported.push_back(line);
    }
    ASSERT_EQ(reported.size(), 4u) << verify.out;
    const std::string all = verify.out;
    EXPECT_NE(all.find("CHANGED fkbin1.bin\n"), std::string::npos) << all;
    EXPECT_NE(all.find("SIZE    sub/fkbin0.bin ("), std::string::npos) << all;
    EXPECT_NE(all.find("MISSING fktxt2.txt\n"), std::string::npos) << all;
    EXPECT_NE(reported.back().find(std::to_string(files.size()) + " files listed: " +
                                   std::to_string(files.size() - 3) + " match, 2 changed, 1 missing"),
              std::string::npos)
        << all;
    EXPECT_NE(RunShell("cd '" + out + "' && sha256sum --quiet -c fakemill.sha256 >/dev/null 2>&1"), 0);
    // The checksum list alone finds the same three.
    verify = RunCli({"verify", out + "/fakemill.sha256"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("2 changed, 1 missing"), std::string::npos) << verify.out;
}

TEST(ParallelGenerate, CtrlCWithSeveralJobsListsOnlyFinishedFiles) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "big", "Files=400", "Size=2MB",
                      "SimpleName=1"})
                  .status,
              0);
    const std::string out = dir.File("out");
    ChildProcess child({FAKEMILL_CLI_PATH, "--config", config, "generate", "--pace", "0", "--jobs", "3",
                        "--manifest", "-o", out, "big"});
    // Let every part get going, then stop the batch while files are being written.
    while (!fs::exists(out) || std::distance(fs::directory_iterator(out), fs::directory_iterator()) < 6) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(std::chrono::seconds(30)), 130);

    const std::string json = ReadFileBytes(out + "/fakemill-manifest.json");
    EXPECT_NE(json.find("\"stopped\": true"), std::string::npos) << json.substr(0, 400);
    const CliResult verify = RunCli({"verify", out});
    EXPECT_EQ(verify.status, 0) << verify.out;
    EXPECT_NE(verify.out.find("the batch was stopped"), std::string::npos) << verify.out;
    // Fewer than all were made; every file left is whole and listed: none was cut short.
    const std::string listed = ReadFileBytes(out + "/fakemill.sha256");
    const auto files = Contents(out);
    EXPECT_GT(files.size(), 0u);
    EXPECT_LT(files.size(), 400u);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), static_cast<long>(files.size()));
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(bytes.size(), 2097152u) << name;
        EXPECT_NE(listed.find("  " + name + "\n"), std::string::npos) << name;
    }
}

TEST(ParallelGenerate, JobsAndShardsAreCheckedBeforeAnythingRuns) {
    TempDir dir;
    const std::string config = DefineMixedBatch(dir);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--jobs", "0"},
                                                {"--jobs", "17"},
                                                {"--jobs", "x"},
                                                {"--shard", "3/3"},
                                                {"--shard", "1"},
                                                {"--shard", "0/0"},
                                                {"--shard", "-1/2"},
                                                {"--shard", "1/2x"}}) {
        std::vector<std::string> args = {"--config", config, "generate", "-o", dir.File("out")};
        args.insert(args.end(), bad.begin(), bad.end());
        args.push_back("b");
        EXPECT_EQ(RunCli(args).status, 2) << bad[0] << " " << bad[1];
    }
    EXPECT_FALSE(fs::exists(dir.File("out")));
    EXPECT_EQ(RunCli({"verify", dir.File("nothing")}).status, 1);
    EXPECT_EQ(RunCli({"verify", dir.Path().string()}).status, 1); // a folder without a manifest
}
