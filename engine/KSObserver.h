#pragma once
// Batch events and the process-wide dispatcher that carries them from the generator worker's
// thread to their subscribers. Producers Publish; the dispatcher's own thread takes each event
// from its queue and hands it to every subscriber in registration order, under the dispatcher's
// lock, then destroys it. After every message the thread waits 100 ms on the quit event, so at
// most about ten events a second are delivered; the rest wait in the queue.
//
// The dispatcher also owns the application's quit event ("FKMQUIT"), on which a generation run
// waits between files.

#include "support/KSManualResetEvent.h"
#include "support/KSString.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

class CKSEvent {
public:
    // The kinds the generator worker publishes.
    static constexpr std::int32_t kBatchStarted = 2;
    static constexpr std::int32_t kBatchFinished = 3;

    CKSEvent(std::int32_t kind, std::u16string_view text, std::int32_t value)
        : m_kind(kind), m_text(text), m_value(value) {}
    virtual ~CKSEvent() = default;

    std::int32_t GetKind() const { return m_kind; }
    const CKSString& GetText() const { return m_text; } // the batch name
    std::int32_t GetValue() const { return m_value; }

private:
    std::int32_t m_kind;
    CKSString m_text;
    std::int32_t m_value;
};

namespace observer_detail {
struct Registry;
}

// Receives every published event from the moment it is constructed until it is unsubscribed.
// Notify runs on the dispatch thread with the dispatcher's lock held: it must not wait for
// another thread that may be subscribing or unsubscribing (hand work for a window to the
// window's thread instead), and must not keep the event after it returns.
//
// The base registers in its constructor and unregisters in its destructor, but by then a
// derived object's members are already gone. A derived class whose Notify uses its own members
// therefore calls Unsubscribe() first thing in its destructor; Unsubscribe waits for a delivery in
// progress, and no Notify follows it. Likewise Notify can be called as soon as the base is
// built: construct subscribers before events flow to them, or keep what Notify reads ready
// before the base constructor runs (e.g. in an earlier base).
class CKSSubscriber {
public:
    virtual ~CKSSubscriber();
    CKSSubscriber(const CKSSubscriber&) = delete;
    CKSSubscriber& operator=(const CKSSubscriber&) = delete;

    virtual void Notify(const CKSEvent& event) = 0;

    // Stops delivery to this subscriber; idempotent.
    void Unsubscribe();

protected:
    CKSSubscriber();

private:
    std::shared_ptr<observer_detail::Registry> m_registry;
};

class CKSObserver {
public:
    static constexpr char16_t kQuitEventName[] = u"FKMQUIT";
    // Bounded wait for the dispatch thread at shutdown.
    static constexpr std::uint32_t kShutdownWaitMs = 16453;
    // Wait on the quit event after every message, cut short once a close message is queued.
    static constexpr std::uint32_t kQuitWaitMs = 100;
    // Exit code of a thread ended by a failure of its queue.
    static constexpr std::uint32_t kFatalExitCode = 0xFFFF;

    static CKSObserver& Instance();

    ~CKSObserver();
    CKSObserver(const CKSObserver&) = delete;
    CKSObserver& operator=(const CKSObserver&) = delete;

    // Starts the dispatch thread unless it exists. Throws CKSException
    // "Failed to create DISPATCH (0x%X)" with the system's error code when it cannot be made.
    void StartDispatch();

    void Subscribe(CKSSubscriber* subscriber);
    void Unsubscribe(CKSSubscriber* subscriber);

    // Queues an event for the dispatch thread; when the thread does not exist or has ended, the
    // event is discarded.
    void Publish(std::int32_t kind, std::u16string_view text, std::int32_t value);

    CKSManualResetEvent& GetQuitEvent();

    // Whether the dispatch thread exists and is still running.
    bool IsDispatching() const;
    // The exit code of a dispatch thread that has ended (the close message's code, 0 after the
    // quit event, kFatalExitCode after a queue failure).
    std::uint32_t GetExitCode() const;

    // The shutdown of the start-up code: closes the thread (code 0) and waits for it up to
    // waitMs, forgetting it when it ended; then sets the quit event and posts a second close
    // (code 1). True when no dispatch thread is left running. Safe to call more than once.
    bool Shutdown(std::uint32_t waitMs = kShutdownWaitMs);

private:
    friend class CKSSubscriber; // registers with the shared registry
    struct Queue;
    struct ThreadEnd;

    CKSObserver();
    static void Run(std::shared_ptr<observer_detail::Registry> registry, std::shared_ptr<Queue> queue,
                    std::shared_ptr<ThreadEnd> end);
    void PostClose(std::uint32_t exitCode);
    // Waits for the thread to end and joins it; false on a time-out (the thread is kept).
    bool WaitForThread(std::uint32_t waitMs);

    std::shared_ptr<observer_detail::Registry> m_registry;
    mutable std::mutex m_threadMutex; // guards the three below
    std::thread m_thread;
    std::shared_ptr<Queue> m_queue;
    std::shared_ptr<ThreadEnd> m_end;
};
