#include "support/KSSynchronizer.h"

#include <chrono>
#include <thread>

bool CKSSynchronizer::TryLock(std::uint32_t milliseconds) {
    constexpr std::uint32_t kStep = 50;
    for (std::uint32_t elapsed = 0; elapsed < milliseconds; elapsed += kStep) {
        if (m_mutex.try_lock()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kStep));
    }
    return false;
}

bool CKSMutex::TryLock(std::uint32_t milliseconds) {
    return m_mutex.try_lock_for(std::chrono::milliseconds(milliseconds));
}
