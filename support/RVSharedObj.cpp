// The re-entrant system-mutex lock.
#include "support/RVSharedObj.h"

#include <cstring>

CRVSharedObj::CRVSharedObj(const char* name) {
    if (name) {
        size_t n = std::strlen(name);
        m_name = std::make_unique<char[]>(n + 1);
        std::memcpy(m_name.get(), name, n + 1);
    }
}

CRVSharedObj::~CRVSharedObj() {
    if (HANDLE h = m_mutex.load())
        ::CloseHandle(h);
}

HANDLE CRVSharedObj::Mutex() {
    if (HANDLE h = m_mutex.load())
        return h;
    std::lock_guard<std::mutex> guard(m_openGuard);
    if (HANDLE h = m_mutex.load())
        return h;
    HANDLE h = ::CreateMutexA(nullptr, FALSE, m_name.get());
    if (!h)
        return nullptr;
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    m_lockCount = 0;
    m_mutex = h;
    if (existed)
        OnMutexExisted();
    else
        OnMutexCreated();
    return h;
}

bool CRVSharedObj::Lock(unsigned) {
    HANDLE mutex = Mutex();
    if (!mutex)
        return false;
    const DWORD self = ::GetCurrentThreadId();
    for (;;) {
        const DWORD r = ::WaitForSingleObject(mutex, m_waitPeriodMs);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) {
            // A thread that ended holding the lock (abandoned) left its count behind: a new owner
            // starts afresh, so its own Unlock reports the release.
            if (r == WAIT_OBJECT_0 && m_ownerId.load() == self)
                ++m_lockCount;
            else
                m_lockCount = 1;
            m_ownerId = self;
            return true;
        }
        if (r != WAIT_TIMEOUT)
            return false;
        // The holder keeps the lock past the wait period (a restart command waits 3 s under it): wait
        // on the same mutex again. Re-opening a named mutex gives the same object anyway, and a fresh
        // unnamed one would let this waiter in beside the holder.
    }
}

bool CRVSharedObj::ReleaseOnce(bool* free) {
    HANDLE mutex = m_mutex.load();
    const uint16_t count = m_lockCount;
    if (!mutex || count == 0 || m_ownerId.load() != ::GetCurrentThreadId())
        return false;
    // Decided before the release: once released, another thread may own the lock and its count.
    const uint16_t remaining = static_cast<uint16_t>(count - 1);
    m_lockCount = remaining;
    if (remaining == 0)
        m_ownerId = 0;
    if (!::ReleaseMutex(mutex)) {
        m_ownerId = ::GetCurrentThreadId();
        m_lockCount = count;
        return false;
    }
    *free = remaining == 0;
    return true;
}

bool CRVSharedObj::Unlock() {
    bool free = false;
    return ReleaseOnce(&free) && free;
}

bool CRVSharedObj::Unlock(uint16_t* count) {
    if (!count)
        return Unlock();
    const uint16_t held = m_ownerId.load() == ::GetCurrentThreadId() ? m_lockCount.load() : uint16_t{0};
    *count = held;
    bool free = held == 0;
    for (uint16_t i = 0; i < held; ++i) {
        if (!ReleaseOnce(&free))
            return false;
    }
    return free;
}
