#include "ui/AppMessageRelay.h"

#include "ui/AppEvents.h"

#include <QCoreApplication>

void CAppMessageRelay::Post(int code, std::any payload) {
    std::lock_guard lock(m_lock);
    if (m_target != nullptr) {
        QCoreApplication::postEvent(m_target, new CKSAppMessageEvent(code, std::move(payload)));
    }
}

void CAppMessageRelay::Detach() {
    std::lock_guard lock(m_lock);
    m_target = nullptr;
}
