// The binary viewer's rules without a window: the layout with its offset and character columns,
// the characters taken from the bytes, the status texts (the file's time stamp read when the file
// is read, not at every scroll), going to an offset, read failures, the columns kept, and a viewer
// that closes while its file never answers.

#include "tools/BinaryViewerTool.h"
#include "tests/common/CoreEventLoop.h"
#include "tests/common/TempDir.h"
#include "tests/tools/HungSource.h"
#include "tests/tools/MemorySource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

// Six pixels a character, eleven a line: 18 pixels a byte, four character cells with characters.
constexpr BinaryFontMetrics kFont{6, 10};

class BinaryViewerToolTest : public ::testing::Test {
protected:
    // A viewer over bytes in memory, byte i being i & 0xFF.
    std::unique_ptr<CBinaryViewerTool> OverMemory(std::size_t size, CMemoryLoader** loader = nullptr) {
        std::vector<unsigned char> bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<unsigned char>(i & 0xFF);
        }
        return std::make_unique<CBinaryViewerTool>(QStringLiteral("memory"), m_settings, m_reaper,
                                                   [bytes, loader](const CKSString&) {
                                                       auto made = std::make_unique<CMemoryLoader>(bytes);
                                                       if (loader != nullptr) {
                                                           *loader = made.get();
                                                       }
                                                       return made;
                                                   });
    }

    TempDir m_dir;
    CThreadReaper m_reaper;
    CFakemillSettings m_settings;
};

} // namespace

TEST_F(BinaryViewerToolTest, ColumnsTextsAndOffsetsFollowTheBytesAndAreKept) {
    const auto viewer = OverMemory(1000);
    viewer->SetShowOffsets(true);
    viewer->SetShowCharacters(true);
    // 460 pixels less the offset column (10 characters) leave 400; with characters a quarter goes
    // to them: 300 pixels of hex, 16 bytes a line. Ten lines of 11 pixels.
    viewer->LayOut(460, 112, kFont);
    ASSERT_TRUE(RunUntil([&] { return viewer->ViewingText() == "Viewing 0-160 of 1000 bytes"; }));
    EXPECT_EQ(viewer->OffsetColumnWidth(), 60);
    ASSERT_EQ(viewer->Page()->BytesPerLine(), 16u);
    // The characters come from the bytes themselves: 0x40 to 0x4F are "@" to "O"; bytes that are
    // not printable show as dots.
    const QString expected = "00000040  40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F @ABCDEFGHIJKLMNO";
    EXPECT_TRUE(RunUntil([&] { return viewer->LineText(4) == expected; }))
        << viewer->LineText(4).toStdString();
    EXPECT_TRUE(viewer->LineText(0).endsWith("................"));

    // The byte under the pointer, counted past the offset column.
    viewer->PointAt(60 + CBinaryPage::kTextLeft + 2 * 18 + 1, CBinaryPage::kTextTop + 11 + 1);
    EXPECT_EQ(viewer->PointerText(), "Pos: 18 (0x12)");
    viewer->PointAt(-1, -1);
    EXPECT_EQ(viewer->PointerText(), "");

    EXPECT_FALSE(viewer->GoToOffset(QStringLiteral("ten")));
    EXPECT_EQ(viewer->PointerText(), "Not an offset: ten");
    EXPECT_TRUE(viewer->GoToOffset(QStringLiteral(" 0x105 ")));
    EXPECT_EQ(viewer->Page()->Top(), 256u);
    ASSERT_TRUE(RunUntil([&] { return viewer->LineText(0).startsWith("00000100  00 01 "); }));
    EXPECT_EQ(viewer->ViewingText(), "Viewing 256-416 of 1000 bytes");
    EXPECT_TRUE(viewer->Scroll(EBinaryScroll::Bottom));
    EXPECT_EQ(viewer->ViewingText(), "Viewing 840-1000 of 1000 bytes");

    // The columns come back in the next viewer.
    CFakemillSettings later;
    EXPECT_TRUE(later.Get(settings_key::kBinaryViewerOffsets));
    EXPECT_TRUE(later.Get(settings_key::kBinaryViewerCharacters));
    viewer->SetShowCharacters(false);
    EXPECT_EQ(OverMemory(10)->ShowsCharacters(), false);
    EXPECT_EQ(OverMemory(10)->ShowsOffsets(), true);
}

TEST_F(BinaryViewerToolTest, TheTimeStampIsReadWithTheFileAndAReadThatFailsSaysSo) {
    const std::string path = m_dir.File("stamped.bin");
    WriteFileBytes(path, std::string(5000, 'x'));
    const auto yesterday = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    std::filesystem::last_write_time(path, yesterday);
    CBinaryViewerTool viewer(QString::fromStdString(path), m_settings, m_reaper);
    viewer.LayOut(300, 300, kFont);
    ASSERT_TRUE(RunUntil([&] { return viewer.ViewingText().endsWith("of 5000 bytes"); }));
    const QString stamped = viewer.FileText();
    EXPECT_TRUE(stamped.startsWith(QString::fromStdString(path) + " [")) << stamped.toStdString();
    // The file is touched: scrolling shows the stamp the file had when it was read...
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now());
    viewer.Scroll(EBinaryScroll::PageDown);
    viewer.Scroll(EBinaryScroll::Top);
    EXPECT_EQ(viewer.FileText(), stamped);
    // ... and reading it again takes the new one.
    viewer.Reread();
    EXPECT_NE(viewer.FileText(), stamped);

    // A source whose reads fail, for a reason nobody knows: the failure is shown all the same.
    CMemoryLoader* loader = nullptr;
    const auto failing = OverMemory(1000, &loader);
    ASSERT_NE(loader, nullptr);
    loader->SetFailReads(true);
    failing->LayOut(300, 300, kFont);
    EXPECT_TRUE(RunUntil([&] { return failing->FileText().startsWith("Cannot read at "); }))
        << failing->FileText().toStdString();

    // A missing file and a folder say why at once.
    EXPECT_TRUE(CBinaryViewerTool(QString::fromStdString(m_dir.File("gone")), m_settings, m_reaper)
                    .FileText()
                    .startsWith("Cannot open: "));
    EXPECT_EQ(
        CBinaryViewerTool(QString::fromStdString(m_dir.Path().string()), m_settings, m_reaper).FileText(),
        "Not a regular file: only files can be viewed");
}

TEST_F(BinaryViewerToolTest, ClosingWhileItsFileNeverAnswersReturnsAtOnce) {
    CHungFile hung;
    auto viewer = std::make_unique<CBinaryViewerTool>(
        QStringLiteral("/mnt/hung/disk.img"), m_settings, m_reaper,
        [&hung](const CKSString&) { return std::make_unique<CHungSource>(hung); });
    viewer->LayOut(300, 300, kFont);
    ASSERT_TRUE(hung.Entered());
    EXPECT_LT(TimeOf([&] { viewer->Close(); }).count(), 50);
    EXPECT_EQ(viewer->Page(), nullptr);
    EXPECT_TRUE(viewer->LineText(0).isEmpty());
    viewer.reset();
    EXPECT_EQ(m_reaper.Pending(), 1u);
    hung.Open();
    EXPECT_TRUE(m_reaper.Finish(5000));
}
