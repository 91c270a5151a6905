// The binary viewer window on real files: what it shows and says, scrolling from the first to the
// last byte of a huge sparse file, the mouse position, what it keeps between windows, resizing,
// files that go wrong, and closing while its loader works or its file never answers.

#include "UiTestSupport.h"

#include "app/AppContext.h"
#include "tests/common/TempDir.h"
#include "tests/tools/HungSource.h"
#include "ui/BinaryViewerWnd.h"
#include "ui/ToolWindowManager.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Bytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(i * 3 + 1);
    }
    return bytes;
}

// A file of the size with holes, and the marker at its last bytes.
void MakeSparse(const std::string& path, std::uint64_t size, std::string_view marker) {
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, size);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(size - marker.size()));
    file.write(marker.data(), static_cast<std::streamsize>(marker.size()));
}

void MoveMouse(QWidget* widget, const QPoint& at) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

class BinaryViewerTest : public ::testing::Test {
protected:
    // A shown viewer whose first chunk has arrived (or whose failure is on the status bar).
    std::unique_ptr<CBinaryViewerWnd> Open(const std::string& path) {
        auto viewer = std::make_unique<CBinaryViewerWnd>(QString::fromStdString(path), m_context);
        viewer->show();
        EXPECT_TRUE(WaitUntil([&] {
            return viewer->StatusText(2).startsWith(QStringLiteral("Viewing")) &&
                   (!viewer->StatusText(0).startsWith(QString::fromStdString(path)) ||
                    viewer->Page()->FormattedTop() == viewer->Page()->Top());
        }));
        return viewer;
    }
    static bool WaitForText(CBinaryViewerWnd& viewer, const QString& expected, int part = 2) {
        return WaitUntil([&] { return viewer.StatusText(part) == expected; });
    }

    TempDir m_dir;
    PromptScript m_prompts;
    CAppContext m_context;
};

TEST_F(BinaryViewerTest, AShortFileShowsWhollyOnOnePageThatDoesNotScroll) {
    const std::string path = m_dir.File("hundred.bin");
    WriteFileBytes(path, Bytes(100));
    const auto viewer = Open(path);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Binary Viewer - %1").arg(QString::fromStdString(path)));
    ASSERT_TRUE(WaitForText(*viewer, QStringLiteral("Viewing 0-100 of 100 bytes")));
    // The default window (300 pixels) holds fewer than 100 bytes a line: the lines together are the file.
    const std::uint32_t perLine = viewer->Page()->BytesPerLine();
    ASSERT_GT(perLine, 0u);
    EXPECT_TRUE(WaitUntil([&] { return viewer->LineText(0).startsWith(QStringLiteral("01 04 07 0A ")); }));
    QString all;
    for (int line = 0; line * perLine < 100; ++line) {
        all += viewer->LineText(line);
    }
    EXPECT_EQ(all.size(), 300);
    EXPECT_TRUE(all.endsWith(QStringLiteral("2A ")));
    EXPECT_TRUE(viewer->LineText(static_cast<int>((100 + perLine - 1) / perLine)).isEmpty());
    // The path and today's time are on the left.
    EXPECT_TRUE(viewer->StatusText(0).startsWith(QStringLiteral("%1 [").arg(QString::fromStdString(path))));

    for (const Qt::Key key : {Qt::Key_PageDown, Qt::Key_Down, Qt::Key_End, Qt::Key_Up}) {
        QTest::keyClick(viewer.get(), key);
        EXPECT_EQ(viewer->Page()->Top(), 0u);
    }
    EXPECT_EQ(viewer->StatusText(2), QStringLiteral("Viewing 0-100 of 100 bytes"));

    // The mouse over byte k names it; past the last byte or outside the bytes nothing.
    QWidget* area = viewer->TextArea();
    const int cell = viewer->Page()->CellWidth();
    const int line = viewer->Page()->LineHeight();
    MoveMouse(area, QPoint(CBinaryPage::kTextLeft + 2 * cell + 1, CBinaryPage::kTextTop + line + 1));
    const std::uint64_t k = perLine + 2;
    EXPECT_EQ(viewer->StatusText(1),
              QStringLiteral("Pos: %1 (0x%2)").arg(k).arg(QString::number(k, 16).toUpper()));
    MoveMouse(area, QPoint(CBinaryPage::kTextLeft + 2 * cell + 1, CBinaryPage::kTextTop + 30 * line + 1));
    EXPECT_TRUE(WaitUntil([&] { return viewer->StatusText(1).isEmpty(); }));
}

