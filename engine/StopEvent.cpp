#include "engine/StopEvent.h"

CKSManualResetEvent& ApplicationStopEvent() {
    static CKSManualResetEvent stopEvent;
    return stopEvent;
}
