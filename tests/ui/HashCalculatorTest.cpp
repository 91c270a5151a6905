// The hash calculator window: rows and their algorithms, error rows, copying in every form, what
// comes back when it is opened again, drops, checksum files, closing in the middle of a file or on
// a file that never answers, and rows past 65,535.

#include "UiTestSupport.h"

#include "app/AppContext.h"
#include "properties/KSRegUtil.h"
#include "tests/common/TempDir.h"
#include "tests/tools/HungSource.h"
#include "tools/HashKinds.h"
#include "ui/KSHashCalculator.h"
#include "ui/OptionsDialog.h"
#include "ui/ToolWindowManager.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr char kMd5OfNothing[] = "D41D8CD98F00B204E9800998ECF8427E";
constexpr char kSha256OfNine[] = "15E2B0D3C33891EBB0F1EF609EC419420C20E320CE94C65FBC8C3312448EB225";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

class HashCalculatorTest : public ::testing::Test {
protected:
    QString Value(int row) const { return m_calc->Model()->At(static_cast<std::uint32_t>(row)).value; }
    QString Cell(int row, int column) const {
        const CHashListModel* model = m_calc->Model();
        return model->data(model->index(row, column)).toString();
    }
    bool AllDone(int milliseconds = 10000) const {
        return WaitUntil([this] { return m_calc->Model()->Pending() == 0; }, milliseconds);
    }
    QAction* MenuEntry(int id) const {
        return m_calc->CopyOptionsMenu()->findChild<QAction*>(QStringLiteral("cmd%1").arg(id));
    }
    // A drag that enters with one state of the modifiers, moves and drops with another.
    void Drop(const QMimeData& data, Qt::KeyboardModifiers modifiers,
              std::optional<Qt::KeyboardModifiers> atDrop = std::nullopt) {
        QWidget* viewport = m_calc->List()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(viewport, &enter);
        EXPECT_TRUE(enter.isAccepted());
        const Qt::KeyboardModifiers last = atDrop.value_or(modifiers);
        QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &data, Qt::LeftButton, last);
        QCoreApplication::sendEvent(viewport, &move);
        // Moving with Shift held shows that a drop would be refused.
        EXPECT_EQ(move.isAccepted(), !last.testFlag(Qt::ShiftModifier));
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, last);
        QCoreApplication::sendEvent(viewport, &drop);
        QCoreApplication::processEvents();
    }

    TempDir m_dir;
    PromptScript m_prompts;
    CAppContext m_context;
    std::unique_ptr<CKSHashCalculator> m_calc = std::make_unique<CKSHashCalculator>(m_context);
};

} // namespace

TEST_F(HashCalculatorTest, RowsKeepTheirOrderAndTheAlgorithmTheyWereAddedWithAndFailuresShowError) {
    WriteFileBytes(m_dir.File("nine"), "123456789");
    WriteFileBytes(m_dir.File("empty"), "");
    const std::string fifo = m_dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string doomed = m_dir.File("doomed");
    WriteFileBytes(doomed, "soon gone");

    m_calc->Algorithm()->setCurrentIndex(0);
    m_calc->AddFiles({Q(m_dir.File("nine")), Q(m_dir.File("empty"))});
    m_calc->Algorithm()->setCurrentIndex(1);
    m_calc->AddFiles({Q(m_dir.File("empty")), Q(m_dir.File("missing"))});
    m_calc->Algorithm()->setCurrentIndex(3);
    m_calc->AddFiles({Q(fifo), Q(m_dir.Path().string()), Q(m_dir.File("nine"))});
    // A CRC of a file that cannot be read is no CRC at all, not that of no bytes.
    m_calc->Algorithm()->setCurrentIndex(0);
    m_calc->AddFile(Q(m_dir.File("missing")));
    // Changing the algorithm afterwards changes neither the rows nor their hashing.
    m_calc->Algorithm()->setCurrentIndex(2);
    ASSERT_TRUE(AllDone());

    const QStringList types = {"CRC (32-bit)", "CRC (32-bit)", "MD5",    "MD5",
                               "SHA256",       "SHA256",       "SHA256", "CRC (32-bit)"};
    const QStringList values = {"2639F4CB", "00000000", kMd5OfNothing, "[Error]",
                                "[Error]",  "[Error]",  kSha256OfNine, "[Error]"};
    ASSERT_EQ(m_calc->Model()->rowCount(), 8);
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(Cell(row, CHashListModel::kColumnType), types[row]) << row;
        EXPECT_EQ(Cell(row, CHashListModel::kColumnValue), values[row]) << row;
    }
    EXPECT_EQ(Cell(6, CHashListModel::kColumnFile), Q(m_dir.File("nine")));
    // The reason of a failure is at hand.
    EXPECT_FALSE(m_calc->Model()
                     ->data(m_calc->Model()->index(3, CHashListModel::kColumnValue), Qt::ToolTipRole)
                     .toString()
                     .isEmpty());

    // A file deleted between adding and hashing: a large file ahead of it holds the worker.
    const std::string large = m_dir.File("large.bin");
    WriteFileBytes(large, "");
    std::filesystem::resize_file(large, 256ULL << 20);
    m_calc->AddFiles({Q(large), Q(doomed)});
    std::filesystem::remove(doomed);
    ASSERT_TRUE(AllDone(60000));
    ASSERT_EQ(m_calc->Model()->rowCount(), 10);
    EXPECT_EQ(Value(8).size(), 40);
    EXPECT_EQ(Value(9).toStdString(), "[Error]");
}

