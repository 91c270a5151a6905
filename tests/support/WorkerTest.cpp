#include "support/KSException.h"
#include "support/KSWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What the jobs of one test saw: which thread ran each job, how many ran, how many were deleted.
struct Record {
    std::mutex mutex;
    std::vector<std::thread::id> threads = std::vector<std::thread::id>(32);
    std::atomic<int> ran{0};
    std::atomic<int> deleted{0};
};

class RecordingJob : public CKSWorker {
public:
    RecordingJob(Record& record, int number, const CKSManualResetEvent* gate = nullptr, int sleepMs = 0)
        : m_record(record), m_number(number), m_gate(gate), m_sleepMs(sleepMs) {}
    ~RecordingJob() override { ++m_record.deleted; }
    void Run() override {
        {
            std::lock_guard lock(m_record.mutex);
            m_record.threads[static_cast<std::size_t>(m_number)] = std::this_thread::get_id();
        }
        if (m_gate != nullptr) {
            m_gate->Wait(10000);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(m_sleepMs));
        ++m_record.ran;
    }

private:
    Record& m_record;
    int m_number;
    const CKSManualResetEvent* m_gate;
    int m_sleepMs;
};

class ThrowingJob : public CKSWorker {
public:
    void Run() override { throw CKSException(std::string_view("job failed")); }
};

void WaitUntil(const std::function<bool()>& condition, int milliseconds) {
    const auto start = Clock::now();
    while (!condition() && MillisecondsSince(start) < milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

TEST(Worker, JobsAreDealtToTheFirstFourPumpsInTurn) {
    Record record;
    CKSManualResetEvent gate;
    CKSWorkerList list;
    for (int i = 0; i < 6; ++i) {
        list.Add(std::make_unique<RecordingJob>(record, i, &gate));
    }
    const std::size_t expected[CKSWorkerList::kPumpCount] = {2, 2, 1, 1};
    for (int pump = 0; pump < CKSWorkerList::kPumpCount; ++pump) {
        EXPECT_EQ(list.Pump(pump).QueueLength(), expected[pump]) << "pump " << pump;
    }
    EXPECT_EQ(list.Pump(3).GetName().View(), u"Local\\FKMWP3");

    list.StartAll();
    EXPECT_EQ(list.CountRunning(), 4);
    EXPECT_EQ(list.Pump(0).GetDescription().View(), u"Batch with 2 job(s)");
    EXPECT_EQ(list.Pump(2).GetDescription().View(), u"Batch with 1 job(s)");
    gate.Set();
    EXPECT_TRUE(list.WaitAll(nullptr, 20000));
    EXPECT_EQ(record.ran, 6);
    EXPECT_EQ(record.deleted, 6);
    EXPECT_EQ(list.CountRunning(), 0);

    // Jobs on one pump share its thread; the four pumps ran on four threads.
    EXPECT_EQ(record.threads[0], record.threads[4]);
    EXPECT_EQ(record.threads[1], record.threads[5]);
    const std::set<std::thread::id> distinct(record.threads.begin(), record.threads.begin() + 4);
    EXPECT_EQ(distinct.size(), 4u);
}

TEST(Worker, TheStopEventStopsEveryPumpAfterItsCurrentJob) {
    Record record;
    CKSManualResetEvent stop;
    auto list = std::make_unique<CKSWorkerList>();
    for (int i = 0; i < 12; ++i) {
        list->Add(std::make_unique<RecordingJob>(record, i, nullptr, 300));
    }
    list->StartAll();
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.Set();
    });
    const auto start = Clock::now();
    EXPECT_TRUE(list->WaitAll(&stop, 20000));
    stopper.join();
    EXPECT_LT(MillisecondsSince(start), 5000);
    // Each of the four pumps finished the job in hand, no more.
    EXPECT_EQ(record.ran, 4);
    EXPECT_EQ(list->CountRunning(), 0);
    // Destroying the list deletes the jobs that never ran.
    list.reset();
    EXPECT_EQ(record.deleted, 12);
    EXPECT_EQ(record.ran, 4);
}

