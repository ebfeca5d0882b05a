#include "SynthStateFixture.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace
{
constexpr double Pi = 3.141592653589793;
constexpr double TwoPi = 6.283185307179586;

double Left(const std::vector<double>& block, size_t frame)
{
    return block[2 * frame];
}
double Right(const std::vector<double>& block, size_t frame)
{
    return block[2 * frame + 1];
}

bool IsSilent(const std::vector<double>& block)
{
    for (double sample : block)
    {
        if (sample != 0.0)
            return false;
    }
    return true;
}
}

using SignalGenerator = SynthStateFixture;

// Sample n (from 1) is level * sin(offset + 2 pi f n / fs), with f n reduced modulo fs exactly, so
// that the reference does not drift. Each sample removes at most one 2 pi from the carrier phase,
// so a frequency above the rate keeps the rest.
TEST_F(SignalGenerator, ToneIsTheSineOfTheAccumulatedPhase)
{
    struct Case
    {
        double rate, frequency, level, offset;
        uint64_t frames;
        double finalPhase;
    };
    const Case cases[] = {
        {384000.0, 96000.0, 1.0, 0.0, 5, Pi / 2}, // a quarter turn per sample: 1, 0, -1, 0, 1
        {44100.0, 1234.5, 1.0, 0.0, 441000, 0.0}, // ten seconds, 12345 whole turns
        {48000.0, 1000.0, 0.25, Pi / 2, 2, TwoPi / 24},
        {1000.0, 1250.0, 1.0, 0.0, 100, 50 * Pi}, // 2.5 pi per sample, 2 pi removed
    };
    for (const Case& c : cases)
    {
        dfSamplingRate = c.rate;
        Frequency.Initialize(c.frequency);
        Level.Initialize(c.level);
        Phase.Initialize(c.offset);
        CarrierPhase = 0.0;
        const std::vector<double> block = Fill(c.frames);
        double worst = 0.0;
        uint64_t rightDiffers = 0;
        for (uint64_t n = 1; n <= c.frames; ++n)
        {
            const double turns = std::fmod(c.frequency * static_cast<double>(n), c.rate) / c.rate;
            worst = std::max(worst, std::fabs(Left(block, n - 1) - c.level * std::sin(c.offset + TwoPi * turns)));
            rightDiffers += Right(block, n - 1) != Left(block, n - 1) ? 1 : 0;
        }
        EXPECT_LT(worst, 1e-9) << c.frequency;
        EXPECT_EQ(0u, rightDiffers) << c.frequency;
        EXPECT_NEAR(c.finalPhase, CarrierPhase, 1e-9) << c.frequency;
    }
}

TEST_F(SignalGenerator, FrequencyNearTheDoubleRangeDoesNotPoisonThePhases)
{
    Frequency.Initialize(8e307);
    AMFrequency.Initialize(8e307);
    FMFrequency.Initialize(8e307);
    bAM = 1;
    bFM = 1;
    const std::vector<double> wild = Fill(10);
    for (double sample : wild)
        EXPECT_TRUE(std::isfinite(sample));
    EXPECT_TRUE(std::isfinite(CarrierPhase) && std::isfinite(dfAMPhase) && std::isfinite(dfFMPhase));
    // Back to a sane frequency, the tone is a tone again.
    bAM = 0;
    bFM = 0;
    Frequency.Initialize(1000.0);
    const std::vector<double> block = Fill(48);
    double peak = 0.0;
    for (double sample : block)
        peak = std::max(peak, std::fabs(sample));
    EXPECT_NEAR(1.0, peak, 0.01);
}

TEST_F(SignalGenerator, AmplitudeModulationFollowsARaisedCosineEnvelope)
{
    dfSamplingRate = 1000.0;
    Frequency.Initialize(250.0);
    AMFrequency.Initialize(1.0);
    bAM = 1;
    const std::vector<double> block = Fill(500);
    EXPECT_NEAR(std::cos(TwoPi / 1000.0) * 0.5 + 0.5, Left(block, 0), 1e-12);
    EXPECT_NEAR(0.0, Left(block, 498), 1e-4); // the envelope's trough, half an AM period in
    EXPECT_EQ(Left(block, 0), Right(block, 0));
    EXPECT_NEAR(500 * TwoPi / 1000.0, dfAMPhase, 1e-12);
}

TEST_F(SignalGenerator, TriggerPulsesOncePerAMPeriod)
{
    dfSamplingRate = 1000.0;
    Frequency.Initialize(250.0);
    AMFrequency.Initialize(1.0);
    bAM = 1;
    bTrigger = 1;
    for (double polarity : {1.0, -1.0})
    {
        bInvertTrigger = polarity < 0 ? 1 : 0;
        dfAMPhase = 0.0;
        const std::vector<double> block = Fill(3500);
        std::vector<size_t> pulses;
        for (size_t i = 0; i < 3500; ++i)
        {
            if (Right(block, i) == 0.0)
                continue;
            EXPECT_EQ(polarity, Right(block, i)) << i;
            pulses.push_back(i);
        }
        ASSERT_EQ(3u, pulses.size());
        for (size_t k = 0; k < pulses.size(); ++k)
            EXPECT_NEAR(999.0 + 1000.0 * static_cast<double>(k), static_cast<double>(pulses[k]), 1.0);
        // At the pulse the envelope is at its peak.
        EXPECT_NEAR(1.0, std::fabs(Left(block, pulses[0])) + std::fabs(Left(block, pulses[0] + 1)), 1e-3);
    }
}

