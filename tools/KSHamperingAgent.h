#pragma once
// The file exerciser's thread: it holds its target files (through an IFileHolder, advisory locks
// unless told otherwise) so that other programs fail to use them, in one of three modes, and reports every
// step to a listener until it is stopped.

#include "support/KSListenerSlot.h"
#include "support/KSManualResetEvent.h"
#include "support/KSString.h"
#include "support/KSSynchronizer.h"
#include "support/KSThread.h"
#include "tools/FileHolder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::uint32_t kHamperModeNone = 0;
// One file at a time, each held for the hold time, in a cycle.
inline constexpr std::uint32_t kHamperModeRotate = 1;
// One file, picked at random, for the whole run.
inline constexpr std::uint32_t kHamperModeFixed = 2;
// Every file for the whole run.
inline constexpr std::uint32_t kHamperModeAll = 3;

// The run log's line beginnings.
inline constexpr std::u16string_view kHamperOpeningPrefix = u"Opening: ";
inline constexpr std::u16string_view kHamperClosingPrefix = u"Closing: ";

// Told about each step of a run. Called on the agent's thread with the listener slot's lock held
// (see KSListenerSlot): the exerciser queues a call carrying its own copy of the path (CDelivery)
// and returns at once.
class IHamperingListener {
public:
    virtual ~IHamperingListener() = default;
    // The agent tried to hold the target ("Opening: "): error 0 when it is held, otherwise the
    // platform error; only a held target is later closed.
    virtual void OnOpening(const CKSString& path, int error) = 0;
    // A held target was let go ("Closing: ").
    virtual void OnClosing(const CKSString& path) = 0;
    // The run has ended and nothing is held any more.
    virtual void OnRunEnded() = 0;
};

class CKSHamperingAgent final : public CKSThread {
public:
    // How long rotate mode holds each file unless told otherwise: about three seconds.
    static constexpr std::uint32_t kRotateHoldMilliseconds = 3001;

    // The agent is judged by the stop event (a command's own Ctrl-C event, say) as well as by
    // SignalStop; null for SignalStop alone.
    explicit CKSHamperingAgent(const CKSManualResetEvent* stopEvent);
    ~CKSHamperingAgent() override;

    void SetMode(std::uint32_t mode) { m_mode.store(mode, std::memory_order_relaxed); }
    std::uint32_t GetMode() const { return m_mode.load(std::memory_order_relaxed); }
    // Not owned; it must outlive the agent's thread or be replaced by null first. It is read at
    // every callback, so a run in progress reports to the new one; replacing it waits for a
    // callback in progress to return, and no callback reaches the old listener after.
    void SetListener(IHamperingListener* listener) { m_listener.Set(listener); }
    // How long rotate mode holds each file; only the stop event cuts a hold short.
    void SetRotateHold(std::uint32_t milliseconds) {
        m_rotateHold.store(milliseconds, std::memory_order_relaxed);
    }

    // Ends the run as soon as possible: like SignalStop, but a rotate hold in progress is cut
    // short too, so that a window closing mid-rotation need not wait out the hold.
    void Abandon() override;

    // Appends a target; duplicates are allowed. The path is kept whole: one that does not fit the
    // platform is refused when the agent tries to open it. A run works on the targets it found
    // when it started.
    void AddTarget(const CKSString& path);
    std::vector<CKSString> GetTargets() const;
    // How the targets are held; set before a run starts (null restores the advisory locks).
    void SetHolder(std::shared_ptr<IFileHolder> holder);

protected:
    void Run() override;

private:
    // Mode 2's pick among count targets, from the thread id and the clocks.
    static std::size_t PickFixedTarget(std::size_t count);

    mutable CKSSynchronizer m_lock;
    std::vector<CKSString> m_targets;
    std::shared_ptr<IFileHolder> m_holder;
    std::atomic<std::uint32_t> m_mode{kHamperModeNone};
    std::atomic<std::uint32_t> m_rotateHold{kRotateHoldMilliseconds};
    CKSListenerSlot<IHamperingListener> m_listener;
    // Rotate mode's hold waits on the stop event alone; without one it still waits its time.
    CKSManualResetEvent m_neverSet;
    const CKSManualResetEvent* m_holdWatch;
    // Set by Abandon, cleared when a run starts.
    CKSManualResetEvent m_abandoned;
};

// Why a target could not be held, in words for a run log.
std::string HamperFailureReason(int error);
