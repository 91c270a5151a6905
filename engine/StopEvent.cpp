#include "engine/StopEvent.h"

CKSManualResetEvent& ApplicationStopEvent() {
    static CKSManualResetEvent stopEvent;
    return stopEvent;
}

CKSManualResetEvent& ApplicationQuitEvent() {
    static CKSManualResetEvent quitEvent;
    return quitEvent;
}
