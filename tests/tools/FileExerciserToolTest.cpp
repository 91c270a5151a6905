// The file exerciser's rules without a window: targets in their order, the run states and the log,
// a new run started at once after the last, the way of holding a file as a seam, a run that cannot
// start, and closing while a file cannot be held for the moment.

#include "tools/FileExerciserTool.h"
#include "tests/common/CoreEventLoop.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Holds a file by name only, refusing the names it is told to, and keeps count of what it holds.
class CRecordingHolder final : public IFileHolder {
public:
    class Held final : public IHeldFile {
    public:
        Held(CRecordingHolder& holder, std::string path) : m_holder(holder), m_path(std::move(path)) {}
        ~Held() override { m_holder.Release(m_path); }

    private:
        CRecordingHolder& m_holder;
        std::string m_path;
    };

    std::unique_ptr<IHeldFile> Hold(const CKSString& path, int& error) override {
        std::lock_guard lock(m_mutex);
        if (m_refused.count(path.ToUtf8()) != 0) {
            error = EACCES;
            return nullptr;
        }
        m_held.insert(path.ToUtf8());
        ++m_holds;
        return std::make_unique<Held>(*this, path.ToUtf8());
    }
    void Refuse(const std::string& path) { m_refused.insert(path); }
    std::size_t Holding() {
        std::lock_guard lock(m_mutex);
        return m_held.size();
    }
    int Holds() {
        std::lock_guard lock(m_mutex);
        return m_holds;
    }

private:
    void Release(const std::string& path) {
        std::lock_guard lock(m_mutex);
        m_held.erase(path);
    }

    std::mutex m_mutex;
    std::multiset<std::string> m_held;
    std::set<std::string> m_refused;
    int m_holds = 0;
};

// A way of holding that does not come back until the test lets it.
class CHungHolder final : public IFileHolder {
public:
    explicit CHungHolder(CHungFile& hung) : m_hung(hung) {}
    std::unique_ptr<IHeldFile> Hold(const CKSString&, int& error) override {
        m_hung.Pass();
        error = EIO;
        return nullptr;
    }

private:
    CHungFile& m_hung;
};

class FileExerciserToolTest : public ::testing::Test {
protected:
    FileExerciserToolTest() {
        QObject::connect(&m_tool, &CFileExerciserTool::LogAppended,
                         [this](const QString& text) { m_log += text; });
        m_tool.SetHolder(m_holder);
    }

    TempDir m_dir;
    CThreadReaper m_reaper;
    CFileExerciserTool m_tool{m_reaper};
    std::shared_ptr<CRecordingHolder> m_holder = std::make_shared<CRecordingHolder>();
    QString m_log;
};

} // namespace

TEST_F(FileExerciserToolTest, RunsHoldTheTargetsTheirWayAndLogEveryStep) {
    EXPECT_FALSE(m_tool.Start().Failed()); // nothing to hold: nothing starts
    EXPECT_EQ(m_tool.GetState(), CFileExerciserTool::State::Idle);
    for (const char* name : {"b.txt", "a.txt", "refused.txt"}) {
        EXPECT_TRUE(m_tool.AddTarget(Q(m_dir.File(name))));
    }
    m_holder->Refuse(m_dir.File("refused.txt"));
    ASSERT_EQ(m_tool.Targets().size(), 3u);
    EXPECT_EQ(m_tool.Targets()[0].ToUtf8(), m_dir.File("b.txt"));

    m_tool.SetMode(kHamperModeAll);
    ASSERT_FALSE(m_tool.Start().Failed());
    EXPECT_EQ(m_tool.GetState(), CFileExerciserTool::State::Running);
    // Targets are fixed while a run is under way.
    EXPECT_FALSE(m_tool.AddTarget(Q(m_dir.File("late.txt"))));
    ASSERT_TRUE(RunUntil([&] { return m_log.count("Opening: ") == 3; }));
    EXPECT_EQ(m_holder->Holding(), 2u);
    EXPECT_TRUE(m_log.contains("Opening: " + Q(m_dir.File("refused.txt")) +
                               " (lock)\n    Failed: Permission denied\n"))
        << m_log.toStdString();

    m_tool.Stop();
    EXPECT_EQ(m_tool.GetState(), CFileExerciserTool::State::Stopping);
    ASSERT_TRUE(RunUntil([&] { return m_tool.GetState() == CFileExerciserTool::State::Idle; }));
    EXPECT_EQ(m_holder->Holding(), 0u);
    EXPECT_EQ(m_log.count("Closing: "), 2);
    EXPECT_FALSE(m_log.contains("Closing: " + Q(m_dir.File("refused.txt"))));

    // The next run starts at once on a fresh agent, in another mode, whatever is left of the last.
    m_tool.SetMode(kHamperModeRotate);
    m_tool.SetRotateHold(20);
    const auto starting = TimeOf([&] { EXPECT_FALSE(m_tool.Start().Failed()); });
    EXPECT_LT(starting.count(), 50);
    ASSERT_TRUE(RunUntil([&] { return m_holder->Holds() >= 2 + 4; }));
    // Rotating holds one file at a time.
    EXPECT_LE(m_holder->Holding(), 1u);

    // Closing lets every file go at once; the agent is the reaper's to wait for.
    m_tool.Close();
    EXPECT_TRUE(m_tool.IsClosed());
    EXPECT_FALSE(m_tool.AddTarget(Q(m_dir.File("late.txt"))));
    EXPECT_TRUE(m_reaper.Finish(5000));
    EXPECT_EQ(m_holder->Holding(), 0u);
}