TEST(Worker, WaitAllReturnsAfterItsDeadlineWhileAJobRuns) {
    Record record;
    CKSManualResetEvent gate;
    CKSWorkerList list;
    list.Add(std::make_unique<RecordingJob>(record, 0, &gate));
    list.StartAll();
    EXPECT_FALSE(list.WaitAll(nullptr, 200));
    gate.Set();
    EXPECT_TRUE(list.WaitAll(nullptr, 20000));
}

TEST(Worker, WaitAllReturnsAsSoonAsTheWorkIsDone) {
    CKSWorkerList idle;
    auto start = Clock::now();
    EXPECT_TRUE(idle.WaitAll(nullptr, 10000));
    EXPECT_LT(MillisecondsSince(start), 200);

    // The pumps wake the wait as their jobs end and their threads end at once: no polling
    // interval and no idle passes stand between the last job and the return.
    Record record;
    CKSManualResetEvent stop;
    CKSWorkerList list;
    for (int i = 0; i < 3; ++i) {
        list.Add(std::make_unique<RecordingJob>(record, i, nullptr, 50));
    }
    list.StartAll();
    start = Clock::now();
    EXPECT_TRUE(list.WaitAll(&stop, 10000));
    EXPECT_LT(MillisecondsSince(start), 600);
    EXPECT_EQ(record.ran, 3);
    EXPECT_EQ(list.CountRunning(), 0);
}

TEST(Worker, AnIdlePumpEndsItsThreadAndCanBeStartedAgain) {
    Record record;
    CKSWorkerPump pump(7);
    pump.Add(std::make_unique<RecordingJob>(record, 0));
    const auto start = Clock::now();
    ASSERT_TRUE(pump.Start());
    EXPECT_FALSE(pump.Start()); // already running
    WaitUntil([&pump] { return !pump.IsRunning(); }, 5000);
    const long long lived = MillisecondsSince(start);
    EXPECT_FALSE(pump.IsRunning());
    EXPECT_GE(lived, 41 * 29 - 50); // 41 empty passes of 29 ms
    EXPECT_EQ(record.ran, 1);

    pump.Add(std::make_unique<RecordingJob>(record, 1));
    ASSERT_TRUE(pump.Start());
    WaitUntil([&record] { return record.ran == 2; }, 5000);
    EXPECT_EQ(record.ran, 2);
}

TEST(Worker, AJobAddedWhileThePumpRunsIsTakenByIt) {
    Record record;
    CKSWorkerPump pump(0);
    pump.Add(std::make_unique<RecordingJob>(record, 0));
    ASSERT_TRUE(pump.Start());
    WaitUntil([&record] { return record.ran == 1; }, 5000);
    pump.Add(std::make_unique<RecordingJob>(record, 1));
    WaitUntil([&record] { return record.ran == 2; }, 5000);
    EXPECT_EQ(record.ran, 2);
    EXPECT_EQ(record.threads[0], record.threads[1]);
}

TEST(Worker, AThrowingJobEndsThePumpAndLeavesTheRestQueued) {
    Record record;
    CKSWorkerPump pump(1);
    pump.Add(std::make_unique<ThrowingJob>());
    pump.Add(std::make_unique<RecordingJob>(record, 0));
    ASSERT_TRUE(pump.Start());
    WaitUntil([&pump] { return !pump.IsRunning(); }, 5000);
    EXPECT_FALSE(pump.IsRunning());
    EXPECT_EQ(pump.QueueLength(), 1u);
    EXPECT_EQ(record.ran, 0);
    EXPECT_EQ(pump.DeleteAll(), 1u);
    EXPECT_EQ(record.deleted, 1);
}

TEST(Worker, AJobIsCalledJobUnlessItSaysOtherwise) {
    Record record;
    RecordingJob job(record, 0);
    EXPECT_EQ(job.GetName().View(), u"Job");
}
