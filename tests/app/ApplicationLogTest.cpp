#include "app/KSFakemillLogger.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

std::filesystem::path LogFolder() {
    return std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "ksfakemill";
}

} // namespace

TEST(ApplicationLog, ClaimsTheFirstFreeNumberUnderTheLocalDataFolder) {
    std::filesystem::create_directories(LogFolder());
    WriteFileBytes((LogFolder() / "ksfkmui0000.log").string(), "an earlier run\n");

    CKSFakemillLogger first;
    CKSFakemillLogger second; // chose the same free name before either claimed it
    EXPECT_EQ(first.GetLogPath().ToUtf8(), (LogFolder() / "ksfkmui0001.log").string());
    CKSFKMOutput firstOutput;
    CKSFKMOutput secondOutput;
    ASSERT_TRUE(firstOutput.Open(first));
    ASSERT_TRUE(secondOutput.Open(second));
    EXPECT_EQ(firstOutput.GetPath().ToUtf8(), (LogFolder() / "ksfkmui0001.log").string());
    EXPECT_EQ(secondOutput.GetPath().ToUtf8(), (LogFolder() / "ksfkmui0002.log").string());
    EXPECT_EQ(ReadFileBytes((LogFolder() / "ksfkmui0000.log").string()), "an earlier run\n");

    struct stat info {};
    ASSERT_EQ(::stat(firstOutput.GetPath().ToUtf8().c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IROTH, 0u) << "others may read the log while the program runs";
}

TEST(ApplicationLog, WritesErrorsAndWarningsAsUtf8LinesFromEveryThread) {
    CKSFakemillLogger logger;
    CKSFKMOutput output;
    ASSERT_TRUE(output.Open(logger));
    logger.SetOutput(&output);

    logger.InfoF("not at level 1 %d", 1);
    logger.ErrorF("Could not read %s", u"d\u00e9finitions.ini");
    output.WriteA("narrow\r\n");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&logger, t] {
            for (int i = 0; i < 200; ++i) {
                logger.WarningF("thread %d line %d", t, i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    logger.SetOutput(nullptr);

    // The header comes first, once, and the messages after it.
    logger.Flush(true);
    const std::string text = ReadFileBytes(output.GetPath().ToUtf8());
    EXPECT_EQ(text.find("not at level 1"), std::string::npos);
    // Matched on the opening lines only: a pattern over the whole text recurses once per character.
    const std::regex header(" LOG\r\n-{26}\r\nLog file created: \\d{1,2}/\\d{1,2}, \\d\\d:\\d\\d:\\d\\d\r\n"
                            "ERROR:Could not read d\xC3\xA9"
                            "finitions.ini\nnarrow\n");
    const std::size_t opening = text.find("narrow\n");
    ASSERT_NE(opening, std::string::npos) << text;
    EXPECT_TRUE(std::regex_match(text.substr(0, opening + 7), header)) << text;
    EXPECT_EQ(text.find("Log file created", text.find("created") + 1), std::string::npos) << text;
    int warnings = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "every line ends with a line break";
        const std::string line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            start = end + 1; // a header line
            continue;
        }
        if (line.rfind("WARNING:thread ", 0) == 0) {
            ++warnings;
        }
        start = end + 1;
    }
    EXPECT_EQ(warnings, 800);
}

TEST(ApplicationLog, ALogFolderThatCannotBeMadeFallsBackToTheTemporaryFolder) {
    std::filesystem::remove_all(std::getenv("XDG_DATA_HOME"));
    WriteFileBytes(std::getenv("XDG_DATA_HOME"), "in the way");
    CKSFakemillLogger logger;
    CKSFKMOutput output;
    ASSERT_TRUE(output.Open(logger));
    EXPECT_EQ(output.GetPath().ToUtf8().rfind(std::string(std::getenv("TMPDIR")) + "/ksfkmui", 0), 0u)
        << output.GetPath().ToUtf8();
}

TEST(ApplicationLog, KeepsTheTwentyNewestLogsAndNothingElseIsTouched) {
    std::filesystem::create_directories(LogFolder());
    // 30 logs of earlier runs, the lower numbers the newer (numbers are reused once freed, so
    // only the time tells their age), and files that are not logs of ours.
    const auto now = std::filesystem::file_time_type::clock::now();
    for (int n = 0; n < 30; ++n) {
        const std::filesystem::path log = LogFolder() / ("ksfkmui" + std::to_string(1000 + n) + ".log");
        WriteFileBytes(log.string(), "run " + std::to_string(n) + "\n");
        std::filesystem::last_write_time(log, now - std::chrono::hours(1 + n));
    }
    const std::vector<std::string> foreign = {"notes.txt", "ksfkmui1.log", "ksfkmui0001.log.bak",
                                              "other0001.log", "ksfkmuiabcd.log"};
    for (const std::string& name : foreign) {
        WriteFileBytes((LogFolder() / name).string(), "keep me");
        std::filesystem::last_write_time(LogFolder() / name, now - std::chrono::hours(100));
    }
    std::filesystem::create_directory(LogFolder() / "ksfkmui0500.log");
    WriteFileBytes(std::getenv("TMPDIR") + std::string("/target"), "outside");
    std::filesystem::create_symlink(std::string(std::getenv("TMPDIR")) + "/target",
                                    LogFolder() / "ksfkmui0600.log");

    CKSFakemillLogger logger;
    CKSFKMOutput output;
    ASSERT_TRUE(output.Open(logger));
    const std::vector<std::string> removed = logger.RemoveOldLogFiles();
    EXPECT_EQ(removed.size(), 11u);
    EXPECT_TRUE(std::filesystem::exists(output.GetPath().ToUtf8()));
    for (int n = 0; n < 30; ++n) {
        const std::filesystem::path log = LogFolder() / ("ksfkmui" + std::to_string(1000 + n) + ".log");
        EXPECT_EQ(std::filesystem::exists(log), n < 19) << log;
    }
    for (const std::string& name : foreign) {
        EXPECT_EQ(ReadFileBytes((LogFolder() / name).string()), "keep me") << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(LogFolder() / "ksfkmui0500.log"));
    EXPECT_TRUE(std::filesystem::is_symlink(LogFolder() / "ksfkmui0600.log"));
    EXPECT_EQ(ReadFileBytes(std::getenv("TMPDIR") + std::string("/target")), "outside");
    // A second start finds exactly twenty and removes none.
    EXPECT_TRUE(logger.RemoveOldLogFiles().empty());
}
