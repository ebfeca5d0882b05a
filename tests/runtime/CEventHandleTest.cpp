#include "runtime/CEventHandle.h"

#include <gtest/gtest.h>

TEST(CEventHandle, SetResetTrackTheFlagAndTheEvent)
{
    CEventHandle event;
    ASSERT_EQ(1, event.Create(true));
    EXPECT_FALSE(event.IsSignaled());
    EXPECT_EQ(1, event.Set());
    EXPECT_EQ(1u, event.uiSignaled);
    EXPECT_TRUE(event.IsSignaled());
    // Manual reset: it stays signalled until Reset.
    EXPECT_TRUE(event.IsSignaled());
    EXPECT_EQ(1, event.Reset());
    EXPECT_EQ(0u, event.uiSignaled);
    EXPECT_FALSE(event.IsSignaled());
    EXPECT_EQ(1, event.Close());
    EXPECT_EQ(nullptr, event.hEvent);
}

TEST(CEventHandle, SetWhileFlaggedDoesNotCallTheSystem)
{
    CEventHandle event;
    ASSERT_EQ(1, event.Create(true));
    ASSERT_EQ(1, event.Set());
    // Reset behind the flag's back: a flagged Set must not signal again.
    ResetEvent(event.hEvent);
    EXPECT_EQ(1, event.Set());
    EXPECT_FALSE(event.IsSignaled());
    event.Close();
}

TEST(CEventHandle, AutoResetIsConsumedByAWait)
{
    CEventHandle event;
    ASSERT_EQ(1, event.Create(false));
    event.Set();
    EXPECT_TRUE(event.IsSignaled());
    EXPECT_FALSE(event.IsSignaled());
    event.Close();
}

TEST(CEventHandle, ClosedHandleRefusesSetAndCloseTwiceIsHarmless)
{
    CEventHandle event;
    EXPECT_EQ(-1, event.Set());
    EXPECT_EQ(-1, event.Reset());
    EXPECT_EQ(1, event.Close());
    EXPECT_EQ(1, event.Close());
    EXPECT_FALSE(event.IsSignaled());
}
