#pragma once
// Keeps track of the modeless tool windows (hash calculators, binary viewers, ...) so that the
// program can close each through its normal path before it ends. GUI-thread bookkeeping only:
// a window releases itself when it closes (it deletes itself), and the record of it lapses.

#include <QPointer>
#include <QWidget>

#include <vector>

class CToolWindowManager {
public:
    // Tracks a window that deletes itself on close.
    void Register(QWidget* window);
    // Closes every tracked window that still exists, newest first, each through its close
    // event (so it saves its settings and joins its threads). Answers how many it closed.
    int CloseAll();
    // Windows still open.
    std::vector<QWidget*> Windows() const;

private:
    std::vector<QPointer<QWidget>> m_windows;
};
