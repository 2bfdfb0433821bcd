// CRVSharedObj: re-entrance, exclusion beyond the wait period, abandoned owners, named sharing.
#include "support/RVSharedObj.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class CountingLock : public CRVSharedObj {
public:
    using CRVSharedObj::CRVSharedObj;
    bool OnMutexCreated() override {
        ++created;
        return true;
    }
    bool OnMutexExisted() override {
        ++existed;
        return true;
    }
    int created = 0, existed = 0;
};

TEST(RVSharedObj, NestedLocksOnOneThreadNeedAsManyUnlocks) {
    CRVSharedObj lock;
    ASSERT_TRUE(lock.Lock(1));
    ASSERT_TRUE(lock.Lock(1));
    EXPECT_FALSE(lock.Unlock()) << "still held once";
    EXPECT_TRUE(lock.Unlock());

    std::atomic<bool> got{false};
    std::thread other([&] {
        got = lock.Lock(1);
        lock.Unlock();
    });
    other.join();
    EXPECT_TRUE(got) << "the lock is free after the second Unlock";

    ASSERT_TRUE(lock.Lock(1));
    ASSERT_TRUE(lock.Lock(1));
    uint16_t count = 0;
    EXPECT_TRUE(lock.Unlock(&count));
    EXPECT_EQ(count, 2) << "Unlock with a count releases every level at once";
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

TEST(RVSharedObj, OwnerThreadEndingWithoutUnlockDoesNotBlockForever) {
    CRVSharedObj lock;
    std::thread owner([&] { lock.Lock(1); });
    owner.join();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(lock.Lock(1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    lock.Unlock();
}

TEST(RVSharedObj, NamedLocksShareOneSystemMutex) {
    CountingLock first("LumenTestSharedMutex");
    CountingLock second("LumenTestSharedMutex");
    ASSERT_TRUE(first.Lock(1));
    EXPECT_EQ(first.created, 1);
    std::atomic<bool> got{false};
    std::thread other([&] {
        got = second.Lock(1);
        second.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(got) << "a second object on the same name waits for the first";
    first.Unlock();
    other.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(second.existed, 1);
}

} // namespace
