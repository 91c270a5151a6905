#pragma once
// A long-lived thread object with a wake event of its own, for the tools' background work. The
// thread is judged by a watched event (the application's stop event): once that is set, or once
// SignalStop was called, IsRunning answers false and Run is expected to return.
//
// Owners call SignalStop and then WaitForExit. A derived class must stop and join its thread in
// its own destructor (StopAndJoin), because Run may use the derived members.

#include "support/KSManualResetEvent.h"

#include <atomic>
#include <cstdint>
#include <thread>

class CKSThread {
public:
    explicit CKSThread(const CKSManualResetEvent* watched);
    virtual ~CKSThread();
    CKSThread(const CKSThread&) = delete;
    CKSThread& operator=(const CKSThread&) = delete;

    // Starts the thread, which calls Run; false when it could not be created or already runs.
    bool Start();
    // Clears the running flag and sets the wake event.
    void SignalStop();
    // Tells the thread to end as soon as it can, cutting short any wait of its own: its owner will
    // not wait for it (a window that closed hands it to a CThreadReaper). SignalStop unless a
    // thread has waits that SignalStop does not end.
    virtual void Abandon() { SignalStop(); }
    // Running and the watched event not yet set.
    virtual bool IsRunning() const;
    // Waits for the thread to end. There is no forced termination: on a time-out the message
    // "CKSThread did not exit in time." goes to the diagnostic output and false is answered;
    // the thread is joined later by the destructor.
    bool WaitForExit(std::uint32_t milliseconds);
    // SignalStop, then an unlimited wait.
    void StopAndJoin();
    // Set while no thread runs: before Start and once Run has returned.
    const CKSManualResetEvent& ExitedEvent() const { return m_exited; }

    // Wakes the thread (hands it work).
    void Wake() { m_wakeEvent.Set(); }

protected:
    virtual void Run() = 0;
    // True when the wake event became set within the time; false for a time-out or when the
    // watched event was set first.
    bool WaitForWake(std::uint32_t milliseconds);
    // True when the watched event became set within the time.
    bool WaitForWatched(std::uint32_t milliseconds);
    CKSManualResetEvent& WakeEvent() { return m_wakeEvent; }
    const CKSManualResetEvent* Watched() const { return m_watched; }

private:
    const CKSManualResetEvent* m_watched;
    std::atomic<bool> m_running{false};
    CKSManualResetEvent m_wakeEvent;
    CKSManualResetEvent m_exited{true};
    std::thread m_thread;
};
