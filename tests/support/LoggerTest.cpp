#include "support/KSLogger.h"
#include "support/KSManualResetEvent.h"
#include "support/KSSynchronizer.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Line {
    std::u16string text;
    bool error;
};

class RecordingOutput : public IOutput {
public:
    void Write(std::u16string_view text, bool error) override {
        lines.push_back({std::u16string(text), error});
    }
    void WriteA(std::string_view text) override { lines.push_back({Utf8ToUtf16(text), false}); }
    std::vector<Line> lines;
};

std::filesystem::path TempFolder() {
    return std::filesystem::path(std::getenv("TMPDIR"));
}

// A logger whose folder is chosen by the test.
class FolderLogger : public CKSLogger {
public:
    FolderLogger(std::u16string folder, std::string_view options)
        : CKSLogger(u"ksapp", options), m_folder(std::move(folder)) {
        ChooseLogPath();
    }
    CKSString GetLogFolder() const override { return CKSString(m_folder); }

private:
    std::u16string m_folder;
};

} // namespace

TEST(Logger, LevelsFilterMessages) {
    CKSLogger logger;
    RecordingOutput output;
    logger.SetOutput(&output);
    EXPECT_EQ(logger.GetLevel(), 1);
    logger.InfoF("info %d", 1);
    logger.DebugF("debug %d", 1);
    logger.Info(u"plain info");
    logger.ErrorF("x %d", 5);
    logger.WarningF(u"w %s", u"text");
    ASSERT_EQ(output.lines.size(), 2u);
    EXPECT_EQ(output.lines[0].text, u"ERROR:x 5");
    EXPECT_TRUE(output.lines[0].error);
    EXPECT_EQ(output.lines[1].text, u"WARNING:w text");
    EXPECT_TRUE(output.lines[1].error);

    output.lines.clear();
    logger.SetLevel(2);
    logger.InfoF("info %d", 2);
    logger.Info(u"plain");
    logger.DebugF("debug");
    ASSERT_EQ(output.lines.size(), 2u);
    EXPECT_EQ(output.lines[0].text, u"info 2");
    EXPECT_FALSE(output.lines[0].error);

    output.lines.clear();
    logger.SetLevel(3);
    logger.DebugF("debug %u", 3u);
    ASSERT_EQ(output.lines.size(), 1u);
    EXPECT_EQ(output.lines[0].text, u"debug 3");

    output.lines.clear();
    logger.SetLevel(0);
    logger.ErrorF("nothing");
    logger.WarningF("nothing");
    EXPECT_TRUE(output.lines.empty());

    // Without an output messages are dropped quietly.
    logger.SetLevel(3);
    logger.SetOutput(nullptr);
    logger.ErrorF("dropped");
    EXPECT_TRUE(output.lines.empty());
}

TEST(Logger, OptionLettersApplyFromLeftToRight) {
    CKSLogger logger(u"opts", "ai");
    EXPECT_EQ(logger.GetLevel(), 2);
    EXPECT_TRUE(logger.GetSaveAlways());
    EXPECT_EQ(CKSLogger(u"opts", "").GetLevel(), 1);
    EXPECT_FALSE(CKSLogger(u"opts", "").GetSaveAlways());
    EXPECT_EQ(CKSLogger(u"opts", "di").GetLevel(), 2);
    EXPECT_EQ(CKSLogger(u"opts", "id").GetLevel(), 3);
    EXPECT_EQ(CKSLogger(u"opts", "dze").GetLevel(), 1);
    EXPECT_EQ(CKSLogger(u"opts", "b").GetThreshold(), 16384u);
    EXPECT_EQ(CKSLogger(u"opts", "bsss").GetThreshold(), 2048u);
}

