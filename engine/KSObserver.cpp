#include "engine/KSObserver.h"

#include "support/KSException.h"
#include "support/KSLogger.h"
#include "support/KSSynchronizer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <system_error>
#include <vector>

namespace observer_detail {

// What the dispatch thread shares with everyone else. Subscribers and the thread hold it too, so
// it outlives the dispatcher object at process end, whatever order things are destroyed in.
struct Registry {
    CKSSynchronizer lock; // guards subscribers and delivering
    std::vector<CKSSubscriber*> subscribers;
    bool delivering = false;
    CKSManualResetEvent quit;

    void Add(CKSSubscriber* subscriber) {
        CAutoLock guard(lock);
        subscribers.push_back(subscriber);
    }

    void Remove(CKSSubscriber* subscriber) {
        CAutoLock guard(lock);
        if (delivering) {
            // Called from a Notify on the dispatch thread (no other thread can hold the lock
            // now): blank the entries, so that the delivery loop's positions stay valid.
            std::replace(subscribers.begin(), subscribers.end(), subscriber,
                         static_cast<CKSSubscriber*>(nullptr));
        } else {
            subscribers.erase(std::remove(subscribers.begin(), subscribers.end(), subscriber),
                              subscribers.end());
        }
    }

    void Deliver(const CKSEvent& event) {
        CAutoLock guard(lock);
        delivering = true;
        // Subscribers added by a Notify start with the next event.
        const std::size_t count = subscribers.size();
        for (std::size_t i = 0; i < count; ++i) {
            CKSSubscriber* subscriber = subscribers[i];
            if (subscriber == nullptr) {
                continue;
            }
            // One failing subscriber must not cost the others their events or end the thread.
            try {
                subscriber->Notify(event);
            } catch (const std::exception& error) {
                KSDebugOutputA(std::string("CKSObserver: a subscriber failed: ") + error.what() + "\n");
            } catch (...) {
                KSDebugOutputA("CKSObserver: a subscriber failed.\n");
            }
        }
        delivering = false;
        subscribers.erase(std::remove(subscribers.begin(), subscribers.end(), nullptr), subscribers.end());
    }
};

} // namespace observer_detail

// The dispatch thread's message queue: events (whose ownership passes to the queue) and close
// requests. Once the thread has ended the queue is closed: posting fails and the poster keeps
// (and so destroys) its message; whatever was still queued is destroyed by the thread.
struct CKSObserver::Queue {
    enum class Kind { Command, Close };
    struct Message {
        Kind kind = Kind::Close;
        std::unique_ptr<CKSEvent> event;
        std::uint32_t exitCode = 0;
    };

    bool Post(Message& message) {
        std::lock_guard guard(mutex);
        if (closed) {
            return false;
        }
        const bool close = message.kind == Kind::Close;
        messages.push_back(std::move(message));
        ready.notify_one();
        if (close) {
            closing.Set();
        }
        return true;
    }

    Message Take() {
        std::unique_lock guard(mutex);
        ready.wait(guard, [this] { return !messages.empty(); });
        Message message = std::move(messages.front());
        messages.pop_front();
        return message;
    }

    void Close() {
        std::deque<Message> rest;
        {
            std::lock_guard guard(mutex);
            closed = true;
            rest.swap(messages);
        }
    }

    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Message> messages;
    bool closed = false;
    // Set once a close message is queued: the events before it are delivered without the pause
    // that follows each one, so that a backlog never holds up the program's exit.
    CKSManualResetEvent closing;
};

struct CKSObserver::ThreadEnd {
    CKSManualResetEvent exited;
    std::atomic<std::uint32_t> exitCode{0};
};

CKSSubscriber::CKSSubscriber() : m_registry(CKSObserver::Instance().m_registry) {
    m_registry->Add(this);
}

CKSSubscriber::~CKSSubscriber() {
    Unsubscribe();
}

void CKSSubscriber::Unsubscribe() {
    if (m_registry) {
        m_registry->Remove(this);
        m_registry.reset();
    }
}

CKSObserver& CKSObserver::Instance() {
    static CKSObserver observer;
    return observer;
}

CKSObserver::CKSObserver() : m_registry(std::make_shared<observer_detail::Registry>()) {}

