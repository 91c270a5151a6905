#include "engine/StopEvent.h"

#include "engine/KSObserver.h"

CKSManualResetEvent& ApplicationStopEvent() {
    static CKSManualResetEvent stopEvent;
    return stopEvent;
}

CKSManualResetEvent& ApplicationQuitEvent() {
    return CKSObserver::Instance().GetQuitEvent();
}
