// Shards as a scheduler runs them: killed at any moment and run again with the same command,
// into one shared folder, until each has finished once. What they leave must be the batch.

#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Every file under the folder but the manifests, by relative path.
std::map<std::string, std::string> Generated(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const bool manifest = name.rfind("fakemill", 0) == 0 || name.rfind(".fakemill-manifest", 0) == 0;
        if (!entry.is_directory() && !manifest) {
            files[fs::relative(entry.path(), folder).string()] = ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

std::vector<std::string> ShardCommand(const std::string& config, const std::string& out, int shard) {
    return {FAKEMILL_CLI_PATH,
            "--config",
            config,
            "generate",
            "-q",
            "--pace",
            "0",
            "--seed",
            "42",
            "--jobs",
            "2",
            "--shard",
            std::to_string(shard) + "/3",
            "--manifest",
            "-o",
            out,
            "--all"};
}

} // namespace

TEST(RetriedShards, ShardsKilledAtRandomMomentsAndRunAgainLeaveExactlyTheWholeBatch) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    // Files large enough to be caught half written, small enough for twenty rounds.
    WriteFileBytes(config, "[big]\nType=bin\nFiles=4\nSize=1MB,3MB\nSimpleName=1\n"
                           "[holes]\nType=bin\nFiles=3\nSize=1MB\nQuick=1\nFolder=sub\n"
                           "[text]\nType=txt\nFiles=6\nSize=20K,200K\n"
                           "[table]\nType=csv\nFiles=2\nColumns=1,3,4\nRows=2000\n"
                           "[pictures]\nType=img\nFiles=5\nImageType=png\nWidth=200,400\nHeight=200,300\n");
    const std::string whole = dir.File("whole");
    const auto started = Clock::now();
    ASSERT_EQ(
        RunCli({"--config", config, "generate", "-q", "--pace", "0", "--seed", "42", "-o", whole, "--all"})
            .status,
        0);
    const auto wholeRun = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    const std::map<std::string, std::string> batch = Generated(whole);
    ASSERT_EQ(batch.size(), 20u);

    const std::string shared = dir.File("shared");
    std::mt19937 random(20250101);
    std::uniform_int_distribution<long> moment(0, std::max<long>(wholeRun.count() / 2, 20));
    for (int round = 0; round < 20; ++round) {
        const int shard = round % 3;
        {
            ChildProcess killed(ShardCommand(config, shared, shard));
            std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
            killed.Signal(SIGKILL);
            killed.Wait();
        }
        ChildProcess again(ShardCommand(config, shared, shard));
        ASSERT_EQ(again.Wait(std::chrono::seconds(60)), 0) << "round " << round << ", shard " << shard;
    }
    // The three shards together hold the batch, byte for byte, and nothing else.
    EXPECT_EQ(Generated(shared), batch);
    const CliResult verify = RunCli({"verify", shared});
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_EQ(verify.out.find("EXTRA"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("20 files listed: 20 match, 0 changed, 0 missing\n"), std::string::npos)
        << verify.out;
}

TEST(RetriedShards, ShardsNeedOneSeedAndSplitTheBundledExamplesEvenly) {
    TempDir dir;
    const CliResult unseeded =
        RunCli({"--config", FAKEMILL_EXAMPLES, "generate", "--shard", "0/2", "-o", dir.File("out"), "--all"});
    EXPECT_EQ(unseeded.status, 2);
    EXPECT_NE(unseeded.err.find("shards need one seed"), std::string::npos) << unseeded.err;
    EXPECT_FALSE(fs::exists(dir.File("out")));

    std::map<std::string, std::string> united;
    std::size_t most = 0;
    std::size_t fewest = SIZE_MAX;
    for (int shard = 0; shard < 8; ++shard) {
        const std::string out = dir.File("shard" + std::to_string(shard));
        ASSERT_EQ(RunCli({"--config", FAKEMILL_EXAMPLES, "generate", "-q", "--pace", "0", "--seed", "42",
                          "--shard", std::to_string(shard) + "/8", "-o", out, "--all"})
                      .status,
                  0);
        const std::map<std::string, std::string> part = fs::exists(out) ? Generated(out) : decltype(part){};
        most = std::max(most, part.size());
        fewest = std::min(fewest, part.size());
        united.insert(part.begin(), part.end());
    }
    // 21 files over 8 shards: 2 or 3 each, where whole definitions gave 15, 4, 2 and five empty.
    EXPECT_EQ(united.size(), 21u);
    EXPECT_LE(most, 3u);
    EXPECT_GE(fewest, 2u);
}