TEST_F(BinaryViewerTest, AHugeSparseFileScrollsFromItsFirstToItsLastByteAtOnce) {
    const std::string path = m_dir.File("huge.bin");
    constexpr std::uint64_t kSize = 1ULL << 36;
    MakeSparse(path, kSize, "\xAB\xCD");
    const auto viewer = Open(path);
    ASSERT_TRUE(
        WaitUntil([&] { return viewer->StatusText(2).endsWith(QStringLiteral(" of 68719476736 bytes")); }));
    const std::uint64_t page = viewer->Page()->PageSize();
    ASSERT_GT(page, 0u);
    QScrollBar* bar = viewer->VerticalBar();
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_GT(bar->maximum(), 0);

    QTest::keyClick(viewer.get(), Qt::Key_End);
    EXPECT_EQ(viewer->Page()->Top(), kSize - page);
    // The thumb's last step: the last page starts within the last bar position's page.
    EXPECT_GE(bar->value(), bar->maximum() - 1);
    EXPECT_EQ(viewer->StatusText(2),
              QStringLiteral("Viewing %1-68719476736 of 68719476736 bytes").arg(kSize - page));
    // The last bytes arrive by themselves.
    const int lastLine = static_cast<int>(viewer->Page()->Lines()) - 1;
    EXPECT_TRUE(WaitUntil([&] { return viewer->LineText(lastLine).endsWith(QStringLiteral("AB CD ")); }));

    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(viewer->Page()->Top(), kSize - page - (page - viewer->Page()->BytesPerLine()));
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(viewer->Page()->Top(), 0u);
    // Dragging the thumb to the middle and letting go lands in the middle of the file.
    bar->setSliderDown(true);
    bar->setSliderPosition(bar->maximum() / 2);
    bar->setSliderDown(false);
    EXPECT_NEAR(static_cast<double>(viewer->Page()->Top()) / kSize, 0.5, 0.01);

    EXPECT_TRUE(viewer->GoToOffset(QStringLiteral("0x10")));
    EXPECT_EQ(viewer->Page()->Top(), 16 - 16 % viewer->Page()->BytesPerLine());
    EXPECT_FALSE(viewer->GoToOffset(QStringLiteral("ten")));
    EXPECT_EQ(viewer->StatusText(1), QStringLiteral("Not an offset: ten"));
}

TEST_F(BinaryViewerTest, AnEmptyFileAMissingOneAndAFifoLeaveAWindowThatSaysWhy) {
    const std::string empty = m_dir.File("empty.bin");
    WriteFileBytes(empty, "");
    const auto first = Open(empty);
    EXPECT_TRUE(WaitForText(*first, QStringLiteral("Viewing 0-0 of 0 bytes")));
    EXPECT_TRUE(first->LineText(0).isEmpty());
    QTest::keyClick(first.get(), Qt::Key_PageDown);

    const auto missing = Open(m_dir.File("no-such.bin"));
    EXPECT_TRUE(missing->StatusText(0).startsWith(QStringLiteral("Cannot open: ")));

    const std::string fifo = m_dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    auto pipe = Open(fifo);
    EXPECT_TRUE(pipe->StatusText(0).startsWith(QStringLiteral("Not a regular file")));
    pipe->close();
    pipe.reset();
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(BinaryViewerTest, AFileThatShrinksOrGoesIsReportedAndReadAgainOnF5) {
    const std::string path = m_dir.File("shrinks.bin");
    WriteFileBytes(path, Bytes(1 << 20));
    const auto viewer = Open(path);
    ASSERT_TRUE(
        WaitUntil([&] { return viewer->StatusText(2).endsWith(QStringLiteral("of 1048576 bytes")); }));
    std::filesystem::resize_file(path, 0);
    QTest::keyClick(viewer.get(), Qt::Key_End);
    EXPECT_TRUE(
        WaitUntil([&] { return viewer->StatusText(0).startsWith(QStringLiteral("Cannot read at ")); }));
    QTest::keyClick(viewer.get(), Qt::Key_F5);
    EXPECT_TRUE(WaitForText(*viewer, QStringLiteral("Viewing 0-0 of 0 bytes")));
    EXPECT_TRUE(viewer->StatusText(0).startsWith(QString::fromStdString(path)));

    // It grows again: F5 keeps the top where it was and shows the new size.
    WriteFileBytes(path, Bytes(5000));
    QTest::keyClick(viewer.get(), Qt::Key_F5);
    EXPECT_TRUE(WaitUntil([&] { return viewer->StatusText(2).endsWith(QStringLiteral("of 5000 bytes")); }));

    // Deleted: the open file still reads as it was; F5 tells that it is gone.
    std::filesystem::remove(path);
    QTest::keyClick(viewer.get(), Qt::Key_F5);
    EXPECT_TRUE(viewer->StatusText(0).startsWith(QStringLiteral("Cannot open: ")));
    QTest::keyClick(viewer.get(), Qt::Key_End);
}

TEST_F(BinaryViewerTest, ClosingWhileLoadingReturnsAtOnceAndLeavesAnotherViewerWorking) {
    const std::string path = m_dir.File("big.bin");
    MakeSparse(path, 1ULL << 34, "\x5A");
    CToolWindowManager tools;
    CBinaryViewerWnd* staying = ShowBinaryViewer(QString::fromStdString(path), m_context, tools);
    QPointer<CBinaryViewerWnd> going = ShowBinaryViewer(QString::fromStdString(path), m_context, tools);
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(going.data(), i % 2 == 0 ? Qt::Key_End : Qt::Key_Home);
    }
    QElapsedTimer timer;
    timer.start();
    going->close();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(WaitUntil([&] { return going.isNull(); }));
    QTest::keyClick(staying, Qt::Key_End);
    const int lastLine = static_cast<int>(staying->Page()->Lines()) - 1;
    EXPECT_TRUE(WaitUntil([&] { return staying->LineText(lastLine).endsWith(QStringLiteral("5A ")); }));
    EXPECT_EQ(tools.CloseAll(), 1);
}

