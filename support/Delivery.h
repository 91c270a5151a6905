#pragma once
// The one way a result reaches a window from another thread: a call queued for a receiver (a
// QObject that the window owns) and run on the receiver's thread, in the order the calls were
// queued. A receiver that is gone simply gets nothing: its owner closes the delivery before the
// receiver goes, which drops the calls still waiting (and frees what they captured), and Qt drops
// the wake-up of a receiver that is destroyed.
//
// The calls wait in the delivery's own queue, under its own lock; Qt's event queue carries only a
// wake-up. So everything a call captured is handed over under a lock that thread checkers see,
// not inside Qt, and a burst of calls costs the receiver's thread one wake-up.

#include <QMetaObject>
#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

// Queues fn to run on receiver's thread, for a caller on that same thread (the drop of a drag,
// which must return before the work starts).
template <typename Fn>
void Deliver(QObject* receiver, Fn&& fn) {
    QMetaObject::invokeMethod(receiver, std::forward<Fn>(fn), Qt::QueuedConnection);
}

namespace delivery_detail {

struct Inbox {
    std::mutex mutex;
    std::deque<std::function<void()>> calls;
    bool wakePosted = false;
    bool closed = false;
};

// Lives on the receiver's thread as the receiver's child, so that it goes with the receiver; its
// Drain runs the calls waiting when a wake-up arrives.
class CDeliveryWake : public QObject {
    Q_OBJECT
public:
    CDeliveryWake(QObject* receiver, std::shared_ptr<Inbox> inbox);
    Q_INVOKABLE void Drain();

private:
    const std::shared_ptr<Inbox> m_inbox;
};

} // namespace delivery_detail

class CDelivery {
public:
    // On the receiver's thread.
    explicit CDelivery(QObject* receiver);
    ~CDelivery() { Close(); }
    CDelivery(const CDelivery&) = delete;
    CDelivery& operator=(const CDelivery&) = delete;

    // Any thread: queues fn for the receiver unless the delivery is closed; answers whether it was.
    bool Post(std::function<void()> fn);
    // The receiver's thread, before the receiver goes. A Post in flight only queues, so this waits a
    // moment at most; once it has returned nothing more reaches the receiver, and the calls still
    // waiting are dropped.
    void Close();

private:
    const std::shared_ptr<delivery_detail::Inbox> m_inbox;
    // The receiver's child; used only while the delivery is open, which its owner ends before the
    // receiver (and so the child) goes.
    delivery_detail::CDeliveryWake* m_wake;
};
