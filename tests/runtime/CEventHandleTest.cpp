#include "runtime/CEventHandle.h"

#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

namespace
{
bool HandleIsSignaled(HANDLE handle)
{
    return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

bool HandleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}
}

TEST(CEventHandle, SetResetCloseTrackTheFlagAndTheEvent)
{
    CEventHandle event;
    ASSERT_EQ(kStatusSuccess, event.Create(true));
    EXPECT_FALSE(event.IsSignaled());
    EXPECT_EQ(kStatusSuccess, event.Set());
    EXPECT_TRUE(event.IsSignaled());
    EXPECT_TRUE(HandleIsSignaled(event.hEvent));
    EXPECT_EQ(kStatusSuccess, event.Reset());
    EXPECT_FALSE(event.IsSignaled());
    EXPECT_FALSE(HandleIsSignaled(event.hEvent));

    // Reset behind the flag's back: a flagged Set must not signal again, and the flag, which
    // reflects Set on this object only, still reads set.
    ASSERT_EQ(kStatusSuccess, event.Set());
    ResetEvent(event.hEvent);
    EXPECT_EQ(kStatusSuccess, event.Set());
    EXPECT_FALSE(HandleIsSignaled(event.hEvent));
    EXPECT_TRUE(event.IsSignaled());
    EXPECT_EQ(kStatusSuccess, event.Close());
    EXPECT_EQ(nullptr, event.hEvent);
    EXPECT_FALSE(event.IsSignaled());
    // Closed: Set and Reset are refused, and a second Close is harmless.
    EXPECT_EQ(kStatusFailure, event.Set());
    EXPECT_EQ(kStatusFailure, event.Reset());
    EXPECT_EQ(kStatusSuccess, event.Close());
}

// A polling loop on another thread must see Set: the flag is its only path to the stop.
TEST(CEventHandle, SetIsSeenByAThreadPollingTheFlag)
{
    CEventHandle event;
    ASSERT_EQ(kStatusSuccess, event.Create(true));
    std::thread poller([&event] {
        while (!event.IsSignaled())
        {
        }
    });
    Sleep(10);
    ASSERT_EQ(kStatusSuccess, event.Set());
    poller.join();
    EXPECT_TRUE(HandleIsSignaled(event.hEvent));
}

TEST(CEventHandle, OwnsItsHandleAndMovesItOn)
{
    HANDLE first = nullptr;
    {
        CEventHandle event;
        ASSERT_EQ(kStatusSuccess, event.Create(true));
        first = event.hEvent;
    }
    EXPECT_FALSE(HandleIsOpen(first)) << "the destructor closes the handle";

    CEventHandle source;
    ASSERT_EQ(kStatusSuccess, source.Create(true));
    ASSERT_EQ(kStatusSuccess, source.Set());
    const HANDLE moved = source.hEvent;
    CEventHandle target(std::move(source));
    EXPECT_EQ(moved, target.hEvent);
    EXPECT_TRUE(target.IsSignaled());
    EXPECT_EQ(nullptr, source.hEvent);
    EXPECT_FALSE(source.IsSignaled());

    CEventHandle other;
    ASSERT_EQ(kStatusSuccess, other.Create(false));
    const HANDLE replaced = other.hEvent;
    other = std::move(target);
    EXPECT_FALSE(HandleIsOpen(replaced)) << "assignment closes the handle it replaces";
    EXPECT_EQ(moved, other.hEvent);
    EXPECT_TRUE(other.IsSignaled());
    EXPECT_EQ(nullptr, target.hEvent);
    EXPECT_TRUE(HandleIsOpen(moved));
}
