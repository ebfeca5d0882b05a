#include "runtime/CByteRing.h"
#include "runtime/Status.h"
#include "runtime/SystemBeep.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

// Reaches into the ring to corrupt its positions, which no sequence of calls can do.
struct CByteRingTestAccess
{
    static uint8_t* Storage(CByteRing& ring) { return ring.m_pStorage; }
    static uint64_t& WritePosition(CByteRing& ring) { return ring.m_uiWritePosition; }
    static uint64_t& ReadPosition(CByteRing& ring) { return ring.m_uiReadPosition; }
    static uint64_t& Fill(CByteRing& ring) { return ring.m_uiFill; }
};

namespace
{
using Access = CByteRingTestAccess;

std::vector<uint8_t> Sequence(size_t first, size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

int g_Beeps = 0;

class BeepCounter
{
public:
    BeepCounter() : m_Previous(SetSystemBeepHook([] { ++g_Beeps; })) { g_Beeps = 0; }
    ~BeepCounter() { SetSystemBeepHook(m_Previous); }

private:
    SystemBeepHook m_Previous;
};
} // namespace

TEST(CByteRing, AllocateAndTransfersCheckTheirArguments)
{
    CByteRing ring;
    uint8_t byte = 0;
    EXPECT_EQ(kStatusFailure, ring.Read(&byte, 1)) << "no storage yet";
    ASSERT_EQ(kStatusSuccess, ring.Allocate(8, 8));
    EXPECT_EQ(32u, ring.GetCapacity());
    EXPECT_EQ(kStatusNothingDone, ring.Write(nullptr, 0));
    EXPECT_EQ(kStatusInvalidArgument, ring.Write(nullptr, 1));
    EXPECT_EQ(kStatusInvalidArgument, ring.Read(nullptr, 1));
    EXPECT_EQ(kStatusSuccess, ring.Read(&byte, 0));

    const uint64_t max = std::numeric_limits<uint64_t>::max();
    EXPECT_EQ(kStatusInvalidArgument, ring.Allocate(0, 8));
    EXPECT_EQ(0u, ring.GetCapacity()); // a failed Allocate leaves no storage
    EXPECT_EQ(kStatusFailure, ring.Write(&byte, 1));
    EXPECT_EQ(kStatusInvalidArgument, ring.Allocate(8, 0));
    EXPECT_EQ(kStatusFailure, ring.Allocate(max, 1));
    EXPECT_EQ(kStatusOverflow, ring.Allocate(max / 2, 1));
    ASSERT_EQ(kStatusSuccess, ring.Allocate(2, 2));
    EXPECT_EQ(8u, ring.GetCapacity());
}

// Transfers through the 32-byte storage across its end and ending exactly on it, writes (+) and
// reads (-) alike: the bytes come out in the order they went in.
TEST(CByteRing, WrapsAroundTheEndAndKeepsOrder)
{
    const int steps[] = {+20, -20, +20, -12, -8, +24, +8, -32};
    CByteRing ring;
    ASSERT_EQ(kStatusSuccess, ring.Allocate(8, 8));
    size_t writtenCount = 0;
    size_t readCount = 0;
    for (const int step : steps)
    {
        const size_t bytes = static_cast<size_t>(step > 0 ? step : -step);
        if (step > 0)
        {
            ASSERT_EQ(kStatusSuccess, ring.Write(Sequence(writtenCount, bytes).data(), bytes));
            writtenCount += bytes;
            continue;
        }
        std::vector<uint8_t> out(bytes);
        ASSERT_EQ(kStatusSuccess, ring.Read(out.data(), bytes));
        EXPECT_EQ(Sequence(readCount, bytes), out) << "after " << readCount << " bytes";
        readCount += bytes;
    }
    EXPECT_EQ(0u, ring.GetFill());
}

TEST(CByteRing, RefusesWholeTransfersThatDoNotFit)
{
    CByteRing ring;
    ASSERT_EQ(kStatusSuccess, ring.Allocate(8, 8));
    std::vector<uint8_t> out(33, 0xEE);
    EXPECT_EQ(kStatusFailure, ring.Write(Sequence(0, 33).data(), 33));
    EXPECT_EQ(kStatusNothingDone, ring.Read(out.data(), 1));
    ASSERT_EQ(kStatusSuccess, ring.Write(Sequence(0, 20).data(), 20));
    EXPECT_EQ(kStatusFailure, ring.Write(Sequence(50, 13).data(), 13));
    EXPECT_EQ(kStatusNothingDone, ring.Read(out.data(), 21));
    EXPECT_EQ(0xEE, out[0]);
    EXPECT_EQ(20u, ring.GetFill());
    ASSERT_EQ(kStatusSuccess, ring.Read(out.data(), 20));
    EXPECT_EQ(Sequence(0, 20), std::vector<uint8_t>(out.begin(), out.begin() + 20));
}

TEST(CByteRing, CorruptedPositionsSoundTheAlarmAndCopyNothing)
{
    BeepCounter counter;
    CByteRing ring;
    ASSERT_EQ(kStatusSuccess, ring.Allocate(8, 8));
    ASSERT_EQ(kStatusSuccess, ring.Write(Sequence(0, 4).data(), 4));
    const std::vector<uint8_t> before(Access::Storage(ring), Access::Storage(ring) + 32);

    struct Corruption
    {
        uint64_t& field;
        uint64_t value;
    };
    for (Corruption c : {Corruption{Access::WritePosition(ring), 40},
                         Corruption{Access::WritePosition(ring), std::numeric_limits<uint64_t>::max() - 1},
                         Corruption{Access::ReadPosition(ring), 33}, Corruption{Access::Fill(ring), 64},
                         Corruption{Access::Fill(ring), 5}})
    {
        const uint64_t saved = c.field;
        c.field = c.value;
        const int beeps = g_Beeps;
        std::vector<uint8_t> out(4, 0xEE);
        EXPECT_EQ(kStatusFailure, ring.Write(Sequence(9, 4).data(), 4));
        EXPECT_EQ(kStatusFailure, ring.Read(out.data(), 4));
        EXPECT_EQ(beeps + 2, g_Beeps);
        EXPECT_EQ(std::vector<uint8_t>(4, 0xEE), out);
        EXPECT_EQ(before, std::vector<uint8_t>(Access::Storage(ring), Access::Storage(ring) + 32));
        EXPECT_EQ(c.value, c.field);
        c.field = saved;
    }
    std::vector<uint8_t> out(4);
    ASSERT_EQ(kStatusSuccess, ring.Read(out.data(), 4));
    EXPECT_EQ(Sequence(0, 4), out);
}
