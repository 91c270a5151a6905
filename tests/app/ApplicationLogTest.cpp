#include "app/KSFakemillLogger.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

    const std::string text = ReadFileBytes(output.GetPath().ToUtf8());
    EXPECT_EQ(text.find("not at level 1"), std::string::npos);
    EXPECT_EQ(text.rfind("ERROR:Could not read d\xC3\xA9"
                         "finitions.ini\nnarrow\n",
                         0),
              0u)
        << text;
    int warnings = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "every line ends with a line break";
        const std::string line = text.substr(start, end - start);
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