TEST(Logger, MessagesAreCutTo255Characters) {
    CKSLogger logger(u"cut", "d");
    RecordingOutput output;
    logger.SetOutput(&output);
    const std::u16string long300(300, u'm');
    logger.InfoF("%s", long300);
    logger.ErrorF(u"%s", long300);
    logger.Info(long300);
    ASSERT_EQ(output.lines.size(), 3u);
    EXPECT_EQ(output.lines[0].text, long300.substr(0, 255));
    EXPECT_EQ(output.lines[1].text, u"ERROR:" + long300.substr(0, 249));
    EXPECT_EQ(output.lines[2].text, long300.substr(0, 255));
}

TEST(Logger, LogPathTakesTheFirstFreeNumber) {
    // The default logger keeps its file in the user's temporary folder.
    EXPECT_EQ(CKSLogger().GetLogFolder().ToUtf8(), TempFolder().string());

    TempDir temp;
    const std::u16string folder = Utf8ToUtf16(temp.Path().string());
    EXPECT_EQ(FolderLogger(folder, "").GetLogPath().ToUtf8(), temp.File("ksapp0000.log"));
    WriteFileBytes(temp.File("ksapp0000.log"), "");
    WriteFileBytes(temp.File("ksapp0001.log"), "");
    EXPECT_EQ(FolderLogger(folder, "").GetLogPath().ToUtf8(), temp.File("ksapp0002.log"));
}

TEST(Logger, OnlySaveAlwaysCreatesTheOwnFile) {
    const std::filesystem::path temp = TempFolder();
    {
        CKSLogger quiet(u"quiet", "i");
        quiet.Flush(true);
        quiet.Close();
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "quiet0000.log"));

    CKSLogger saving(u"saving", "a");
    saving.Flush(false); // below the threshold: nothing yet
    EXPECT_FALSE(std::filesystem::exists(temp / "saving0000.log"));
    saving.Close();
    EXPECT_TRUE(std::filesystem::exists(temp / "saving0000.log"));
}

TEST(Logger, FlushWritesTheHeaderLinesAsUtf8) {
    CKSLogger logger(u"head", "a");
    logger.SetTitle(u"Fakemill \u00e9t\u00e9");
    logger.Close();
    const std::string text = ReadFileBytes(logger.GetLogPath().ToUtf8());
    const std::string header = "Fakemill \xc3\xa9t\xc3\xa9 LOG\r\n" + std::string(26, '-') + "\r\n";
    ASSERT_EQ(text.rfind(header, 0), 0u) << text;
    const std::string rest = text.substr(header.size());
    EXPECT_TRUE(
        std::regex_match(rest, std::regex("Log file created: \\d{1,2}/\\d{1,2}, \\d\\d:\\d\\d:\\d\\d\r\n")))
        << rest;

    // The header is written once per title; a later flush adds only the creation line.
    logger.Flush(true);
    const std::string again = ReadFileBytes(logger.GetLogPath().ToUtf8());
    EXPECT_EQ(again.find("LOG\r\n", header.size()), std::string::npos);
    EXPECT_EQ(again.size(), text.size() + rest.size());
}

TEST(Logger, FlushSkipsWhenTheLockIsBusy) {
    CKSLogger logger(u"locked", "a");
    CKSSynchronizer lock;
    logger.SetLock(&lock);
    CKSManualResetEvent locked;
    CKSManualResetEvent release;
    std::thread holder([&] {
        lock.Lock();
        locked.Set();
        release.Wait(kWaitForever);
        lock.Unlock();
    });
    ASSERT_TRUE(locked.Wait(10000));
    logger.Flush(true);
    EXPECT_FALSE(std::filesystem::exists(logger.GetLogPath().ToUtf8()));
    release.Set();
    holder.join();
    logger.Close(); // waits for the lock, then flushes
    EXPECT_TRUE(std::filesystem::exists(logger.GetLogPath().ToUtf8()));
}

