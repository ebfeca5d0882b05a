#include "synth/GaussianNoise.h"
#include "tests/runtime/VectorForms.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

TEST(GaussianNoise, SampleFollowsTheBoxMullerFormula)
{
    const double TwoPi = 6.283185307179586;
    std::mt19937 random(5);
    for (int i = 0; i < 10000; ++i)
    {
        const uint32_t first = random();
        const uint32_t second = random();
        const double u1 = (static_cast<int32_t>(first) / 2147483648.0 + 1.0) * 0.5;
        const double u2 = (static_cast<int32_t>(second) / 2147483648.0 + 1.0) * 0.5;
        const double expected = std::sqrt(-2.0 * std::log(u1)) * std::sin(u2 * TwoPi);
        ASSERT_NEAR(expected, GaussianSample(first, second), 1e-14 * std::max(1.0, std::fabs(expected))) << i;
    }
    // u1 = 0 (the word 0x80000000) stands for the smallest normal double.
    EXPECT_DOUBLE_EQ(std::sqrt(-2.0 * std::log(DBL_MIN)), GaussianSample(0x80000000u, 0xC0000000u));
    EXPECT_EQ(0.0, GaussianSample(0x12345678u, 0x80000000u));
}

// Frames are made several at a time where the processor allows; every frame must carry exactly
// the bits of the one-at-a-time formula, whatever the count, the offset and the words.
TEST(GaussianNoise, FramesCarryTheSampleTimesTheAmplitude)
{
    std::mt19937 random(9);
    const uint64_t count = 1001;
    std::vector<uint32_t> words(2 * count);
    std::vector<double> amplitude(count);
    for (uint64_t i = 0; i < count; ++i)
    {
        words[2 * i] = random();
        words[2 * i + 1] = random();
        amplitude[i] = static_cast<double>(random() % 2001) / 1000.0 - 1.0;
    }
    // The ends of the uniform range, and the quadrant boundaries of the sine with their neighbours.
    const uint32_t special[] = {0x80000000u, 0x7FFFFFFFu, 0x00000000u, 0xFFFFFFFFu, 0xC0000000u,
                                0x40000000u, 0xA0000000u, 0xE0000000u, 0x20000000u, 0x60000000u,
                                0x80000001u, 0x7FFFFFFEu, 0x9FFFFFFFu, 0xDFFFFFFFu, 0x1FFFFFFFu,
                                0x5FFFFFFFu, 0xA0000001u, 0xE0000001u, 0x20000001u, 0x60000001u};
    for (size_t i = 0; i < sizeof special / sizeof special[0]; ++i)
    {
        words[2 * i] = special[i];
        words[2 * (i + 20) + 1] = special[i];
        words[2 * (i + 41)] = special[i];
        words[2 * (i + 41) + 1] = special[(i + 5) % (sizeof special / sizeof special[0])];
    }
    amplitude[3] = 0.0;
    amplitude[4] = -0.0;
    ForEachVectorForm([&] {
        for (uint64_t offset = 0; offset < 4; ++offset)
        {
            const uint64_t frames = count - offset;
            std::vector<double> block(2 * frames, -99.0);
            FillGaussianFrames(block.data(), words.data() + 2 * offset, amplitude.data() + offset, frames);
            for (uint64_t i = 0; i < frames; ++i)
            {
                const uint64_t j = i + offset;
                const double expected = GaussianSample(words[2 * j], words[2 * j + 1]) * amplitude[j];
                ASSERT_EQ(std::signbit(expected), std::signbit(block[2 * i])) << j;
                ASSERT_EQ(expected, block[2 * i]) << j;
                ASSERT_EQ(expected, block[2 * i + 1]) << j;
            }
        }
    });
}
