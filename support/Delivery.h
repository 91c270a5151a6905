#pragma once
// The one way a result reaches a window from another thread: a call queued on a receiver (a
// QObject that the window owns) and run on the receiver's thread. Qt drops a queued call whose
// receiver is destroyed before it runs, so a window that is gone simply gets nothing, and what the
// call captured is freed with it. Nothing may be queued to a receiver that is already gone:
// CDelivery keeps the receiver under a lock that its owner closes before the receiver goes.

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

// Queues fn to run on receiver's thread; the caller makes sure that receiver still exists.
template <typename Fn>
void Deliver(QObject* receiver, Fn&& fn) {
    QMetaObject::invokeMethod(receiver, std::forward<Fn>(fn), Qt::QueuedConnection);
}

class CDelivery {
public:
    explicit CDelivery(QObject* receiver) : m_receiver(receiver) {}
    ~CDelivery() { Close(); }
    CDelivery(const CDelivery&) = delete;
    CDelivery& operator=(const CDelivery&) = delete;

    // Any thread: queues fn on the receiver unless the delivery is closed; answers whether it was.
    template <typename Fn>
    bool Post(Fn&& fn) {
        std::lock_guard lock(m_mutex);
        if (m_receiver == nullptr) {
            return false;
        }
        Deliver(m_receiver, std::forward<Fn>(fn));
        return true;
    }

    // The receiver's thread, before the receiver goes. A Post in flight only queues, so this waits
    // a moment at most; once it has returned nothing more reaches the receiver.
    void Close() {
        std::lock_guard lock(m_mutex);
        m_receiver = nullptr;
    }

private:
    std::mutex m_mutex;
    QObject* m_receiver;
};
