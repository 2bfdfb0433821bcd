// CRVSharedObj: re-entrance and ownership, abandoned owners, exclusion beyond the wait period, and a
// holder of the named lock in another process with the release result under contention.
#include "support/RVSharedObj.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Re-entrance and ownership: nested locks need as many unlocks (or one with a count), only the owner
// releases, and an owner thread that ended holding the lock twice leaves the next owner at one level.
TEST(RVSharedObj, NestedLocksOwnershipAndAnAbandonedOwner) {
    CRVSharedObj lock;
    ASSERT_TRUE(lock.Lock(1));
    ASSERT_TRUE(lock.Lock(1));
    EXPECT_FALSE(lock.Unlock()) << "still held once";
    bool released = true;
    uint16_t count = 99;
    std::thread other([&] {
        released = lock.Unlock();
        lock.Unlock(&count);
    });
    other.join();
    EXPECT_FALSE(released) << "a thread holding nothing has nothing to release";
    EXPECT_EQ(count, 0);
    ASSERT_TRUE(lock.Lock(1));
    EXPECT_TRUE(lock.Unlock(&count));
    EXPECT_EQ(count, 2) << "Unlock with a count releases every level at once";

    std::thread owner([&] {
        lock.Lock(1);
        lock.Lock(1);
    });
    owner.join();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(lock.Lock(1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(lock.GetLockCount(), 1);
    EXPECT_TRUE(lock.Unlock()) << "the release of the only level is reported";
    std::atomic<bool> got{false};
    std::thread next([&] {
        got = lock.Lock(1);
        released = lock.Unlock();
    });
    next.join();
    EXPECT_TRUE(got && released) << "the lock is free for others afterwards";
}

// A holder may keep the link lock past the 3000 ms wait period (the restart command waits that long):
// the waiter must stay out until it is released, not slip in through a fresh mutex.
TEST(RVSharedObj, UnnamedLockKeepsAWaiterOutPastTheWaitPeriod) {
    CRVSharedObj lock;
    ASSERT_TRUE(lock.Lock(1));
    std::atomic<bool> inside{false};
    std::atomic<bool> released{false};
    std::atomic<bool> overlap{false};
    std::thread waiter([&] {
        lock.Lock(1);
        inside = true;
        if (!released)
            overlap = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(CRVSharedObj::kWaitPeriodMs + 600));
    EXPECT_FALSE(inside) << "the waiter got in while the holder still held the lock";
    released = true;
    lock.Unlock();
    waiter.join();
    EXPECT_TRUE(inside);
    EXPECT_FALSE(overlap);
}

constexpr char kHeldName[] = "LumenTestHeldByAnotherProcess";

// Another process holds the named lock past the wait period while two threads of this process wait
// on one lock object: both get it after the release, one after the other, and never together, and
// each one's Unlock reports its release even when the other takes the lock right after it.
TEST(RVSharedObj, TwoLocalWaitersOutlastAHolderInAnotherProcess) {
    const std::string readyName = "LumenTestHolderReady" + std::to_string(::GetCurrentProcessId());
    HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    ASSERT_NE(ready, nullptr);
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const DWORD holdMs = CRVSharedObj::kWaitPeriodMs + 700;
    std::string command =
        std::string("\"") + self + "\" --hold " + kHeldName + " " + readyName + " " + std::to_string(holdMs);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION holder{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                 &holder));
    ASSERT_EQ(::WaitForSingleObject(ready, 30000), WAIT_OBJECT_0) << "the holder never took the lock";
    const auto heldSince = std::chrono::steady_clock::now();

    CRVSharedObj lock(kHeldName);
    std::atomic<int> inside{0}, overlaps{0};
    struct Outcome {
        bool locked = false, released = false;
        std::chrono::steady_clock::duration after{};
    };
    Outcome outcomes[2];
    auto waiter = [&](Outcome& outcome) {
        outcome.locked = lock.Lock(1);
        outcome.after = std::chrono::steady_clock::now() - heldSince;
        if (++inside > 1)
            ++overlaps;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        --inside;
        outcome.released = lock.Unlock();
    };
    std::thread first(waiter, std::ref(outcomes[0])), second(waiter, std::ref(outcomes[1]));
    first.join();
    second.join();
    EXPECT_EQ(::WaitForSingleObject(holder.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(holder.hProcess, &code);
    EXPECT_EQ(code, 0u) << "the holder could not release at its end";
    ::CloseHandle(holder.hProcess);
    ::CloseHandle(holder.hThread);
    ::CloseHandle(ready);

    for (const Outcome& o : outcomes) {
        EXPECT_TRUE(o.locked);
        EXPECT_TRUE(o.released);
        EXPECT_GE(o.after, std::chrono::milliseconds(holdMs - 200))
            << "a waiter got in while the holder held it";
    }
    EXPECT_EQ(overlaps.load(), 0);
}

} // namespace

// --hold NAME READY_EVENT MS: takes the named lock, says so, holds it MS ms, releases it.
int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--hold") {
        CRVSharedObj lock(argv[2]);
        if (!lock.Lock(1))
            return 2;
        HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
        if (!ready)
            return 3;
        ::SetEvent(ready);
        ::CloseHandle(ready);
        ::Sleep(static_cast<DWORD>(std::stoul(argv[4])));
        return lock.Unlock() ? 0 : 4;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
