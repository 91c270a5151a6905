#include "support/Delivery.h"

namespace delivery_detail {

CDeliveryWake::CDeliveryWake(QObject* receiver, std::shared_ptr<Inbox> inbox)
    : QObject(receiver), m_inbox(std::move(inbox)) {}

void CDeliveryWake::Drain() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(m_inbox->mutex);
        m_inbox->wakePosted = false;
        if (m_inbox->closed) {
            return;
        }
        calls.swap(m_inbox->calls);
    }
    // A call may close the delivery (a tool ending itself): the rest are then dropped.
    while (!calls.empty()) {
        {
            std::lock_guard lock(m_inbox->mutex);
            if (m_inbox->closed) {
                return;
            }
        }
        const std::function<void()> call = std::move(calls.front());
        calls.pop_front();
        call();
    }
}

} // namespace delivery_detail

CDelivery::CDelivery(QObject* receiver)
    : m_inbox(std::make_shared<delivery_detail::Inbox>()),
      m_wake(new delivery_detail::CDeliveryWake(receiver, m_inbox)) {}

bool CDelivery::Post(std::function<void()> fn) {
    std::lock_guard lock(m_inbox->mutex);
    if (m_inbox->closed) {
        return false;
    }
    m_inbox->calls.push_back(std::move(fn));
    if (!m_inbox->wakePosted) {
        m_inbox->wakePosted = true;
        // By name: the wake-up is made inside Qt and carries nothing of the caller's.
        QMetaObject::invokeMethod(m_wake, "Drain", Qt::QueuedConnection);
    }
    return true;
}

void CDelivery::Close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_inbox->mutex);
        m_inbox->closed = true;
        dropped.swap(m_inbox->calls);
    }
    // What the dropped calls captured is freed here, outside the lock.
}
