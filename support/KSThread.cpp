#include "support/KSThread.h"

#include "support/KSLogger.h"

CKSThread::CKSThread(const CKSManualResetEvent* watched) : m_watched(watched) {}

CKSThread::~CKSThread() {
    // Last resort: derived classes should already have stopped the thread.
    if (m_thread.joinable()) {
        SignalStop();
        m_thread.join();
    }
}

bool CKSThread::Start() {
    if (!m_exited.IsSet()) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_running = true;
    m_exited.Reset();
    try {
        m_thread = std::thread([this] {
            Run();
            m_exited.Set();
        });
    } catch (const std::system_error&) {
        m_running = false;
        m_exited.Set();
        return false;
    }
    return true;
}

void CKSThread::SignalStop() {
    m_running = false;
    m_wakeEvent.Set();
}

bool CKSThread::IsRunning() const {
    if (m_running && m_watched != nullptr) {
        return !m_watched->IsSet();
    }
    return m_running;
}

bool CKSThread::WaitForExit(std::uint32_t milliseconds) {
    if (!m_exited.Wait(milliseconds)) {
        KSDebugOutputA("CKSThread did not exit in time.\n");
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return true;
}

void CKSThread::StopAndJoin() {
    SignalStop();
    WaitForExit(kWaitForever);
}

bool CKSThread::WaitForWake(std::uint32_t milliseconds) {
    if (m_watched != nullptr) {
        return CKSManualResetEvent::WaitAny({m_watched, &m_wakeEvent}, milliseconds) == 1;
    }
    return m_wakeEvent.Wait(milliseconds);
}

bool CKSThread::WaitForWatched(std::uint32_t milliseconds) {
    return m_watched != nullptr && m_watched->Wait(milliseconds);
}
