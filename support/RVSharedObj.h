// CRVSharedObj: a re-entrant lock over a system mutex, unnamed (private to the process: the link
// lock) or named (shared by every process that loads the module: the log lock).
#pragma once

#include "support/Lockable.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>

class CRVSharedObj : public support::Lockable {
public:
    static constexpr uint16_t kWaitPeriodMs = 3000;

    // name may be null: an unnamed mutex, private to this lock object.
    explicit CRVSharedObj(const char* name = nullptr);
    ~CRVSharedObj() override;
    CRVSharedObj(const CRVSharedObj&) = delete;
    CRVSharedObj& operator=(const CRVSharedObj&) = delete;

    // The mutex was newly created by this object / already existed under its name.
    virtual bool OnMutexCreated() { return true; }
    virtual bool OnMutexExisted() { return true; }

    // Waits, in periods of the wait period, until this thread owns the lock; count 1 in every use.
    bool Lock(unsigned count = 1) override;
    // Releases once. True when the release succeeded and the lock count is back to 0.
    bool Unlock() override;
    // Stores the lock count in *count and releases that many times.
    bool Unlock(uint16_t* count);

    uint16_t GetLockCount() const noexcept { return m_lockCount; }

private:
    bool OpenMutex();
    bool ReleaseOnce();

    uint16_t m_lockCount = 0;
    HANDLE m_mutex = nullptr;
    std::unique_ptr<char[]> m_name;
    uint16_t m_waitPeriodMs = kWaitPeriodMs;
    std::mutex m_openGuard; // two threads' first Lock must not create two mutexes
};
