#pragma once
// The application's stop event ("fkm_mainstop"): set once, at shutdown or on Ctrl-C, and polled
// by the generation policies before every block, by the worker list's wait and by the tools'
// threads. One process-wide manual-reset event.

#include "support/KSManualResetEvent.h"

#include <atomic>

CKSManualResetEvent& ApplicationStopEvent();

// The quit event ("FKMQUIT"), set when the application exits: a generation run waits on it after
// each file and ends when it is set. The event dispatcher owns it.
CKSManualResetEvent& ApplicationQuitEvent();

// Marks the classes that honour the stop event. A listener remembers that it answered "stop":
// a generator's content loop ends early on that answer, and the generator, which shares the one
// listener with its policy, learns from StopSeen that the file in hand is unfinished, whatever
// stop caused it.
class CStopListener {
public:
    virtual ~CStopListener() = default;

    bool StopSeen() const { return m_stopSeen.load(std::memory_order_relaxed); }
    void ForgetStopSeen() { m_stopSeen.store(false, std::memory_order_relaxed); }

protected:
    bool StopRequested() const {
        if (!ApplicationStopEvent().IsSet()) {
            return false;
        }
        m_stopSeen.store(true, std::memory_order_relaxed);
        return true;
    }

private:
    mutable std::atomic<bool> m_stopSeen{false};
};
