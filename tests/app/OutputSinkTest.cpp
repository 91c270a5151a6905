// The output sink that generators write to from their threads: lines gathered whole and woken
// once per gathering, the window's calls run on its own thread, and nothing queued to or kept for
// a window that has detached.

#include "app/OutputSink.h"
#include "tests/common/CoreEventLoop.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QThread>

#include <atomic>
#include <thread>
#include <vector>

TEST(OutputSink, LinesFromManyThreadsArriveWholeWithOneWakeAGatheringOnTheWindowsThread) {
    QObject window;
    int wakes = 0;
    int shows = 0;
    int ends = 0;
    std::vector<QThread*> callThreads;
    const auto record = [&](int& count) {
        ++count;
        callThreads.push_back(QThread::currentThread());
    };
    auto sink = std::make_shared<COutputSink>(
        &window, COutputSink::Calls{[&] { record(wakes); }, [&] { record(shows); }, [&] { record(ends); }});

    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([sink, t] {
            sink->Show();
            for (int i = 0; i < 200; ++i) {
                sink->Write(u"line\r\nof " + std::u16string(1, static_cast<char16_t>(u'a' + t)), false);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    sink->WriteA("caf\xc3\xa9");
    sink->Ended();
    ASSERT_TRUE(RunUntil([&] { return ends == 1; }));
    // Nothing was taken yet: one wake for everything written.
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(shows, 4);
    for (QThread* thread : callThreads) {
        EXPECT_EQ(thread, window.thread());
    }
    QByteArray taken;
    sink->TakePending(taken);
    const QList<QByteArray> lines = taken.split('\n');
    ASSERT_EQ(lines.size(), 4 * 200 * 2 + 2); // each write two lines, the last one, the empty tail
    EXPECT_EQ(lines.at(lines.size() - 2), "caf\xc3\xa9");
    EXPECT_FALSE(taken.contains('\r'));
    EXPECT_FALSE(sink->HasPending());

    // Taken: the next write wakes again.
    sink->WriteA("again");
    ASSERT_TRUE(RunUntil([&] { return wakes == 2; }));
}

TEST(OutputSink, ADetachedWindowGetsNothingAndItsTextIsDropped) {
    int calls = 0;
    auto window = std::make_unique<QObject>();
    auto sink = std::make_shared<COutputSink>(
        window.get(), COutputSink::Calls{[&] { ++calls; }, [&] { ++calls; }, [&] { ++calls; }});
    // Queued before the window went: Qt drops the calls with their receiver.
    sink->WriteA("queued");
    sink->Show();
    sink->Detach();
    window.reset();
    std::thread([sink] {
        sink->WriteA("late");
        sink->Show();
        sink->Ended();
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(sink->HasPending());
}
