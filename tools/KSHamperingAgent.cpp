#include "tools/KSHamperingAgent.h"

#include "support/KSTime.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <unistd.h>

namespace {

// The run's view of one target: the path and, while held, the hold.
struct HeldTarget {
    CKSString path;
    std::unique_ptr<IHeldFile> held;
};

} // namespace

CKSHamperingAgent::CKSHamperingAgent(const CKSManualResetEvent* stopEvent)
    : CKSThread(stopEvent), m_holder(std::make_shared<CAdvisoryLockHolder>()),
      m_holdWatch(stopEvent != nullptr ? stopEvent : &m_neverSet) {}

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

void CKSHamperingAgent::SetHolder(std::shared_ptr<IFileHolder> holder) {
    CAutoLock lock(m_lock);
    m_holder = holder ? std::move(holder) : std::make_shared<CAdvisoryLockHolder>();
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
    std::shared_ptr<IFileHolder> holder;
    {
        CAutoLock lock(m_lock);
        holder = m_holder;
    }
    std::vector<HeldTarget> targets;
    for (const CKSString& path : GetTargets()) {
        targets.push_back(HeldTarget{path, nullptr});
    }
    auto close = [&](HeldTarget& target) {
        if (target.held) {
            target.held.reset();
            m_listener.Notify([&](IHamperingListener& listener) { listener.OnClosing(target.path); });
        }
    };
    auto open = [&](HeldTarget& target) {
        close(target);
        int error = 0;
        target.held = holder->Hold(target.path, error);
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
            if (CKSManualResetEvent::WaitAny({Watched(), &WakeEvent()}, kWaitForever) == 1 && IsRunning()) {
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
    if (error == kHoldErrorNotRegular) {
        return "it is not a regular file (a FIFO, a folder or a device cannot be held)";
    }
    if (error == kHoldErrorOtherOwner) {
        return "it belongs to another user: only one's own files can be held by their permissions";
    }
    return std::strerror(error);
}