TEST(Logger, LoggersWhoseNamesCollideNeverShareAFile) {
    // Both choose collide0000.log before either writes; the exclusive create gives it to one.
    CKSLogger first(u"collide", "a");
    CKSLogger second(u"collide", "a");
    ASSERT_EQ(first.GetLogPath().View(), second.GetLogPath().View());
    second.SetTitle(u"second");
    first.SetTitle(u"first");
    second.Close();
    first.Close();
    EXPECT_NE(first.GetLogPath().View(), second.GetLogPath().View());
    EXPECT_EQ(ReadFileBytes(second.GetLogPath().ToUtf8()).rfind("second LOG", 0), 0u);
    EXPECT_EQ(ReadFileBytes(first.GetLogPath().ToUtf8()).rfind("first LOG", 0), 0u);
    EXPECT_TRUE(second.GetLogPath().ToUtf8().ends_with("collide0000.log"));
    EXPECT_TRUE(first.GetLogPath().ToUtf8().ends_with("collide0001.log"));
}

TEST(Logger, LoggersInTwoProcessesNeverShareAFile) {
    // The logger is chosen before the fork, so both processes hold the same candidate name.
    CKSLogger logger(u"ksproc", "a");
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        const bool claimed = logger.ClaimLogFile();
        const std::string path = claimed ? logger.GetLogPath().ToUtf8() : std::string();
        const bool sent = ::write(pipeEnds[1], path.data(), path.size()) == static_cast<ssize_t>(path.size());
        ::_exit(claimed && sent ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    ASSERT_TRUE(logger.ClaimLogFile());
    std::string childPath(4096, '\0');
    const ssize_t n = ::read(pipeEnds[0], childPath.data(), childPath.size());
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GT(n, 0);
    childPath.resize(static_cast<std::size_t>(n));
    EXPECT_NE(childPath, logger.GetLogPath().ToUtf8());
    EXPECT_TRUE(std::filesystem::exists(childPath));
    EXPECT_TRUE(std::filesystem::exists(logger.GetLogPath().ToUtf8()));
}

TEST(Logger, AFolderOverThePlatformLimitIsRefused) {
    TempDir temp;
    const std::u16string folder = Utf8ToUtf16(temp.Path().string()) + u"/" + std::u16string(5000, u'd');
    FolderLogger logger(folder, "a");
    EXPECT_FALSE(logger.ClaimLogFile());
    logger.Close(); // nothing to write to, and nothing thrown
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST(Logger, FileSinkWritesUtf8Throughout) {
    TempDir temp;
    const std::string path = temp.File("app.log");
    {
        CKSFileLogger sink;
        ASSERT_TRUE(sink.Open(CKSString::FromUtf8(path)));
        CKSLogger logger(u"sink", "i");
        logger.SetOutput(&sink);
        logger.InfoF(u"caf\u00e9 %d\r\n", 1);
        sink.WriteA("narrow \xe2\x82\xac\r\n");
        sink.Write(u"\U0001F600", false);
    }
    EXPECT_EQ(ReadFileBytes(path), "caf\xc3\xa9 1\r\nnarrow \xe2\x82\xac\r\n\xf0\x9f\x98\x80");
}

TEST(Logger, FileSinkKeepsLinesFromSeveralThreadsWhole) {
    TempDir temp;
    const std::string path = temp.File("threads.log");
    CKSFileLogger sink;
    ASSERT_TRUE(sink.Open(CKSString::FromUtf8(path)));
    const std::u16string line = std::u16string(200, u'\u00e9') + u"\n";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                sink.Write(line, false);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    sink.Close();
    const std::string text = ReadFileBytes(path);
    const std::string expected = Utf16ToUtf8(line);
    ASSERT_EQ(text.size(), 800 * expected.size());
    for (std::size_t at = 0; at < text.size(); at += expected.size()) {
        ASSERT_EQ(text.compare(at, expected.size(), expected), 0) << "line at byte " << at;
    }
}

TEST(Logger, ReportingWithoutALoggerIsSilent) {
    CKSIsLogging reporter;
    EXPECT_EQ(reporter.GetLogger(), nullptr);
    reporter.Logger().ErrorF("goes nowhere %d", 1);
    EXPECT_EQ(reporter.Logger().GetLevel(), 0);
}