TEST_F(BinaryViewerTest, AViewerWhoseFileNeverAnswersClosesAtOnce) {
    CHungFile hung;
    const QString path = QStringLiteral("/mnt/hung/disk.img");
    auto* viewer =
        new CBinaryViewerWnd(path, m_context, nullptr,
                             std::make_unique<CBinaryViewerTool>(
                                 path, m_context.Settings(), m_context.Reaper(),
                                 [&hung](const CKSString&) { return std::make_unique<CHungSource>(hung); }));
    viewer->show();
    ExpectClosesAtOnce(viewer, hung, m_context.Reaper());
}

TEST_F(BinaryViewerTest, PlacementAndColumnsAreKeptForTheNextViewer) {
    const std::string path = m_dir.File("kept.bin");
    WriteFileBytes(path, Bytes(300));
    QRect placed;
    {
        const auto viewer = Open(path);
        EXPECT_FALSE(viewer->ShowsOffsets());
        EXPECT_TRUE(WaitUntil([&] { return viewer->LineText(0).startsWith(QStringLiteral("01 ")); }));
        viewer->SetShowOffsets(true);
        viewer->SetShowCharacters(true);
        viewer->setGeometry(30, 40, 420, 300);
        placed = viewer->geometry();
        viewer->close();
    }
    const auto next = Open(path);
    EXPECT_EQ(next->geometry(), placed);
    EXPECT_TRUE(next->ShowsOffsets());
    EXPECT_TRUE(next->ShowsCharacters());
    ASSERT_TRUE(WaitUntil([&] { return next->LineText(0).startsWith(QStringLiteral("00000000  01 04 ")); }));
    const std::uint32_t perLine = next->Page()->BytesPerLine();
    const QString second = next->LineText(1);
    EXPECT_TRUE(second.startsWith(QStringLiteral("%1  ").arg(perLine, 8, 16, QLatin1Char('0')).toUpper()));
    // Byte 11 is '"' (11 * 3 + 1 = 34); the characters follow the hex bytes in the same line.
    const QString characters = next->LineText(0).right(static_cast<int>(perLine));
    EXPECT_EQ(characters.at(11), QLatin1Char('"'));
    EXPECT_EQ(characters.at(0), QLatin1Char('.'));
}

TEST_F(BinaryViewerTest, ResizingLaysOutAgainAndATinyWindowHasNothingToScroll) {
    const std::string path = m_dir.File("resized.bin");
    WriteFileBytes(path, Bytes(100000));
    const auto viewer = Open(path);
    ASSERT_TRUE(WaitUntil([&] { return viewer->StatusText(2).endsWith(QStringLiteral("of 100000 bytes")); }));
    const std::uint32_t narrow = viewer->Page()->BytesPerLine();
    viewer->resize(900, 700);
    EXPECT_TRUE(WaitUntil([&] { return viewer->Page()->BytesPerLine() > 2 * narrow; }));
    EXPECT_TRUE(viewer->LineText(0).startsWith(QStringLiteral("01 04 ")))
        << viewer->LineText(0).toStdString();

    viewer->resize(20, 200);
    ASSERT_TRUE(WaitUntil([&] { return !viewer->Page()->HasLayout(); }));
    EXPECT_FALSE(viewer->VerticalBar()->isEnabled());
    QTest::keyClick(viewer.get(), Qt::Key_PageDown);
    QTest::keyClick(viewer.get(), Qt::Key_End);
    EXPECT_EQ(viewer->Page()->Top(), 0u);
    viewer->resize(300, 300);
    EXPECT_TRUE(WaitUntil([&] { return viewer->Page()->HasLayout() && viewer->VerticalBar()->isEnabled(); }));
}

} // namespace
