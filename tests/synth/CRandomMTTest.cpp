#include "synth/CRandomMT.h"

#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace
{
uint32_t Next(SRandom& generator)
{
    uint32_t value = 0;
    generator.Next32(&value);
    return value;
}
}

// A fresh generator, and a used one seeded again, gives the standard sequence: its first two
// words (Next64 takes the first as the high half) and its 10000th, the standard's check value.
TEST(CRandomMT, FreshOrReseededGivesTheStandardSequence)
{
    CRandomMT generator;
    for (int run = 0; run < 2; ++run)
    {
        uint64_t firstTwo = 0;
        generator.Next64(&firstTwo);
        EXPECT_EQ(uint64_t{3499211612u} << 32 | 581869302u, firstTwo) << run;
        for (int i = 3; i < 10000; ++i)
            Next(generator);
        EXPECT_EQ(4123659995u, Next(generator)) << run;
        EXPECT_EQ(kStatusSuccess, generator.Seed(CRandomMT::DefaultSeed));
    }
}

// Single draws and blocks of every length from 0 to past a whole state, mixed, give the
// standard library's sequence across many regenerations.
TEST(CRandomMT, AgreesWithTheStandardLibraryAcrossRegenerations)
{
    std::vector<uint32_t> block(1300);
    for (uint32_t seed : {5489u, 1u, 0u, 0xFFFFFFFFu})
    {
        CRandomMT generator;
        ASSERT_EQ(kStatusSuccess, generator.Seed(seed));
        std::mt19937 reference(seed);
        std::mt19937 lengths(seed + 7);
        for (int round = 0; round < 60; ++round)
        {
            for (int i = 0; i < 20; ++i)
                ASSERT_EQ(reference(), Next(generator)) << "seed " << seed << ", round " << round;
            const size_t count = round < 3 ? static_cast<size_t>(round) : lengths() % block.size();
            generator.NextWords(block.data(), count);
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(reference(), block[i]) << "seed " << seed << ", round " << round << ", word " << i;
        }
    }
}

TEST(CRandomMT, ReportsOnlyTheStateSize)
{
    CRandomMT generator;
    uint32_t size = 0;
    EXPECT_EQ(kStatusNothingDone, generator.GetState(nullptr, &size));
    EXPECT_EQ(2500u, size);
    uint8_t buffer[2500] = {};
    size = 7;
    EXPECT_EQ(kStatusFailure, generator.GetState(buffer, &size));
    EXPECT_EQ(7u, size);
    EXPECT_EQ(kStatusFailure, generator.GetState(nullptr, nullptr));
    EXPECT_EQ(kStatusFailure, generator.SetState(buffer, sizeof buffer));
    // Neither call disturbed the sequence.
    EXPECT_EQ(3499211612u, Next(generator));
}
