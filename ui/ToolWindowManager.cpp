#include "ui/ToolWindowManager.h"

#include <algorithm>

void CToolWindowManager::Register(QWidget* window) {
    std::erase_if(m_windows, [](const QPointer<QWidget>& tracked) { return tracked.isNull(); });
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_windows.emplace_back(window);
}

int CToolWindowManager::CloseAll() {
    int closed = 0;
    // Newest first; closing one window must not disturb the walk, so it runs over a copy.
    std::vector<QPointer<QWidget>> windows = m_windows;
    std::reverse(windows.begin(), windows.end());
    for (const QPointer<QWidget>& window : windows) {
        if (!window.isNull()) {
            window->close();
            ++closed;
        }
    }
    std::erase_if(m_windows, [](const QPointer<QWidget>& tracked) { return tracked.isNull(); });
    return closed;
}

std::vector<QWidget*> CToolWindowManager::Windows() const {
    std::vector<QWidget*> open;
    for (const QPointer<QWidget>& window : m_windows) {
        if (!window.isNull()) {
            open.push_back(window.data());
        }
    }
    return open;
}
