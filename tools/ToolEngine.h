#pragma once
// A tool's background engine (the hash worker, the viewer's loader, the exerciser's agent), owned
// for its tool. Letting it go is one sequence for every tool: its listener is detached (waiting only
// for a callback in flight, which only queues a call) and the engine goes to the reaper, which
// abandons it and destroys it once it has ended. The tool itself never waits for the engine's work,
// so a read stuck on a hung file cannot hold a closing window.

#include "support/ThreadReaper.h"

#include <memory>
#include <utility>

template <typename Engine>
class CToolEngine {
public:
    explicit CToolEngine(CThreadReaper& reaper) : m_reaper(reaper) {}
    ~CToolEngine() { Release(); }
    CToolEngine(const CToolEngine&) = delete;
    CToolEngine& operator=(const CToolEngine&) = delete;

    // Lets the engine in hand go and takes this one.
    void Reset(std::unique_ptr<Engine> engine) {
        Release();
        m_engine = std::move(engine);
    }
    void Release() {
        if (m_engine) {
            m_engine->SetListener(nullptr);
            m_reaper.Adopt(std::move(m_engine));
        }
    }

    Engine* Get() const { return m_engine.get(); }
    Engine* operator->() const { return m_engine.get(); }
    explicit operator bool() const { return m_engine != nullptr; }

private:
    CThreadReaper& m_reaper;
    std::unique_ptr<Engine> m_engine;
};
