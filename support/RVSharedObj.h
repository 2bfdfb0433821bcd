// CRVSharedObj: a re-entrant lock over a system mutex, unnamed (private to the process: the link
// lock) or named (shared by every process that loads the module: the log lock).
#pragma once

#include "support/Lockable.h"

#include <windows.h>

#include <atomic>
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
    // False only when the system mutex cannot be created or waited on: the caller does not own it.
    bool Lock(unsigned count = 1) override;
    // Releases once. True when the release succeeded and this thread no longer holds the lock.
    bool Unlock() override;
    // Stores this thread's lock count in *count and releases that many times.
    bool Unlock(uint16_t* count);

    uint16_t GetLockCount() const noexcept { return m_lockCount; }

private:
    HANDLE Mutex();
    // One release by the owner thread; *free tells whether it was the last level.
    bool ReleaseOnce(bool* free);

    std::atomic<uint16_t> m_lockCount{0};
    // Opened on first use and kept for the object's life: other threads may be waiting on it.
    std::atomic<HANDLE> m_mutex{nullptr};
    std::unique_ptr<char[]> m_name;
    uint16_t m_waitPeriodMs = kWaitPeriodMs;
    std::mutex m_openGuard;          // two threads' first Lock must not create two mutexes
    std::atomic<DWORD> m_ownerId{0}; // thread holding the lock, 0 when free
};