CKSObserver::~CKSObserver() {
    m_registry->quit.Set();
    PostClose(1);
    if (!WaitForThread(kShutdownWaitMs)) {
        // A subscriber that never returns must not keep the process from ending; the thread
        // holds its own share of everything it uses.
        std::lock_guard guard(m_threadMutex);
        if (m_thread.joinable()) {
            m_thread.detach();
        }
    }
    CAutoLock guard(m_registry->lock);
    m_registry->subscribers.clear();
}

void CKSObserver::StartDispatch() {
    std::lock_guard guard(m_threadMutex);
    if (m_thread.joinable()) {
        return;
    }
    auto queue = std::make_shared<Queue>();
    auto end = std::make_shared<ThreadEnd>();
    try {
        m_thread = std::thread(&CKSObserver::Run, m_registry, queue, end);
    } catch (const std::system_error& error) {
        throw CKSException(u"Failed to create DISPATCH (0x%X)",
                           static_cast<std::uint32_t>(error.code().value()));
    }
    m_queue = std::move(queue);
    m_end = std::move(end);
}

void CKSObserver::Run(std::shared_ptr<observer_detail::Registry> registry, std::shared_ptr<Queue> queue,
                      std::shared_ptr<ThreadEnd> end) {
    std::uint32_t exitCode = 0;
    try {
        for (;;) {
            Queue::Message message = queue->Take();
            if (message.kind == Queue::Kind::Close) {
                exitCode = message.exitCode;
                break;
            }
            if (message.event) {
                registry->Deliver(*message.event);
                message.event.reset();
            }
            if (CKSManualResetEvent::WaitAny({&registry->quit, &queue->closing}, kQuitWaitMs) == 0) {
                break;
            }
        }
    } catch (...) {
        KSDebugOutputA("Fatal messaging error.\n");
        exitCode = kFatalExitCode;
    }
    queue->Close();
    end->exitCode.store(exitCode);
    end->exited.Set();
}

void CKSObserver::Subscribe(CKSSubscriber* subscriber) {
    m_registry->Add(subscriber);
}

void CKSObserver::Unsubscribe(CKSSubscriber* subscriber) {
    m_registry->Remove(subscriber);
}

void CKSObserver::Publish(std::int32_t kind, std::u16string_view text, std::int32_t value) {
    Queue::Message message{Queue::Kind::Command, std::make_unique<CKSEvent>(kind, text, value), 0};
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard guard(m_threadMutex);
        if (!m_thread.joinable() || m_end->exited.IsSet()) {
            return; // the event goes with the message
        }
        queue = m_queue;
    }
    queue->Post(message);
}

CKSManualResetEvent& CKSObserver::GetQuitEvent() {
    return m_registry->quit;
}

bool CKSObserver::IsDispatching() const {
    std::lock_guard guard(m_threadMutex);
    return m_thread.joinable() && !m_end->exited.IsSet();
}

std::uint32_t CKSObserver::GetExitCode() const {
    std::lock_guard guard(m_threadMutex);
    return m_end ? m_end->exitCode.load() : 0;
}

void CKSObserver::PostClose(std::uint32_t exitCode) {
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard guard(m_threadMutex);
        queue = m_queue;
    }
    if (queue) {
        Queue::Message message{Queue::Kind::Close, nullptr, exitCode};
        queue->Post(message);
    }
}

bool CKSObserver::WaitForThread(std::uint32_t waitMs) {
    std::shared_ptr<ThreadEnd> end;
    std::thread::id id;
    {
        std::lock_guard guard(m_threadMutex);
        if (!m_thread.joinable()) {
            return true;
        }
        end = m_end;
        id = m_thread.get_id();
    }
    if (id == std::this_thread::get_id() || !end->exited.Wait(waitMs)) {
        return false; // a subscriber cannot wait for its own thread
    }
    std::lock_guard guard(m_threadMutex);
    if (m_thread.joinable() && m_thread.get_id() == id) {
        m_thread.join();
    }
    return true;
}

bool CKSObserver::Shutdown(std::uint32_t waitMs) {
    bool ended = true;
    bool exists = false;
    {
        std::lock_guard guard(m_threadMutex);
        exists = m_thread.joinable();
    }
    if (exists) {
        PostClose(0);
        ended = WaitForThread(waitMs);
    }
    m_registry->quit.Set();
    PostClose(1);
    return ended;
}
