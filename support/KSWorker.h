#pragma once
// Jobs and the pump pool that runs them. A CKSWorkerList holds sixteen pumps; jobs are dealt to
// pumps 0, 1, 2, 3, 0, 1, ... so at most four run at once (SetSpread changes how many). Each pump drains its
// own queue on a thread of its own and ends that thread when the queue has stayed empty for 41 passes.

#include "support/KSManualResetEvent.h"
#include "support/KSString.h"
#include "support/KSSynchronizer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <thread>

class CKSWorker {
public:
    virtual ~CKSWorker() = default;
    virtual void Run() = 0;
    virtual CKSString GetName() const { return CKSString(u"Job"); }
};

class CKSWorkerPump {
public:
    static constexpr std::uint32_t kStopWaitMilliseconds = 29;
    static constexpr int kIdlePassesBeforeEnd = 40;

    explicit CKSWorkerPump(int index);
    ~CKSWorkerPump();
    CKSWorkerPump(const CKSWorkerPump&) = delete;
    CKSWorkerPump& operator=(const CKSWorkerPump&) = delete;

    // The pump takes ownership of the job.
    void Add(std::unique_ptr<CKSWorker> job);
    std::unique_ptr<CKSWorker> PopFront();
    // Deletes every queued job unrun; answers how many.
    std::size_t DeleteAll();
    // Without the lock: the length as last changed, exact for the thread that changed it. Asked
    // for every job a batch adds, where taking every pump's lock cost more than small jobs.
    std::size_t QueueLength() const;
    // A thread is alive. Never blocks behind a busy pump: when the lock cannot be had within
    // 100 ms the pump counts as running.
    bool IsRunning();
    // Starts a thread when none runs; true when one was started.
    bool Start();
    void SignalStop() { m_stopEvent.Set(); }
    void ResetStop() { m_stopEvent.Reset(); }
    // Waits up to 29 ms for a stop request.
    bool WaitStop() { return m_stopEvent.Wait(kStopWaitMilliseconds); }
    // The idle wait of the pump's thread: up to 29 ms for a stop request or a new job; true for
    // a stop.
    bool WaitStopOrJob();

    // Whether a job is queued or running.
    bool HasWork();
    // An event the pump sets whenever a job ends and when its thread ends (not owned; may be
    // null). The worker list uses it to notice at once that its work is done.
    void SetActivityEvent(CKSManualResetEvent* activity) { m_activity = activity; }

    const CKSString& GetName() const { return m_name; }
    const CKSString& GetDescription() const { return m_description; }
    int GetIndex() const { return m_index; }

private:
    void ThreadMain();
    // Ends a pass of the thread: true (the stop request cleared and the pump idle) when the queue
    // is empty or a stop was requested.
    bool Finish(bool stopped);
    // Takes the next job, marking it running; null when the queue is empty.
    std::unique_ptr<CKSWorker> TakeJob();
    // The job in hand has ended (run or failed).
    void JobEnded();
    // Marks the pump idle after a job threw; its remaining jobs stay queued.
    void EndAfterException();

    CKSString m_name;
    CKSString m_description;
    int m_index;
    CKSSynchronizer m_lock;
    std::deque<std::unique_ptr<CKSWorker>> m_queue;
    std::atomic<std::size_t> m_queued{0}; // m_queue.size(), written under m_lock
    std::thread m_thread;
    std::atomic<bool> m_alive{false};
    std::atomic<bool> m_jobRunning{false};
    CKSManualResetEvent* m_activity = nullptr;
    CKSManualResetEvent m_stopEvent;
    // Set by Add, reset when the thread finds the queue empty: an idle thread takes a new job
    // at once instead of at the end of its pause.
    CKSManualResetEvent m_jobAdded;
};

class CKSWorkerList {
public:
    static constexpr int kPumpCount = 16;
    // The pause between two looks at the queues while waiting for room in them.
    static constexpr std::uint32_t kRoomPollMilliseconds = 2;

    CKSWorkerList();
    ~CKSWorkerList();
    CKSWorkerList(const CKSWorkerList&) = delete;
    CKSWorkerList& operator=(const CKSWorkerList&) = delete;

    void Add(std::unique_ptr<CKSWorker> job);
    // How many pumps the jobs added from now on are dealt to (1 to 16; 4 unless set): the most
    // jobs that run at once.
    void SetSpread(int pumps);
    // Starts every pump whose queue is not empty.
    void StartAll();
    // Asks every running pump to stop after its current job; true when any was asked.
    bool StopAll();
    int CountRunning();
    // Waits until every job has run (or, once the stop event is set, every pump has finished the
    // job in hand) and the pump threads have ended: true; false when the time-out passes first.
    // The pumps wake it as their jobs end, so it returns as soon as the work is done.
    bool WaitAll(const CKSManualResetEvent* stopEvent, std::uint32_t timeoutMilliseconds);
    // The same, stopping when any of the events is set (null entries are skipped).
    bool WaitAll(std::span<const CKSManualResetEvent* const> stopEvents, std::uint32_t timeoutMilliseconds);
    // When more than jobs wait in the queues, waits until half as many do, or any of the events
    // is set: whoever adds many jobs holds only a few at a time, and is woken once per half.
    void WaitForRoom(std::size_t jobs, std::span<const CKSManualResetEvent* const> stopEvents);

    CKSWorkerPump& Pump(int index) { return *m_pumps[static_cast<std::size_t>(index)]; }

private:
    bool AnyWork();

    CKSSynchronizer m_lock;
    CKSManualResetEvent m_activity;
    std::array<std::unique_ptr<CKSWorkerPump>, kPumpCount> m_pumps;
    int m_next = 0;
    int m_spread = 4;
};
