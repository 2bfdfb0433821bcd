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

// Holds a Lockable for a scope.
class LockGuard {
public:
    explicit LockGuard(Lockable& lock) : m_lock(lock) { m_lock.Lock(1); }
    ~LockGuard() { m_lock.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lockable& m_lock;
};

} // namespace support
