#pragma once
// The application's stop event ("fkm_mainstop"): set once, at shutdown or on Ctrl-C, and polled
// by the generation policies before every block, by the worker list's wait and by the tools'
// threads. One process-wide manual-reset event.

#include "support/KSManualResetEvent.h"

CKSManualResetEvent& ApplicationStopEvent();

// The quit event ("FKMQUIT"), set when the application exits: a generation run waits on it after
// each file and ends when it is set. The event dispatcher owns it.
CKSManualResetEvent& ApplicationQuitEvent();

// Marks the classes that honour the stop event. A generator may also watch the stop event of the
// batch it belongs to, so that one batch can be stopped without stopping the program: both reach
// it through StopRequested, and a batch's stop ends the work exactly as the application's does.
class CStopListener {
public:
    virtual ~CStopListener() = default;

    // The batch's own stop (not owned; null for none). It must outlive the listener's work.
    void SetBatchStopEvent(const CKSManualResetEvent* batchStop) { m_batchStop = batchStop; }
    const CKSManualResetEvent* GetBatchStopEvent() const { return m_batchStop; }

protected:
    bool StopRequested() const {
        return ApplicationStopEvent().IsSet() || (m_batchStop != nullptr && m_batchStop->IsSet());
    }

private:
    const CKSManualResetEvent* m_batchStop = nullptr;
};
