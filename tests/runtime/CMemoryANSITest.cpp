#include "runtime/CMemoryANSI.h"

#include "runtime/Status.h"

#include <gtest/gtest.h>

TEST(CMemoryANSI, AllocatesZeroFilledBlocksAndRefusesBadRequests)
{
    CMemoryANSI memory;
    SMemory& allocator = memory;
    void* block = nullptr;
    ASSERT_EQ(kStatusSuccess, allocator.Allocate(&block, 20480));
    ASSERT_NE(nullptr, block);
    const unsigned char* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < 20480; ++i)
        ASSERT_EQ(0, bytes[i]) << "byte " << i;
    EXPECT_EQ(kStatusSuccess, allocator.Free(block));

    EXPECT_EQ(kStatusInvalidArgument, memory.Free(nullptr));
    EXPECT_EQ(kStatusInvalidArgument, memory.Allocate(nullptr, 16));
    // Beyond any heap: refused with a null block, not an exception.
    EXPECT_EQ(kStatusNotCreated, memory.Allocate(&block, UINT64_MAX));
    EXPECT_EQ(nullptr, block);
}