TEST_F(FileExerciserToolTest, ARunThatCannotStartSaysSoAndAHungHoldNeverHoldsTheClose) {
    CFileExerciserTool cannot(m_reaper, [] { return std::unique_ptr<CKSHamperingAgent>(); });
    cannot.AddTarget(Q(m_dir.File("a.txt")));
    const CKSError failure = cannot.Start();
    EXPECT_EQ(failure.Text(), u"Could not start the exerciser: its thread could not be made");
    EXPECT_EQ(cannot.GetState(), CFileExerciserTool::State::Idle);

    CHungFile hung;
    m_tool.SetHolder(std::make_shared<CHungHolder>(hung));
    m_tool.AddTarget(Q(m_dir.File("a.txt")));
    ASSERT_FALSE(m_tool.Start().Failed());
    ASSERT_TRUE(hung.Entered());
    EXPECT_LT(TimeOf([&] { m_tool.Close(); }).count(), 50);
    EXPECT_EQ(m_reaper.Pending(), 1u);
    hung.Open();
    EXPECT_TRUE(m_reaper.Finish(5000));
}

TEST(FileExerciserKernelWay, RotateRefusesEachFileInTurnAndReadsOfThoseOpenedBetweenItsHolds) {
    TempDir dir;
    const std::string first = dir.File("first.txt");
    const std::string second = dir.File("second.txt");
    WriteFileBytes(first, "first");
    WriteFileBytes(second, "second");
    CThreadReaper reaper;
    CFileExerciserTool tool(reaper);
    QString log;
    QObject::connect(&tool, &CFileExerciserTool::LogAppended, [&](const QString& text) { log += text; });
    tool.AddTarget(Q(first));
    tool.AddTarget(Q(second));
    tool.SetMode(kHamperModeRotate);
    tool.SetRotateHold(300);
    tool.SetWay(DenyWay::Kernel, true);
    // What another process meets: 0 when it opened and read, else the errno of the open or the read.
    const auto openAndRead = [](const std::string& path) {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            char byte = 0;
            ::_exit(fd < 0 ? errno : ::read(fd, &byte, 1) < 0 ? errno : 0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WEXITSTATUS(status);
    };
    ASSERT_FALSE(tool.Start().Failed());
    ASSERT_TRUE(RunUntil([&] { return log.contains("Opening: " + Q(first) + " (kernel)"); }));
    EXPECT_EQ(openAndRead(first), EPERM);
    ASSERT_TRUE(RunUntil([&] { return log.contains("Opening: " + Q(second) + " (kernel)"); }));
    EXPECT_EQ(openAndRead(first), 0);
    EXPECT_EQ(openAndRead(second), EPERM);
    // While the second is held, another program opens the first and keeps it open: once the
    // first is held again, its reads fail.
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int fd = ::open(first.c_str(), O_RDONLY);
        char byte = 0;
        if (fd < 0 || ::read(go[0], &byte, 1) != 1) {
            ::_exit(100);
        }
        ::_exit(::pread(fd, &byte, 1, 0) < 0 ? errno : 0);
    }
    ASSERT_TRUE(RunUntil([&] { return log.count("Opening: " + Q(first)) == 2; }));
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_EQ(WEXITSTATUS(status), EPERM);
    ::close(go[0]);
    ::close(go[1]);
    tool.Stop();
    ASSERT_TRUE(RunUntil([&] { return tool.GetState() == CFileExerciserTool::State::Idle; }));
    EXPECT_EQ(openAndRead(first), 0);
    EXPECT_EQ(openAndRead(second), 0);
    EXPECT_TRUE(log.startsWith("---- Run of ")) << log.toStdString();
}
