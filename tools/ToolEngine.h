#pragma once
// A tool's background engine (the hash worker, the viewer's loader, the exerciser's agent) and the
// way its results come back, owned for its tool. The engine's listener queues calls on the tool
// through Post; the tool's window shows what they change.
//
// Ending is one sequence for every tool (Close): nothing more is queued to the tool, the engine's
// listener is detached (waiting only for a callback in flight, which only queues a call) and the
// engine goes to the reaper, which abandons it and destroys it once it has ended. The tool never
// waits for the engine's work, so a read stuck on a hung file cannot hold a closing window.

#include "support/Delivery.h"
#include "support/ThreadReaper.h"

#include <functional>
#include <memory>
#include <utility>

template <typename Engine>
class CToolEngine {
public:
    // receiver: the tool, whose thread runs the queued calls.
    CToolEngine(QObject* receiver, CThreadReaper& reaper) : m_delivery(receiver), m_reaper(reaper) {}
    ~CToolEngine() { Close(); }
    CToolEngine(const CToolEngine&) = delete;
    CToolEngine& operator=(const CToolEngine&) = delete;

    // Lets the engine in hand go (a finished run's, say) and takes this one.
    void Reset(std::unique_ptr<Engine> engine) {
        Release();
        m_engine = std::move(engine);
    }
    // Lets the engine in hand go; calls it queued earlier still reach the tool.
    void Release() {
        if (m_engine) {
            m_engine->SetListener(nullptr);
            m_reaper.Adopt(std::move(m_engine));
        }
    }
    // Any thread: queues fn on the tool, unless the tool is closed.
    void Post(std::function<void()> fn) { m_delivery.Post(std::move(fn)); }
    // Ends the tool's side for good; false when it was closed already.
    bool Close() {
        if (m_closed) {
            return false;
        }
        m_closed = true;
        m_delivery.Close();
        Release();
        return true;
    }
    bool IsClosed() const { return m_closed; }

    Engine* Get() const { return m_engine.get(); }
    Engine* operator->() const { return m_engine.get(); }
    explicit operator bool() const { return m_engine != nullptr; }

private:
    CDelivery m_delivery;
    CThreadReaper& m_reaper;
    std::unique_ptr<Engine> m_engine;
    bool m_closed = false;
};
