// A re-entrant lock as portable code sees it (the link lock and the log lock are system mutexes on
// Windows, plain in-memory locks in native tests).
#pragma once

namespace support {

class Lockable {
public:
    virtual ~Lockable() = default;
    virtual bool Lock(unsigned count = 1) = 0;
    virtual bool Unlock() = 0;
};

// Holds a Lockable for a scope. A lock that could not be taken is not released, and the caller must
// skip its guarded section: check owns() and report the failure.
class LockGuard {
public:
    explicit LockGuard(Lockable& lock) : m_lock(lock), m_owns(lock.Lock(1)) {}
    ~LockGuard() {
        if (m_owns)
            m_lock.Unlock();
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

    bool owns() const noexcept { return m_owns; }

private:
    Lockable& m_lock;
    const bool m_owns;
};

} // namespace support
