// The hash calculator's rules without a window: rows and their results with reasons, the status
// line, copying in the stored form, checksum files saved and verified with what the user is told,
// and a calculator that closes while a file never answers.

#include "tools/HashCalculatorTool.h"
#include "tests/common/CoreEventLoop.h"
#include "tests/common/TempDir.h"
#include "tests/tools/HungSource.h"
#include "tools/HashKinds.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr char kMd5OfNothing[] = "D41D8CD98F00B204E9800998ECF8427E";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

class HashCalculatorToolTest : public ::testing::Test {
protected:
    bool AllDone() {
        return RunUntil([this] { return m_tool.Model().Pending() == 0; });
    }

    TempDir m_dir;
    CThreadReaper m_reaper;
    CFakemillSettings m_settings;
    CHashCalculatorTool m_tool{m_settings, m_reaper};
};

} // namespace

TEST_F(HashCalculatorToolTest, RowsStatusAndCopyFollowTheStoredOptions) {
    WriteFileBytes(m_dir.File("nine"), "123456789");
    WriteFileBytes(m_dir.File("empty"), "");
    int statusChanges = 0;
    QObject::connect(&m_tool, &CHashCalculatorTool::StatusChanged, [&] { ++statusChanges; });

    m_tool.AddFiles({Q(m_dir.File("nine")), Q(m_dir.File("missing"))}, 0);
    m_tool.AddFiles({Q(m_dir.File("empty"))}, 1);
    // Progress counts the files done, never those left.
    EXPECT_EQ(m_tool.StatusText(), "0 of 3 done");
    ASSERT_TRUE(AllDone());
    // Gathered: the three rows' results cost fewer status changes than rows.
    EXPECT_TRUE(RunUntil([&] { return statusChanges > 0; }));
    EXPECT_LT(statusChanges, 3);
    EXPECT_EQ(m_tool.StatusText(), "");
    EXPECT_EQ(m_tool.Model().At(0).value, "2639F4CB");
    EXPECT_EQ(m_tool.Model().At(2).value, kMd5OfNothing);
    // A row that failed says why, in the system's words.
    const CHashListModel::Row& missing = m_tool.Model().At(1);
    EXPECT_EQ(missing.value, CHashListModel::kErrorText);
    EXPECT_EQ(missing.failure.Reason(), u"No such file or directory");
    EXPECT_EQ(m_tool.Model()
                  .data(m_tool.Model().index(1, CHashListModel::kColumnValue), Qt::ToolTipRole)
                  .toString(),
              "No such file or directory");

    // The copy form: options switched here and stored at once, the separator as stored.
    EXPECT_EQ(m_tool.CopyText({}), QString("2639F4CB\n[Error]\n") + kMd5OfNothing + "\n");
    m_tool.ToggleCopyOption(kCopyPathAndHash);
    m_tool.ToggleCopyOption(kCopyLowerCase);
    EXPECT_EQ(CFakemillSettings().Get(settings_key::kCopyOptions), kCopyPathAndHash | kCopyLowerCase);
    ASSERT_TRUE(m_settings.Set(settings_key::kCopySeparator, u'\t'));
    // Selected rows in list order, whatever order they were selected in.
    EXPECT_EQ(m_tool.CopyText({2, 0}), Q(m_dir.File("nine")) + "\t2639f4cb\n" + Q(m_dir.File("empty")) +
                                           "\t" + QString(kMd5OfNothing).toLower() + "\n");
    // A row without a hash is copied as shown, whatever the prefix and case options say.
    m_tool.ToggleCopyOption(kCopyPrefix0x);
    EXPECT_EQ(m_tool.CopyText({0, 1}),
              Q(m_dir.File("nine")) + "\t0x2639f4cb\n" + Q(m_dir.File("missing")) + "\t[Error]\n");
    m_tool.ToggleCopyOption(kCopyPrefix0x);
    // A tool made later starts with the stored options.
    CHashCalculatorTool again(m_settings, m_reaper);
    EXPECT_EQ(again.CopyOptions(), kCopyPathAndHash | kCopyLowerCase);
}

