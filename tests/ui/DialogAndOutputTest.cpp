// The dialog base's fixed steps, results of other threads reaching windows as queued calls, and
// output windows fed from other threads.

#include "UiTestSupport.h"

#include "support/Delivery.h"
#include "ui/KSDialog.h"
#include "ui/OutputTextView.h"
#include "ui/OutputWindow.h"
#include "ui/Resources.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QPointer>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class RecordingDialog : public CKSDialog {
public:
    explicit RecordingDialog(QWidget* owner = nullptr) : CKSDialog(1, owner) {}
    QStringList steps;
    bool acceptOk = true;
    std::vector<int> codes;
    std::thread::id callThread;

protected:
    bool OnOK() override {
        steps << "OK";
        return acceptOk;
    }
    void OnCancel() override { steps << "Cancel"; }
    void OnClose() override { steps << "Close"; }
};

// Counts its own destruction, to see that a payload is freed whoever receives it.
struct Payload {
    std::atomic<int>* destroyed;
    explicit Payload(std::atomic<int>* counter) : destroyed(counter) {}
    Payload(const Payload& other) = default;
    ~Payload() { ++*destroyed; }
};

TEST(DialogTest, OkAndCancelRunTheirStepsOnceEach) {
    RecordingDialog dialog;
    dialog.acceptOk = false;
    dialog.accept();
    EXPECT_EQ(dialog.steps, QStringList({"OK"})); // refused: still open
    dialog.acceptOk = true;
    dialog.accept();
    dialog.accept();
    dialog.reject();
    EXPECT_EQ(dialog.steps, QStringList({"OK", "OK", "Close"}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    RecordingDialog closed;
    closed.show();
    QTest::keyClick(&closed, Qt::Key_Escape);
    closed.close();
    EXPECT_EQ(closed.steps, QStringList({"Cancel", "Close"}));
}

TEST(DeliveryTest, CallsFromAWorkerArriveInOrderOnTheGuiThreadAndAGoneWindowGetsNoneButFreesThem) {
    std::atomic<int> destroyed{0};
    auto* dialog = new RecordingDialog;
    auto delivery = std::make_unique<CDelivery>(dialog);
    std::thread worker([&] {
        for (int code = 1; code <= 3; ++code) {
            auto payload = std::make_shared<Payload>(&destroyed);
            EXPECT_TRUE(delivery->Post([dialog, code, payload] {
                dialog->codes.push_back(code);
                dialog->callThread = std::this_thread::get_id();
            }));
        }
    });
    worker.join();
    EXPECT_TRUE(WaitUntil([&] { return dialog->codes.size() == 3; }));
    EXPECT_EQ(dialog->codes, std::vector<int>({1, 2, 3}));
    EXPECT_EQ(dialog->callThread, std::this_thread::get_id());
    EXPECT_TRUE(WaitUntil([&] { return destroyed.load() == 3; }));

    // Queued, then the window goes before the call runs: the call is dropped and what it carried
    // is freed with it.
    std::thread([&] {
        delivery->Post(
            [dialog, payload = std::make_shared<Payload>(&destroyed)] { dialog->codes.push_back(4); });
    }).join();
    delivery->Close();
    delete dialog;
    EXPECT_EQ(destroyed.load(), 4);
    // Closed: nothing more is queued to it.
    EXPECT_FALSE(delivery->Post([] { ADD_FAILURE() << "a call reached a closed delivery"; }));
    QCoreApplication::processEvents();
}

class TestOutputWindow : public CKSOutputWnd {
public:
    TestOutputWindow() : CKSOutputWnd(nullptr, "Generating Files") {}
    int GetKind() const override { return res::kKindBatchOutput; }
};

TEST(OutputWindowTest, LinesFromManyThreadsArriveWholeInOrderAndAtTheEnd) {
    auto window = std::make_unique<TestOutputWindow>();
    EXPECT_EQ(window->geometry(), QRect(0, 0, 300, 700));
    auto sink = window->Sink();
    sink->Write(u"before show", false);
    window->show();
    // The user looks at the start: text still goes to the end.
    window->View()->SelectLines(0, 0);
    window->View()->ScrollToTop();
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([sink, t] {
            for (int i = 0; i < kLines; ++i) {
                sink->WriteA(QStringLiteral("t%1 %2").arg(t).arg(i).toStdString());
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    const int expectedLines = 1 + kThreads * kLines;
    ASSERT_TRUE(WaitUntil([&] { return window->Text().count('\n') == expectedLines; }));
    const QStringList lines = window->Text().split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.first(), "before show");
    std::vector<int> next(kThreads, 0);
    for (const QString& line : lines.mid(1)) {
        const QStringList parts = line.split(' ');
        ASSERT_EQ(parts.size(), 2) << line.toStdString();
        const int thread = parts[0].mid(1).toInt();
        EXPECT_EQ(parts[1].toInt(), next[thread]++);
    }
}

TEST(OutputWindowTest, TheViewFollowsTheEndOnlyWhileShowingItAndCopiesTheSelectedLines) {
    auto window = std::make_unique<TestOutputWindow>();
    window->show();
    COutputTextView* view = window->View();
    const auto writeLines = [&](int from, int count) {
        for (int i = from; i < from + count; ++i) {
            window->Sink()->WriteA(QStringLiteral("line %1").arg(i).toStdString());
        }
        EXPECT_TRUE(WaitUntil([&] { return window->Text().count('\n') == from + count; }));
    };
    writeLines(0, 300);
    EXPECT_TRUE(view->IsAtEnd());
    EXPECT_GT(view->TopLine(), 0);

    // Someone reading earlier lines is not pulled away; back at the end, the view follows again.
    view->ScrollToTop();
    writeLines(300, 100);
    EXPECT_EQ(view->TopLine(), 0);
    view->ScrollToEnd();
    const qsizetype top = view->TopLine();
    writeLines(400, 100);
    EXPECT_TRUE(view->IsAtEnd());
    EXPECT_EQ(view->TopLine(), top + 100);

    // Line breaks of either kind end lines, text outside ASCII comes through whole and bytes
    // that are not UTF-8 read as U+FFFD; a selection made upwards copies in order.
    window->Sink()->Write(u"left\r\nright \u00e9\u2713", false);
    window->Sink()->WriteA("bad \xff byte");
    const QString tail = QString::fromUtf16(u"line 499\nleft\nright \u00e9\u2713\nbad \ufffd byte\n");
    EXPECT_TRUE(WaitUntil([&] { return window->Text().endsWith(tail); }))
        << window->Text().right(60).toStdString();
    view->SelectLines(502, 499);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), tail.chopped(1));
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->SelectedText(), window->Text().chopped(1));
}

TEST(OutputWindowTest, AWindowThatIsGoneDropsLaterTextAndShowRequestsWait) {
    auto window = std::make_unique<TestOutputWindow>();
    std::shared_ptr<COutputSink> sink = window->Sink();
    std::thread([sink] { sink->Show(); }).join();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(WaitUntil([&] { return window->isVisible(); }));
    const QPointer<CKSOutputWnd> watched(window.get());
    window.reset();
    EXPECT_TRUE(watched.isNull());
    std::thread([sink] {
        sink->Write(u"late line", false);
        sink->Show();
    }).join();
    QCoreApplication::processEvents();
    QByteArray taken;
    sink->TakePending(taken);
    EXPECT_TRUE(taken.isEmpty());
}

} // namespace
