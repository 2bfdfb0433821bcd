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
    if (m_mutex)
        ::CloseHandle(m_mutex);
}

bool CRVSharedObj::OpenMutex() {
    HANDLE h = ::CreateMutexA(nullptr, FALSE, m_name.get());
    if (!h)
        return false;
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (m_mutex)
        ::CloseHandle(m_mutex);
    m_mutex = h;
    m_lockCount = 0;
    if (existed)
        OnMutexExisted();
    else
        OnMutexCreated();
    return true;
}

bool CRVSharedObj::Lock(unsigned) {
    {
        std::lock_guard<std::mutex> guard(m_openGuard);
        if (!m_mutex && !OpenMutex())
            return false;
    }
    for (;;) {
        DWORD r = ::WaitForSingleObject(m_mutex, m_waitPeriodMs);
        // An abandoned mutex is owned by the waiter now: its owner thread ended without releasing it.
        // Taking it (instead of re-opening and waiting again) is what lets us never block forever on it.
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) {
            ++m_lockCount;
            return true;
        }
        if (r == WAIT_TIMEOUT && m_name) {
            // A named mutex re-opened is the same system object: a plain retry. An unnamed one is
            // never replaced, since a new unnamed mutex would let this waiter in beside the holder.
            std::lock_guard<std::mutex> guard(m_openGuard);
            HANDLE h = ::CreateMutexA(nullptr, FALSE, m_name.get());
            if (h) {
                ::CloseHandle(m_mutex);
                m_mutex = h;
            }
        } else if (r != WAIT_TIMEOUT) {
            return false;
        }
    }
}

bool CRVSharedObj::ReleaseOnce() {
    if (!m_mutex || m_lockCount == 0)
        return false;
    --m_lockCount;
    if (!::ReleaseMutex(m_mutex)) {
        ++m_lockCount;
        return false;
    }
    return true;
}

bool CRVSharedObj::Unlock() { return ReleaseOnce() && m_lockCount == 0; }

bool CRVSharedObj::Unlock(uint16_t* count) {
    if (!count)
        return Unlock();
    *count = m_lockCount;
    const uint16_t releases = m_lockCount;
    for (uint16_t i = 0; i < releases; ++i) {
        if (!ReleaseOnce())
            return false;
    }
    return m_lockCount == 0;
}
