#include "runtime/CLock.h"
#include "runtime/CLockGuard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
// Takes and leaves the lock on a thread of its own (a lock still held blocks it, and the test).
bool AnotherThreadCanTake(CLock& lock)
{
    bool taken = false;
    std::thread other([&] {
        CLockGuard guard(lock);
        taken = true;
    });
    other.join();
    return taken;
}
}

TEST(CLock, IsReentrantForTheOwningThread)
{
    CLock lock;
    ASSERT_TRUE(lock.IsLive());
    lock.Enter();
    lock.Enter();
    lock.Leave();
    lock.Leave();
    // Another thread can take it once the owner has left both levels.
    EXPECT_TRUE(AnotherThreadCanTake(lock));
}

TEST(CLock, ExcludesOtherThreads)
{
    CLock lock;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i)
        {
            CLockGuard guard(lock);
            ++counter;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(40000, counter);
}

TEST(CLock, DestroyedLockDoesNothingAndDestroyTwiceIsHarmless)
{
    CLock lock;
    lock.Destroy();
    EXPECT_FALSE(lock.IsLive());
    lock.Enter();
    lock.Leave();
    lock.Destroy();
}

// An inner guard released twice leaves its own level only: the outer guard still holds the lock.
TEST(CLockGuard, HoldsItsLevelUntilReleasedOnce)
{
    CLockGuard none(static_cast<CLock*>(nullptr));
    none.Release();

    CLock lock;
    CLockGuard outer(&lock);
    {
        CLockGuard inner(lock);
        inner.Release();
        inner.Release();
    }
    std::atomic<bool> taken{false};
    std::thread other([&] {
        CLockGuard guard(lock);
        taken = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(taken) << "the outer guard holds the lock";
    outer.Release();
    other.join();
    EXPECT_TRUE(taken);
}
