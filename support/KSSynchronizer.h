#pragma once
// Locks. CKSSynchronizer is the process-local lock used everywhere (recursive, like the
// critical section it stands for); CKSMutex the timed variant. CAutoLock and CTryAutoLock hold
// either for a scope.

#include <cstdint>
#include <mutex>

class IKSSynchronizer {
public:
    virtual ~IKSSynchronizer() = default;
    // Whether the lock was taken within the given milliseconds.
    virtual bool TryLock(std::uint32_t milliseconds) = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

class CKSSynchronizer : public IKSSynchronizer {
public:
    // Tries at once and then after every 50 ms sleep while less than the time has passed:
    // 100 ms gives two attempts, 0 none.
    bool TryLock(std::uint32_t milliseconds) override;
    void Lock() override { m_mutex.lock(); }
    void Unlock() override { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class CKSMutex : public IKSSynchronizer {
public:
    bool TryLock(std::uint32_t milliseconds) override;
    void Lock() override { m_mutex.lock(); }
    void Unlock() override { m_mutex.unlock(); }

private:
    std::recursive_timed_mutex m_mutex;
};

// Locks for the lifetime of the object; a null synchronizer makes it do nothing.
class CAutoLock {
public:
    explicit CAutoLock(IKSSynchronizer* lock) : m_lock(lock) {
        if (m_lock != nullptr) {
            m_lock->Lock();
        }
    }
    explicit CAutoLock(IKSSynchronizer& lock) : CAutoLock(&lock) {}
    ~CAutoLock() {
        if (m_lock != nullptr) {
            m_lock->Unlock();
        }
    }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    IKSSynchronizer* m_lock;
};

// Tries the lock for 100 ms; unlocks at the end only when it was taken.
class CTryAutoLock {
public:
    static constexpr std::uint32_t kTryMilliseconds = 100;

    explicit CTryAutoLock(IKSSynchronizer* lock) : m_lock(lock) {
        m_locked = m_lock != nullptr && m_lock->TryLock(kTryMilliseconds);
    }
    explicit CTryAutoLock(IKSSynchronizer& lock) : CTryAutoLock(&lock) {}
    ~CTryAutoLock() {
        if (m_locked) {
            m_lock->Unlock();
        }
    }
    bool IsLocked() const { return m_locked; }
    CTryAutoLock(const CTryAutoLock&) = delete;
    CTryAutoLock& operator=(const CTryAutoLock&) = delete;

private:
    IKSSynchronizer* m_lock;
    bool m_locked = false;
};
