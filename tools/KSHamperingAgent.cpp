#include "tools/KSHamperingAgent.h"

#include "support/KSExclusiveFile.h"
#include "support/KSTime.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <unistd.h>

namespace {

// The run's view of one target: the path and, while held, the open file.
struct HeldTarget {
    CKSString path;
    CKSExclusiveFile file;
};

} // namespace

CKSHamperingAgent::CKSHamperingAgent(const CKSManualResetEvent* stopEvent)
    : CKSThread(stopEvent), m_holdWatch(stopEvent != nullptr ? stopEvent : &m_neverSet) {}

CKSHamperingAgent::~CKSHamperingAgent() {
    StopAndJoin();
}

void CKSHamperingAgent::Abandon() {
    m_abandoned.Set();
    SignalStop();
}

void CKSHamperingAgent::AddTarget(const CKSString& path) {
    CAutoLock lock(m_lock);
    m_targets.push_back(path);
}

std::vector<CKSString> CKSHamperingAgent::GetTargets() const {
    CAutoLock lock(m_lock);
    return m_targets;
}

std::size_t CKSHamperingAgent::PickFixedTarget(std::size_t count) {
    const auto threadId = static_cast<std::uint32_t>(::gettid());
    const auto tick = static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                     std::chrono::steady_clock::now().time_since_epoch())
                                                     .count());
    const std::uint64_t fileTime = SystemTimeAsFileTime();
    const std::uint32_t mixed =
        threadId | tick | static_cast<std::uint32_t>(fileTime) | static_cast<std::uint32_t>(fileTime >> 32);
    return mixed % count;
}

void CKSHamperingAgent::Run() {
    const std::uint32_t mode = GetMode();
    if (mode == kHamperModeNone) {
        return;
    }
    // A stop from an earlier run leaves the wake event set; this run starts afresh. An Abandon
    // that came before the run started still counts: the thread is then no longer running.
    WakeEvent().Reset();
    if (IsRunning()) {
        m_abandoned.Reset();
    }
    std::vector<HeldTarget> targets;
    for (const CKSString& path : GetTargets()) {
        targets.push_back(HeldTarget{path, CKSExclusiveFile()});
    }
    auto close = [&](HeldTarget& target) {
        if (target.file.IsOpen()) {
            target.file.Close();
            m_listener.Notify([&](IHamperingListener& listener) { listener.OnClosing(target.path); });
        }
    };
    auto open = [&](HeldTarget& target) {
        close(target);
        target.file.Open(target.path);
        // A lock held elsewhere is told as EWOULDBLOCK whichever lock refused (fcntl says EACCES,
        // which would read as a permission problem).
        const int error = target.file.IsOpen()           ? 0
                          : target.file.IsLockConflict() ? EWOULDBLOCK
                                                         : target.file.GetLastError();
        m_listener.Notify([&](IHamperingListener& listener) { listener.OnOpening(target.path, error); });
    };

    // Without targets (or with an unknown mode) there is nothing to hold: the run ends at once
    // rather than dividing by zero or cycling through nothing.
    const bool known = mode == kHamperModeRotate || mode == kHamperModeFixed || mode == kHamperModeAll;
    if (!targets.empty() && known) {
        if (mode == kHamperModeRotate) {
            bool leave = false;
            while (!leave && IsRunning()) {
                for (HeldTarget& target : targets) {
                    open(target);
                    const bool stopped =
                        CKSManualResetEvent::WaitAny({m_holdWatch, &m_abandoned},
                                                     m_rotateHold.load(std::memory_order_relaxed)) >= 0;
                    close(target);
                    if (stopped || !IsRunning()) {
                        leave = true;
                        break;
                    }
                }
            }
        } else if (mode == kHamperModeFixed) {
            open(targets[PickFixedTarget(targets.size())]);
        } else {
            for (HeldTarget& target : targets) {
                open(target);
            }
        }
        while (IsRunning()) {
            // A stray Wake must not turn this wait into a spin.
            if (CKSManualResetEvent::WaitAny({Watched(), &WakeEvent()}, kIdleWaitMilliseconds) == 1 &&
                IsRunning()) {
                WakeEvent().Reset();
            }
        }
        for (HeldTarget& target : targets) {
            close(target);
        }
    }
    m_listener.Notify([](IHamperingListener& listener) { listener.OnRunEnded(); });
}

std::string HamperFailureReason(int error) {
    // A lock conflict; EACCES is a refused permission, which strerror names well.
    if (error == EWOULDBLOCK || error == EAGAIN) {
        return "another program holds a lock on it";
    }
    return std::strerror(error);
}
