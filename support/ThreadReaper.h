#pragma once
// Takes the threads that their owners no longer wait for (a tool window that closed while its
// engine was stuck in a read of a hung network file, say): each is abandoned at once and destroyed,
// on the reaper's own thread, as soon as it has ended, so that no window ever waits for one. At the
// end of the program Finish waits a bounded time for those still running.

#include "support/KSManualResetEvent.h"
#include "support/KSThread.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CThreadReaper {
public:
    CThreadReaper();
    // Finish without a time limit when it was not called. A program calls Finish with a bound
    // first and, when threads are still running, ends without destroying the reaper.
    ~CThreadReaper();
    CThreadReaper(const CThreadReaper&) = delete;
    CThreadReaper& operator=(const CThreadReaper&) = delete;

    // Any thread: abandons the thread and keeps it until it has ended. Null is ignored.
    void Adopt(std::unique_ptr<CKSThread> thread);
    // Threads adopted and not yet ended.
    std::size_t Pending() const;
    // Stops reaping and waits up to milliseconds for the threads still kept to end, destroying
    // each that did. True when none is left; the others are kept (never destroyed while running).
    bool Finish(std::uint32_t milliseconds);

private:
    void Run();
    // Destroys the threads that have ended, outside the lock.
    void ReapEnded(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<CKSThread>> m_threads;
    CKSManualResetEvent m_changed;
    bool m_finishing = false;
    std::thread m_reaper;
};
