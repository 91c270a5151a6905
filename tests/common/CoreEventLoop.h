#pragma once
// Shared by the tests of classes that queue their results on a Qt event loop's thread (the tool
// classes, the output sink): those suites run one, a QCoreApplication without a display
// (CoreEventLoop.cpp); a gate that holds a stand-in for the file system as a hung network file
// would, until the test lets it go; and timing helpers.

#include "support/KSManualResetEvent.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>

// Processes queued calls until the condition holds or the time is up; answers the condition.
template <typename Condition>
bool RunUntil(Condition condition, int milliseconds = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Holds every thread that passes it until Open; Entered tells that one is held. Opens when it goes,
// so that a failing test does not leave a thread stuck.
class CHungFile {
public:
    ~CHungFile() { Open(); }
    void Pass() {
        ++m_held;
        m_entered.Set();
        m_open.Wait(kWaitForever);
    }
    bool Entered(std::uint32_t milliseconds = 10000) const { return m_entered.Wait(milliseconds); }
    void Open() { m_open.Set(); }

private:
    std::atomic<int> m_held{0};
    CKSManualResetEvent m_entered;
    CKSManualResetEvent m_open;
};

template <typename Action>
std::chrono::milliseconds TimeOf(Action action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}