TEST_F(SignalGenerator, TriggerWithoutAMKeepsTheRightChannelSilent)
{
    bTrigger = 1;
    const std::vector<double> block = Fill(48000);
    for (size_t i = 0; i < 48000; ++i)
        ASSERT_EQ(0.0, Right(block, i)) << i;
    EXPECT_NE(0.0, Left(block, 0));
}

// With FM the phase deviates from the plain tone's by (B/2) * (2 pi / fs) * sum of sin(k theta),
// theta = 2 pi fm / fs, a sum with a closed form.
TEST_F(SignalGenerator, FMSwingsOverHalfTheBandwidth)
{
    FMFrequency.Initialize(100.0);
    FMBandwidth.Initialize(200.0);
    bFM = 1;
    const std::vector<double> block = Fill(960);
    const double theta = TwoPi * 100.0 / 48000.0;
    double worst = 0.0;
    for (size_t n = 1; n <= 960; ++n)
    {
        const double k = static_cast<double>(n);
        const double sum = std::sin(k * theta / 2) * std::sin((k + 1) * theta / 2) / std::sin(theta / 2);
        const double deviation = 100.0 * TwoPi / 48000.0 * sum;
        const double expected = std::sin(TwoPi * 1000.0 * k / 48000.0 + deviation);
        worst = std::max(worst, std::fabs(Left(block, n - 1) - expected));
    }
    EXPECT_LT(worst, 1e-9);
}

TEST_F(SignalGenerator, ModulatorPhasesRestWhileTheirSwitchesAreOff)
{
    // Noise leaves the FM phase alone, as it does not read the FM ramps.
    for (uint32_t noise : {0u, 1u})
    {
        bNoise.store(noise);
        dfAMPhase = 1.0;
        dfFMPhase = 2.0;
        Fill(1);
        EXPECT_EQ(0.0, dfAMPhase) << noise;
        EXPECT_EQ(noise != 0 ? 2.0 : 0.0, dfFMPhase) << noise;
    }
}

// Every ramp is drawn once per sample in tone mode; in noise mode only level and AM frequency.
TEST_F(SignalGenerator, DrawsEachRampOncePerSample)
{
    CParameterRamp* ramps[] = {&Level, &AMFrequency, &Frequency, &Phase, &FMFrequency, &FMBandwidth};
    const double atZero = 0.0;
    const double atThree = 0.5 - 0.5 * std::cos(Pi * 3 / 10);
    for (uint32_t noise : {0u, 1u})
    {
        for (CParameterRamp* ramp : ramps)
        {
            ramp->Initialize(0.0);
            ramp->SetTargetWithLength(1.0, 10);
        }
        bNoise = noise;
        Fill(3);
        for (size_t r = 0; r < 6; ++r)
        {
            double value = -1.0;
            ramps[r]->GetNext(&value);
            const bool drawn = noise == 0 || r < 2;
            EXPECT_DOUBLE_EQ(drawn ? atThree : atZero, value) << "noise " << noise << ", ramp " << r;
        }
    }
}

TEST_F(SignalGenerator, RampWithoutValueGivesSilence)
{
    Level.Initialize(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(IsSilent(Fill(1000)));
    bNoise = 1;
    EXPECT_TRUE(IsSilent(Fill(1000)));
    pLevelRamp = nullptr;
    EXPECT_TRUE(IsSilent(Fill(1000)));
}

TEST_F(SignalGenerator, UnusableInputsGiveSilenceAndKeepThePhases)
{
    for (double rate :
         {0.0, -48000.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
    {
        dfSamplingRate = rate;
        CarrierPhase = 1.0;
        dfAMPhase = 0.5;
        bAM = 1;
        EXPECT_TRUE(IsSilent(Fill(100))) << rate;
        EXPECT_EQ(1.0, CarrierPhase);
        EXPECT_EQ(0.5, dfAMPhase);
    }
    dfSamplingRate = 48000.0;
    std::vector<double> block(8, -99.0);
    FillBlock(block.data(), 4, nullptr, &Generator);
    EXPECT_TRUE(IsSilent(block));
    bNoise = 1;
    block.assign(8, -99.0);
    FillBlock(block.data(), 4, &CarrierPhase, nullptr);
    EXPECT_TRUE(IsSilent(block));
    block.assign(8, -99.0);
    FillBlock(block.data(), 0, &CarrierPhase, &Generator);
    EXPECT_EQ(std::vector<double>(8, -99.0), block);
    FillBlock(nullptr, 4, &CarrierPhase, &Generator);
}
