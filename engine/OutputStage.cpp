#include "engine/OutputStage.h"

#include "engine/FileDamage.h"

#include <algorithm>

void CTailDamageStage::Put(const char* data, std::size_t count) {
    m_held.append(data, count);
    // Bytes leave in large pieces: twice the window is held at most.
    if (m_held.size() >= 2 * m_window) {
        const std::size_t leaving = m_held.size() - m_window;
        PutNext(m_held.data(), leaving);
        m_passed += leaving;
        m_held.erase(0, leaving);
    }
}

void CTailDamageStage::Finish() {
    if (m_damage) {
        m_damage(m_held, m_passed);
    }
    PutNext(m_held);
    m_passed += m_held.size();
    m_held.clear();
}

void CTailDamageStage::Discard() {
    m_held.clear();
    m_passed = 0;
}

void CDropStage::Put(const char* data, std::size_t count) {
    if (m_first.size() < CByteChange::kShortBytes) {
        m_first.append(data, std::min(count, CByteChange::kShortBytes - m_first.size()));
    }
    m_dropped += count;
}

void CDropStage::Discard() {
    m_dropped = 0;
    m_first.clear();
}