TEST_F(HashCalculatorToolTest, ChecksumFilesAreSavedAndVerifiedAndEveryFailureSaysWhy) {
    for (const char* name : {"one.bin", "two.bin"}) {
        WriteFileBytes(m_dir.File(name), name);
    }
    m_tool.AddFiles({Q(m_dir.File("one.bin")), Q(m_dir.File("two.bin")), Q(m_dir.File("missing"))}, 3);
    ASSERT_TRUE(AllDone());

    // Nothing of MD5 to save: the notice says which rows are saved.
    EXPECT_TRUE(m_tool.NothingToSave(1).startsWith("There are no finished MD5 hashes to save."));
    EXPECT_TRUE(m_tool.NothingToSave(3).isEmpty());
    EXPECT_EQ(CHashCalculatorTool::ChecksumFileName(3), "SHA256SUMS");

    // A place that cannot take the file: what failed, where and why.
    const std::string nowhere = m_dir.File("no/such/folder/SUMS");
    const CToolReport refused = m_tool.SaveChecksums(3, Q(nowhere));
    EXPECT_EQ(QString::fromStdU16String(refused.error.Text()),
              "Could not write " + Q(nowhere) + ": No such file or directory");

    const std::string sums = m_dir.File("SHA256SUMS");
    const CToolReport saved = m_tool.SaveChecksums(3, Q(sums));
    EXPECT_FALSE(saved.error.Failed());
    EXPECT_EQ(m_tool.StatusText(),
              "Saved 2 SHA256 checksums to " + Q(sums) + " (1 rows not finished or failed were left out)");

    // Verify: a changed file fails, the other passes; the counts make the status line.
    WriteFileBytes(m_dir.File("two.bin"), "changed");
    const CToolReport verified = m_tool.VerifyChecksums(Q(sums));
    EXPECT_FALSE(verified.error.Failed());
    EXPECT_TRUE(verified.notice.isEmpty());
    ASSERT_EQ(m_tool.Model().Count(), 5u);
    ASSERT_TRUE(AllDone());
    EXPECT_EQ(m_tool.Model().At(3).check, CHashListModel::Check::Ok);
    EXPECT_EQ(m_tool.Model().At(4).check, CHashListModel::Check::Failed);
    EXPECT_EQ(m_tool.StatusText(), "Checked: 1 OK, 1 FAILED");

    // A missing file is not a wrong hash, nor is one that cannot be read (a folder in its place):
    // each is named as the command line's verify names it, and counted apart.
    std::filesystem::remove(m_dir.File("one.bin"));
    std::filesystem::remove(m_dir.File("two.bin"));
    std::filesystem::create_directory(m_dir.File("two.bin"));
    EXPECT_FALSE(m_tool.VerifyChecksums(Q(sums)).error.Failed());
    ASSERT_TRUE(AllDone());
    EXPECT_EQ(m_tool.Model().At(5).check, CHashListModel::Check::Missing);
    EXPECT_EQ(m_tool.Model().At(6).check, CHashListModel::Check::Unreadable);
    EXPECT_EQ(m_tool.Model().data(m_tool.Model().index(5, CHashListModel::kColumnCheck)).toString(),
              "MISSING");
    EXPECT_EQ(m_tool.Model().data(m_tool.Model().index(6, CHashListModel::kColumnCheck)).toString(),
              "UNREADABLE");
    EXPECT_EQ(m_tool.StatusText(), "Checked: 1 OK, 1 FAILED, 1 MISSING, 1 UNREADABLE");

    // A checksum file that cannot be read, and one with lines that are no checksums.
    EXPECT_EQ(QString::fromStdU16String(m_tool.VerifyChecksums(Q(m_dir.File("nowhere"))).error.Text()),
              "Could not read " + Q(m_dir.File("nowhere")) + ": No such file or directory");
    WriteFileBytes(m_dir.File("mixed"), ReadFileBytes(sums) + "# a comment\n0123  short.bin\n");
    EXPECT_EQ(m_tool.VerifyChecksums(Q(m_dir.File("mixed"))).notice,
              Q(m_dir.File("mixed")) + ": 2 line(s) are not checksum lines and were skipped.");
    WriteFileBytes(m_dir.File("empty"), "");
    EXPECT_EQ(m_tool.VerifyChecksums(Q(m_dir.File("empty"))).notice,
              Q(m_dir.File("empty")) + " holds no checksum lines.");
}

TEST_F(HashCalculatorToolTest, ClosingWhileAFileNeverAnswersReturnsAtOnceAndTheReaperEndsItLater) {
    CHungFile hung;
    auto engine = HungHashWorker(hung);
    auto tool = std::make_unique<CHashCalculatorTool>(m_settings, m_reaper, std::move(engine));
    tool->AddFiles({QStringLiteral("/mnt/hung/file")}, 3);
    ASSERT_TRUE(hung.Entered());
    const auto closing = TimeOf([&] { tool->Close(); });
    EXPECT_LT(closing.count(), 50);
    EXPECT_TRUE(tool->IsClosed());
    // Closed: nothing is added any more, and the row in hand never gets a result.
    tool->AddFiles({QStringLiteral("/tmp/later")}, 3);
    EXPECT_EQ(tool->Model().Count(), 1u);
    tool.reset();
    EXPECT_EQ(m_reaper.Pending(), 1u);
    // The file answers at last: the engine ends and the reaper takes it; nobody is told.
    hung.Open();
    EXPECT_TRUE(m_reaper.Finish(5000));
    QCoreApplication::processEvents();
}
