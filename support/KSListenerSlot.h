#pragma once
// The listener of a background engine: the engine's thread calls through it, and the owner (a
// window that may close at any moment) replaces it whenever it likes. Set waits for a callback
// already running on another thread to return, as CKSSubscriber::Unsubscribe does, so that once
// Set(nullptr) has returned no callback runs on the old listener and none will. Set from within a
// callback (on the engine's thread) does not wait for itself.
//
// Callbacks run with the slot's lock held: they must return promptly and never wait for a
// thread that may be replacing the listener (a tool queues a call with CDelivery and returns).

#include <mutex>
#include <utility>

template <typename Listener>
class CKSListenerSlot {
public:
    void Set(Listener* listener) {
        std::lock_guard lock(m_mutex);
        m_listener = listener;
    }

    // Calls call(listener) when a listener is set; answers whether one was.
    template <typename Call>
    bool Notify(Call&& call) {
        std::lock_guard lock(m_mutex);
        if (m_listener == nullptr) {
            return false;
        }
        std::forward<Call>(call)(*m_listener);
        return true;
    }

private:
    // Recursive, so that a callback may replace the listener without waiting for itself.
    std::recursive_mutex m_mutex;
    Listener* m_listener = nullptr;
};
