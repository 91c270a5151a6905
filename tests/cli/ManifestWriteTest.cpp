// Manifests written where writing is hard: two batches into one folder at once, and a disk that
// fills up just before the manifest.

#include "engine/KSFileDigest.h"
#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <memory>
#include <sys/mount.h>
#include <sys/statvfs.h>

namespace fs = std::filesystem;

namespace {

std::string RecordedListSha256(const std::string& json) {
    const QJsonObject root =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size()))).object();
    return root.value(QStringLiteral("checksums"))
        .toObject()
        .value(QStringLiteral("sha256"))
        .toString()
        .toStdString();
}

// A small file system of its own, mounted for the test and gone after it.
class SmallTmpfs {
public:
    SmallTmpfs(const std::string& where, const std::string& size) : m_where(where) {
        fs::create_directories(where);
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallTmpfs() {
        if (m_mounted) {
            ::umount2(m_where.c_str(), MNT_DETACH);
        }
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    bool Mounted() const { return m_mounted; }
    std::uint64_t FreeBytes() const {
        struct statvfs info {};
        ::statvfs(m_where.c_str(), &info);
        return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    }

private:
    std::string m_where;
    bool m_mounted = false;
};

} // namespace

TEST(ManifestWrite, TwoBatchesAtOnceLeaveAMatchingPairEveryTime) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    WriteFileBytes(config, "[one]\nType=bin\nFiles=6\nSize=2K\n[two]\nType=txt\nFiles=9\nSize=1K\n");
    const std::string out = dir.File("out");
    for (int round = 0; round < 8; ++round) {
        std::vector<std::unique_ptr<ChildProcess>> batches;
        for (const char* name : {"one", "two"}) {
            batches.push_back(std::make_unique<ChildProcess>(
                std::vector<std::string>{FAKEMILL_CLI_PATH, "--config", config, "generate", "-q", "--pace",
                                         "0", "--manifest", "-o", out, name}));
        }
        for (auto& batch : batches) {
            ASSERT_EQ(batch->Wait(std::chrono::seconds(30)), 0) << "round " << round;
        }
        // Whichever batch wrote last, its list and its record belong together, and verify agrees.
        const std::string list = ReadFileBytes(out + "/fakemill.sha256");
        ASSERT_EQ(RecordedListSha256(ReadFileBytes(out + "/fakemill-manifest.json")), Sha256Hex(list))
            << "round " << round;
        const CliResult verify = RunCli({"verify", "--ignore-extra", out});
        EXPECT_EQ(verify.status, 0) << verify.out;
        EXPECT_EQ(verify.out.find("DISAGREE"), std::string::npos) << verify.out;
    }
    // Both batches' files are there; only the last batch is listed, so the others are extra.
    const CliResult strict = RunCli({"verify", out});
    EXPECT_EQ(strict.status, 1);
    EXPECT_NE(strict.out.find("EXTRA   fk"), std::string::npos) << strict.out;
    EXPECT_FALSE(fs::exists(out + "/.fakemill-manifest.json.lock"));
}

TEST(ManifestWrite, AFullDiskFailsTheRunAndKeepsTheEarlierManifest) {
    TempDir dir;
    SmallTmpfs disk(dir.File("disk"), "1m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "the kernel refused to mount a tmpfs here";
    }
    const std::string config = dir.File("fakemill.ini");
    WriteFileBytes(config, "[small]\nType=bin\nSize=4KB\n");
    const std::string out = dir.File("disk/out");
    ASSERT_EQ(
        RunCli({"--config", config, "generate", "--pace", "0", "--manifest", "-o", out, "small"}).status, 0);
    const std::string list = ReadFileBytes(out + "/fakemill.sha256");
    const std::string record = ReadFileBytes(out + "/fakemill-manifest.json");

    // A file that takes every byte left: it is written whole, then the manifest finds no room.
    const std::uint64_t left = disk.FreeBytes();
    ASSERT_GT(left, 0u);
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "bin", "filler", "Size=" + std::to_string(left)})
            .status,
        0);
    const CliResult full =
        RunCli({"--config", config, "generate", "--pace", "0", "--manifest", "-o", out, "filler"});
    EXPECT_EQ(full.status, 1) << full.out;
    EXPECT_NE(full.err.find("Manifest not written: cannot write " + out +
                            "/fakemill.sha256: No space left on device"),
              std::string::npos)
        << full.err;
    EXPECT_EQ(full.out.find("Manifest of"), std::string::npos) << full.out;
    EXPECT_EQ(ReadFileBytes(out + "/fakemill.sha256"), list);
    EXPECT_EQ(ReadFileBytes(out + "/fakemill-manifest.json"), record);
    for (const auto& entry : fs::directory_iterator(out)) {
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
    }
}
