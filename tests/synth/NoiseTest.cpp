#include "SynthStateFixture.h"

#include "synth/GaussianNoise.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

namespace
{
constexpr double TwoPi = 6.283185307179586;
}

class Noise : public SynthStateFixture
{
protected:
    void SetUp() override
    {
        SynthStateFixture::SetUp();
        bNoise = 1;
    }

    // A block drawn from a generator that starts afresh.
    std::vector<double> FreshBlock(double level, uint64_t frames)
    {
        Level.Initialize(level);
        Generator.Seed(CRandomMT::DefaultSeed);
        return Fill(frames);
    }
};

// The sample's formula is GaussianNoise's; each frame takes the generator's next two words.
TEST_F(Noise, EachFrameIsTheGaussianSampleOfTheGeneratorsNextTwoWords)
{
    const std::vector<double> block = FreshBlock(1.0, 5000);
    CRandomMT reference;
    for (size_t i = 0; i < 5000; ++i)
    {
        uint32_t words[2] = {};
        reference.Next32(&words[0]);
        reference.Next32(&words[1]);
        ASSERT_EQ(GaussianSample(words[0], words[1]), block[2 * i]) << i;
        ASSERT_EQ(block[2 * i], block[2 * i + 1]) << i;
    }
}

TEST_F(Noise, AmplitudeIsClampedToFullScale)
{
    const std::vector<double> unit = FreshBlock(1.0, 2000);
    EXPECT_EQ(unit, FreshBlock(2.0, 2000));
    const std::vector<double> inverted = FreshBlock(-1.0, 2000);
    EXPECT_EQ(inverted, FreshBlock(-3.0, 2000));
    const std::vector<double> half = FreshBlock(0.5, 2000);
    for (size_t i = 0; i < unit.size(); ++i)
    {
        ASSERT_EQ(-unit[i], inverted[i]) << i;
        ASSERT_EQ(0.5 * unit[i], half[i]) << i;
    }
}

TEST_F(Noise, AMScalesTheNoiseAndLeavesTheToneAlone)
{
    const std::vector<double> plain = FreshBlock(1.0, 1000);
    dfSamplingRate = 1000.0;
    AMFrequency.Initialize(1.0);
    bAM = 1;
    CarrierPhase = 1.25;
    dfFMPhase = 2.0;
    const std::vector<double> modulated = FreshBlock(1.0, 1000);
    for (size_t i = 0; i < 1000; i += 97)
    {
        const double envelope = std::cos(TwoPi * static_cast<double>(i + 1) / 1000.0) * 0.5 + 0.5;
        EXPECT_NEAR(plain[2 * i] * envelope, modulated[2 * i], 1e-9) << i;
    }
    EXPECT_EQ(1.25, CarrierPhase);
    EXPECT_EQ(2.0, dfFMPhase);
}

// bNoise is read once per block: a switch while a block is being filled shows in the next one.
TEST_F(Noise, SwitchTakesEffectAtTheNextBlock)
{
    const uint64_t frames = 400000;
    const std::vector<double> noise = FreshBlock(1.0, frames + 4);
    bNoise = 0;
    const std::vector<double> tone = Fill(frames);
    CarrierPhase = 0.0;
    Generator.Seed(CRandomMT::DefaultSeed);

    std::atomic<bool> started{false};
    std::thread switcher([&] {
        while (!started)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        bNoise = 1;
    });
    started = true;
    const std::vector<double> during = Fill(frames);
    switcher.join();
    const std::vector<double> after = Fill(4);

    // The block is all tone (the usual case: the switch came while it was filled) or, if the
    // switch came before it began, all noise; never a mixture.
    const bool wasTone = during == tone;
    EXPECT_TRUE(wasTone || during == std::vector<double>(noise.data(), noise.data() + 2 * frames));
    const double* const next = noise.data() + (wasTone ? 0 : 2 * frames);
    EXPECT_EQ(std::vector<double>(next, next + 8), after);
}
