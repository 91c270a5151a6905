#pragma once
// The application's stop event ("fkm_mainstop"): set once, at shutdown or on Ctrl-C, and polled
// by the generation policies before every block, by the worker list's wait and by the tools'
// threads. One process-wide manual-reset event.

#include "support/KSManualResetEvent.h"

CKSManualResetEvent& ApplicationStopEvent();

// The quit event ("FKMQUIT"), set when the application exits: a generation run waits on it after
// each file and ends when it is set. The event dispatcher owns it.
CKSManualResetEvent& ApplicationQuitEvent();

// Marks the classes that honour the stop event. No state.
class CStopListener {
public:
    virtual ~CStopListener() = default;

protected:
    static bool StopRequested() { return ApplicationStopEvent().IsSet(); }
};
