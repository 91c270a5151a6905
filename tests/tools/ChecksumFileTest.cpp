// Checksum files that the standard sum tools check, read back, and the hashing that a window
// relies on: a FIFO is refused at once instead of holding the thread, and progress adds up.

#include "tools/ChecksumFile.h"
#include "support/KSWinCrypto.h"
#include "tests/common/TempDir.h"
#include "tools/FileHasher.h"
#include "tools/HashKinds.h"
#include "tools/KSHamperingAgent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <sys/stat.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string Hash(const std::string& path, std::uint32_t code) {
    CKSString hash;
    int error = 0;
    EXPECT_TRUE(HashFile(CKSString::FromUtf8(path), code, nullptr, hash, error)) << path;
    return hash.ToUtf8();
}

// The output and exit status of a shell command.
std::pair<std::string, int> Shell(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return {"", -1};
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace

TEST(ChecksumFile, TheSumToolsAcceptWhatIsWrittenAndWhatTheyWriteReadsBack) {
    TempDir dir;
    // Names the format must escape, and one with the spaces a careless reader would split at.
    const std::vector<std::string> names = {"plain.bin", "two  spaces.txt", "back\\slash", "new\nline",
                                            "carriage\rreturn"};
    std::vector<ChecksumEntry> entries;
    for (const std::string& name : names) {
        WriteFileBytes(dir.File(name), "content of " + name);
        entries.push_back({CKSString::FromUtf8(dir.File(name)), Hash(dir.File(name), kHashCodeSha256)});
    }
    // Upper-case digits, as the calculator shows them, are written lower-case.
    EXPECT_NE(entries[0].digits.find_first_of("ABCDEF"), std::string::npos);
    const std::string sums = dir.File("SHA256SUMS");
    int error = 0;
    ASSERT_TRUE(WriteChecksumFile(CKSString::FromUtf8(sums), entries, error)) << error;

    const auto [output, status] = Shell("sha256sum -c '" + sums + "'");
    if (status == 127) {
        GTEST_SKIP() << "sha256sum is not installed";
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), static_cast<long>(names.size())) << output;

    // Our own reader takes the file back whole, and the tools' own files too (plain and tagged).
    ChecksumListing listing;
    ASSERT_TRUE(ReadChecksumFile(CKSString::FromUtf8(sums), listing, error));
    ASSERT_EQ(listing.entries.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(listing.entries[i].path.ToUtf8(), dir.File(names[i]));
        EXPECT_TRUE(strcasecmp(listing.entries[i].digits.c_str(), entries[i].digits.c_str()) == 0);
    }
    EXPECT_EQ(listing.unreadableLines, 0u);
    TempDir elsewhere;
    for (const char* options : {"", "--tag", "-b"}) {
        const std::string theirs = elsewhere.File(std::string("theirs") + options);
        ASSERT_EQ(
            Shell("cd '" + dir.Path().string() + "' && md5sum " + options + " * > '" + theirs + "'").second,
            0);
        ASSERT_TRUE(ReadChecksumFile(CKSString::FromUtf8(theirs), listing, error));
        ASSERT_EQ(listing.entries.size(), names.size() + 1) << options; // SHA256SUMS is listed too
        for (const ChecksumEntry& entry : listing.entries) {
            // Relative names are taken from the checksum file's folder (here, as if it lay beside them).
            const CKSString resolved = ResolveChecksumPath(CKSString::FromUtf8(dir.File("SUMS")), entry.path);
            EXPECT_EQ(HashCodeForDigits(entry.digits.size()), kHashCodeMd5);
            EXPECT_TRUE(strcasecmp(entry.digits.c_str(), Hash(resolved.ToUtf8(), kHashCodeMd5).c_str()) == 0)
                << options << " " << entry.path.ToUtf8();
        }
    }
    // Lines that are not checksum lines are counted, not taken for names.
    WriteFileBytes(dir.File("mixed"), "# comment\nnot a line\n0123abcd  ok.bin\n\n0123  \nMD5 (x) = zz\n");
    ASSERT_TRUE(ReadChecksumFile(CKSString::FromUtf8(dir.File("mixed")), listing, error));
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].path.ToUtf8(), "ok.bin");
    EXPECT_EQ(listing.unreadableLines, 4u);

    // A file that cannot be written or read says so.
    EXPECT_FALSE(WriteChecksumFile(CKSString::FromUtf8(dir.File("no/such/folder/SUMS")), entries, error));
    EXPECT_FALSE(ReadChecksumFile(CKSString::FromUtf8(dir.File("missing")), listing, error));
    EXPECT_EQ(error, ENOENT);
}

TEST(FileHasher, ForAWindowAFifoOrFolderFailsAtOnceAndProgressAddsUpToTheSize) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    HashFileOptions options;
    options.regularFilesOnly = true;
    CKSString hash;
    int error = 0;
    // Without the option the open would wait for a writer that never comes.
    const auto started = Clock::now();
    EXPECT_FALSE(HashFile(CKSString::FromUtf8(fifo), kHashCodeMd5, nullptr, hash, error, options));
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));
    EXPECT_EQ(error, EINVAL);
    EXPECT_FALSE(
        HashFile(CKSString::FromUtf8(dir.Path().string()), kHashCodeCrc, nullptr, hash, error, options));
    EXPECT_EQ(error, EISDIR);

    // Progress: every read reported, the last one at the whole size; the hash is unchanged.
    const std::string big = dir.File("big.bin");
    WriteFileBytes(big, std::string(kHashReadSize * 3 + 17, 'x'));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    options.progress = [&](std::uint64_t done, std::uint64_t size) { reports.emplace_back(done, size); };
    ASSERT_TRUE(HashFile(CKSString::FromUtf8(big), kHashCodeSha1, nullptr, hash, error, options));
    EXPECT_EQ(hash.ToUtf8(), Hash(big, kHashCodeSha1));
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports.back(),
              (std::pair<std::uint64_t, std::uint64_t>{kHashReadSize * 3 + 17, kHashReadSize * 3 + 17}));
}

TEST(HamperingAgentAbandon, CutsARotateHoldShortAndLetsEveryFileGo) {
    TempDir dir;
    WriteFileBytes(dir.File("a"), "a");
    CKSManualResetEvent stop;
    CKSHamperingAgent agent(&stop);
    agent.SetMode(kHamperModeRotate);
    agent.AddTarget(CKSString::FromUtf8(dir.File("a")));
    ASSERT_TRUE(agent.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto started = Clock::now();
    agent.Abandon();
    EXPECT_TRUE(agent.WaitForExit(CKSHamperingAgent::kRotateHoldMilliseconds));
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000));
    // The next run starts afresh and holds again until told otherwise.
    agent.SetRotateHold(60000);
    ASSERT_TRUE(agent.Start());
    EXPECT_FALSE(agent.WaitForExit(300));
    agent.Abandon();
    EXPECT_TRUE(agent.WaitForExit(1000));
}
