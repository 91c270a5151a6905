#pragma once
// The way a tool's background thread reaches its window: it posts app messages through the relay,
// which the window detaches before it goes. Detach waits for a post in flight, so once it has
// returned nothing is posted to the window any more, whatever the thread does next.

#include <QObject>

#include <any>
#include <mutex>

class CAppMessageRelay {
public:
    explicit CAppMessageRelay(QObject* target) : m_target(target) {}
    CAppMessageRelay(const CAppMessageRelay&) = delete;
    CAppMessageRelay& operator=(const CAppMessageRelay&) = delete;

    // Any thread: posts the message (the event owns the payload) unless the window is detached.
    void Post(int code, std::any payload);
    // The window's thread, before the window goes.
    void Detach();

private:
    std::mutex m_lock;
    QObject* m_target;
};