TEST_F(HashCalculatorTest, CopyWritesEveryOptionAndSeparatorInListOrder) {
    const std::string upper = m_dir.File("Upper.BIN");
    WriteFileBytes(upper, "");
    WriteFileBytes(m_dir.File("nine"), "123456789");
    m_calc->Algorithm()->setCurrentIndex(1);
    m_calc->AddFile(Q(upper));
    m_calc->Algorithm()->setCurrentIndex(0);
    m_calc->AddFile(Q(m_dir.File("nine")));
    ASSERT_TRUE(AllDone());
    QClipboard* clipboard = QGuiApplication::clipboard();

    // No option: the bare hashes, each line ended by a line feed.
    m_calc->Copy();
    EXPECT_EQ(clipboard->text(), QString(kMd5OfNothing) + "\n2639F4CB\n");

    // Each menu entry toggles its bit and stores the bits at once.
    MenuEntry(CKSHashCalculator::kCmdPathAndHash)->trigger();
    MenuEntry(CKSHashCalculator::kCmdPrefix0x)->trigger();
    EXPECT_EQ(CFakemillSettings().Get(settings_key::kCopyOptions), kCopyPathAndHash | kCopyPrefix0x);
    m_calc->Copy();
    EXPECT_EQ(clipboard->text(),
              Q(upper) + ":0x" + kMd5OfNothing + "\n" + Q(m_dir.File("nine")) + ":0x2639F4CB\n");

    // The separator is read at copy time; a tab is stored as itself. Lower-case lowers the hash only.
    m_context.Settings().Set(settings_key::kCopySeparator, u'\t');
    MenuEntry(CKSHashCalculator::kCmdLowerCase)->trigger();
    MenuEntry(CKSHashCalculator::kCmdPrefix0x)->trigger();
    // Selected rows only, in list order whatever order they were selected in.
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        paths << Q(upper);
    }
    m_calc->Algorithm()->setCurrentIndex(1);
    m_calc->AddFiles(paths);
    ASSERT_TRUE(AllDone());
    QItemSelectionModel* selection = m_calc->List()->selectionModel();
    for (int row : {3, 1}) {
        selection->select(m_calc->Model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    m_calc->Copy();
    EXPECT_EQ(clipboard->text(), Q(m_dir.File("nine")) + "\t2639f4cb\n" + Q(upper) + "\t" +
                                     QString(kMd5OfNothing).toLower() + "\n");

    // "Set Separator": the options dialog, focused on the separator; the next Copy uses what it stored.
    bool focused = false;
    QTimer::singleShot(0, [&focused] {
        auto* options = qobject_cast<COptionsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(options, nullptr);
        auto* field = options->findChild<QLineEdit*>(QStringLiteral("separator"));
        ASSERT_NE(field, nullptr);
        focused = options->focusWidget() == field;
        field->setText(QStringLiteral("|"));
        options->accept();
    });
    MenuEntry(CKSHashCalculator::kCmdSetSeparator)->trigger();
    EXPECT_TRUE(focused);
    m_calc->Copy();
    EXPECT_EQ(clipboard->text(), Q(m_dir.File("nine")) + "|2639f4cb\n" + Q(upper) + "|" +
                                     QString(kMd5OfNothing).toLower() + "\n");

    // A stored 0 means ':'; the menu shows the bits that are set.
    KSRegUtil(CKeyPathMaker::Application().Get().View()).WriteDword(settings_key::kCopySeparator.name, 0);
    selection->clearSelection();
    selection->select(m_calc->Model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_calc->Copy();
    EXPECT_EQ(clipboard->text(), Q(upper) + ":" + QString(kMd5OfNothing).toLower() + "\n");
    emit m_calc->CopyOptionsMenu()->aboutToShow();
    EXPECT_TRUE(MenuEntry(CKSHashCalculator::kCmdPathAndHash)->isChecked());
    EXPECT_FALSE(MenuEntry(CKSHashCalculator::kCmdPrefix0x)->isChecked());
    EXPECT_TRUE(MenuEntry(CKSHashCalculator::kCmdLowerCase)->isChecked());
}

TEST_F(HashCalculatorTest, ReopeningRestoresPlacementColumnsAlgorithmAndOptions) {
    m_calc.reset();
    CToolWindowManager tools;
    QPointer<CKSHashCalculator> first = OpenHashCalculator(nullptr, m_context, tools);
    first->setGeometry(60, 70, 640, 360);
    first->List()->header()->resizeSection(CHashListModel::kColumnType, 95);
    first->List()->header()->resizeSection(CHashListModel::kColumnValue, 300);
    first->Algorithm()->setCurrentIndex(3);
    first->ToggleCopyOption(kCopyLowerCase);
    // Browse: the next start folder is the folder of what was picked, also for a single file.
    std::filesystem::create_directories(m_dir.File("sub"));
    WriteFileBytes(m_dir.File("sub/a.txt"), "a");
    m_prompts->filesAnswers.push_back({Q(m_dir.File("sub/a.txt"))});
    // The filter chosen is the one the next Browse shows, in this window and the next.
    const QString images = "Images (*.png *.gif *.bmp *.jpg *.jpeg)";
    m_prompts->filterAnswer = images;
    first->Browse();
    EXPECT_EQ(first->BrowseFolder(), Q(m_dir.File("sub")));
    ASSERT_EQ(first->Model()->rowCount(), 1);
    m_prompts->filterAnswer.clear();
    first->Browse(); // cancelled
    EXPECT_EQ(m_prompts->filtersShown, QStringList({"Text (*.txt)", images}));
    EXPECT_EQ(tools.CloseAll(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    CKSHashCalculator again(m_context);
    EXPECT_EQ(again.geometry(), QRect(60, 70, 640, 360));
    EXPECT_EQ(again.List()->header()->sectionSize(CHashListModel::kColumnType), 95);
    EXPECT_EQ(again.List()->header()->sectionSize(CHashListModel::kColumnValue), 300);
    EXPECT_EQ(again.Algorithm()->currentIndex(), 3);
    EXPECT_EQ(again.CopyOptions(), kCopyLowerCase);
    again.Browse();
    EXPECT_EQ(m_prompts->filtersShown.last(), images);
    EXPECT_EQ(again.minimumSize(),
              QSize(CKSHashCalculator::kInitialWidth, CKSHashCalculator::kInitialHeight));

    // A rectangle an earlier version saved, on a screen that is gone, comes back onto this one.
    KSRegUtil(CKeyPathMaker::Application().Get().View())
        .WriteRect(settings_key::kHashCalculatorWindow.name, KSRect{9000, 7000, 9640, 7360});
    CKSHashCalculator lost(m_context);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(lost.geometry().topLeft()))
        << lost.geometry().x() << "," << lost.geometry().y();
}

TEST_F(HashCalculatorTest, DropsAddLocalFilesFirstTextOnlyAloneAndNothingWithShift) {
    WriteFileBytes(m_dir.File("a"), "a");
    WriteFileBytes(m_dir.File("b"), "b");
    // A file manager offers the files and their names as text: the files make the rows.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(Q(m_dir.File("b"))), QUrl::fromLocalFile(Q(m_dir.File("a"))),
                   QUrl(QStringLiteral("https://example.invalid/x"))});
    files.setText(Q(m_dir.File("b") + "\n" + m_dir.File("a")));
    Drop(files, Qt::NoModifier);
    ASSERT_TRUE(WaitUntil([this] { return m_calc->Model()->rowCount() == 2; }));
    EXPECT_EQ(Cell(0, 0), Q(m_dir.File("b")));
    EXPECT_EQ(Cell(1, 0), Q(m_dir.File("a")));

    // Shift held at the drop refuses it, whether it was held when the drag came in or pressed
    // later; let go before the drop, the drop adds.
    Drop(files, Qt::ShiftModifier);
    Drop(files, Qt::NoModifier, Qt::ShiftModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_calc->Model()->rowCount(), 2);
    Drop(files, Qt::ShiftModifier, Qt::NoModifier);
    ASSERT_TRUE(WaitUntil([this] { return m_calc->Model()->rowCount() == 4; }));

    // Plain text is one entry, whole.
    QMimeData text;
    text.setText(QStringLiteral("some text"));
    Drop(text, Qt::NoModifier);
    ASSERT_TRUE(WaitUntil([this] { return m_calc->Model()->rowCount() == 5; }));
    EXPECT_EQ(Cell(4, 0), "some text");
    ASSERT_TRUE(AllDone());
    EXPECT_EQ(Value(4), "[Error]");
}

TEST_F(HashCalculatorTest, SavedChecksumsPassTheSumToolAndVerifyReportsAChangedFile) {
    for (const char* name : {"one.bin", "two words.bin"}) {
        WriteFileBytes(m_dir.File(name), name);
    }
    m_calc->Algorithm()->setCurrentIndex(3);
    m_calc->AddFiles({Q(m_dir.File("one.bin")), Q(m_dir.File("two words.bin")), Q(m_dir.File("missing"))});
    m_calc->Algorithm()->setCurrentIndex(1);
    m_calc->AddFile(Q(m_dir.File("one.bin")));
    ASSERT_TRUE(AllDone());
    // At the default size a whole SHA-256 shows, with room for the path beside it.
    m_calc->show();
    QCoreApplication::processEvents();
    const QHeaderView* header = m_calc->List()->header();
    EXPECT_EQ(Value(0).size(), 64);
    EXPECT_GT(header->sectionSize(CHashListModel::kColumnValue),
              m_calc->List()->fontMetrics().horizontalAdvance("0x" + Value(0)));
    EXPECT_GE(header->sectionSize(CHashListModel::kColumnFile), CKSHashCalculator::kPathRoom / 2);

    // With MD5 selected only the MD5 row is saved; nothing of SHA1 is there to save.
    m_calc->Algorithm()->setCurrentIndex(2);
    m_calc->SaveChecksums();
    EXPECT_EQ(m_prompts->messages.size(), 1);
    m_calc->Algorithm()->setCurrentIndex(3);
    const std::string sums = m_dir.File("SHA256SUMS");
    m_prompts->fileAnswers.push_back(Q(sums));
    m_calc->SaveChecksums();
    ASSERT_TRUE(std::filesystem::exists(sums));
    EXPECT_TRUE(m_calc->StatusText().contains("Saved 2 SHA256 checksums"))
        << m_calc->StatusText().toStdString();
    const int status = std::system(("cd / && sha256sum --quiet -c '" + sums + "' >/dev/null 2>&1").c_str());
    if (WEXITSTATUS(status) != 127) {
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    WriteFileBytes(m_dir.File("two words.bin"), "changed");
    m_prompts->fileAnswers.push_back(Q(sums));
    m_calc->VerifyChecksums();
    ASSERT_EQ(m_calc->Model()->rowCount(), 6);
    EXPECT_FALSE(m_calc->List()->isColumnHidden(CHashListModel::kColumnCheck));
    ASSERT_TRUE(AllDone());
    EXPECT_EQ(Cell(4, CHashListModel::kColumnCheck), "OK");
    EXPECT_EQ(Cell(5, CHashListModel::kColumnCheck), "FAILED");
    EXPECT_EQ(Cell(5, CHashListModel::kColumnType), "SHA256");
    EXPECT_EQ(Cell(0, CHashListModel::kColumnCheck), "");
    EXPECT_TRUE(WaitUntil([this] { return m_calc->StatusText().contains("Checked: 1 OK, 1 FAILED"); }))
        << m_calc->StatusText().toStdString();
}

TEST_F(HashCalculatorTest, ClosingInTheMiddleOfLargeFilesReturnsAtOnceForEveryWindow) {
    m_calc.reset();
    const std::string big = m_dir.File("big.bin");
    std::filesystem::resize_file((WriteFileBytes(big, ""), big), 64ULL << 30);
    CToolWindowManager tools;
    std::vector<QPointer<CKSHashCalculator>> windows;
    for (int i = 0; i < 2; ++i) {
        windows.emplace_back(OpenHashCalculator(nullptr, m_context, tools));
        windows.back()->Algorithm()->setCurrentIndex(3);
        windows.back()->AddFile(Q(big));
    }
    // Both are well into the file: the status line shows how far.
    ASSERT_TRUE(WaitUntil([&] {
        return windows[0]->StatusText().startsWith("Hashing big.bin") &&
               windows[1]->StatusText().startsWith("Hashing big.bin");
    }));
    EXPECT_TRUE(windows[0]->StatusText().contains("/s")) << windows[0]->StatusText().toStdString();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(tools.CloseAll(), 2);
    // Hashing what is left of the file would take many seconds; saving the settings takes a few
    // writes of the settings file, slow only on a busy machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(windows[0].isNull() && windows[1].isNull());
    EXPECT_EQ(CFakemillSettings().Get(settings_key::kHashType), 3u);
}

TEST_F(HashCalculatorTest, AWindowWhoseFileNeverAnswersClosesAtOnce) {
    CHungFile hung;
    auto engine = HungHashWorker(hung);
    auto* window = new CKSHashCalculator(
        m_context, nullptr,
        std::make_unique<CHashCalculatorTool>(m_context.Settings(), m_context.Reaper(), std::move(engine)));
    window->Create();
    window->AddFile(QStringLiteral("/mnt/hung/file"));
    ExpectClosesAtOnce(window, hung, m_context.Reaper());
}

TEST_F(HashCalculatorTest, RowsPast65535LandInTheirOwnRows) {
    WriteFileBytes(m_dir.File("nine"), "123456789");
    QStringList missing;
    for (int i = 0; i < 65536; ++i) {
        missing << Q(m_dir.File("missing"));
    }
    m_calc->AddFiles(missing);
    m_calc->AddFile(Q(m_dir.File("nine")));
    ASSERT_TRUE(AllDone(120000));
    // Row 65,536 cut to 16 bits would be row 0.
    EXPECT_EQ(Value(0), "[Error]");
    EXPECT_EQ(Value(65536), "2639F4CB");
}

TEST(HashCalculatorOpenDialog, NamesTypedBesideTheFilterAreAddedAndTheChosenFilterIsAnswered) {
    TempDir dir;
    WriteFileBytes(dir.File("kept.txt"), "t");
    WriteFileBytes(dir.File("typed.log"), "l");
    WriteFileBytes(dir.File("other.bin"), "b");
    // Qt's own open dialog, typed into as a user would: a name its filter shows and one it hides.
    // Typed once the dialog has listed the folder, into its focused name field, as a user would.
    QString typed;
    int ticks = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* model = dialog != nullptr ? dialog->findChild<QFileSystemModel*>() : nullptr;
        auto* field = dialog != nullptr ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        if (dialog != nullptr && ++ticks > 250) {
            poll.stop();
            dialog->reject(); // never ready: the test fails below rather than hang
            return;
        }
        if (model == nullptr || field == nullptr ||
            model->rowCount(model->index(Q(dir.Path().string()))) == 0) {
            return;
        }
        if (!field->hasFocus()) {
            dialog->activateWindow();
            field->setFocus();
            return;
        }
        poll.stop();
        typed = "\"kept.txt\" \"typed.log\"";
        field->setText(typed);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    poll.start(20);
    QString filter; // none remembered: the first
    const QStringList files = Prompts().ChooseOpenFiles(nullptr, "Open", Q(dir.Path().string()),
                                                        "Text (*.txt);;Bin/test (*.bin);;All (*)", &filter);
    ASSERT_FALSE(typed.isEmpty());
    QStringList sorted = files;
    sorted.sort();
    EXPECT_EQ(sorted, QStringList({Q(dir.File("kept.txt")), Q(dir.File("typed.log"))}))
        << sorted.join(" ").toStdString();
    EXPECT_EQ(filter, "Text (*.txt)");
}
