#include "synth/SignalMath.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

namespace
{
constexpr double TwoPi = 6.283185307179586;
// Two units in the last place at 1.0: both the reference and ours may be one off.
constexpr double Tolerance = 4.5e-16;
}

TEST(SignalMath, SineAndCosineAgreeWithTheLibrary)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> argument(-100.0, 100.0);
    double worstSin = 0.0;
    double worstCos = 0.0;
    for (int i = 0; i < 200000; ++i)
    {
        const double x = argument(random);
        worstSin = std::max(worstSin, std::fabs(SignalMath::Sin(x) - std::sin(x)));
        worstCos = std::max(worstCos, std::fabs(SignalMath::Cos(x) - std::cos(x)));
    }
    EXPECT_LE(worstSin, Tolerance);
    EXPECT_LE(worstCos, Tolerance);
}

TEST(SignalMath, SineAndCosineAreExactAtTheQuadrants)
{
    const double halfPi = 1.5707963267948966;
    EXPECT_EQ(0.0, SignalMath::Sin(0.0));
    EXPECT_EQ(1.0, SignalMath::Cos(0.0));
    EXPECT_EQ(1.0, SignalMath::Sin(halfPi));
    EXPECT_EQ(-1.0, SignalMath::Sin(3 * halfPi));
    EXPECT_EQ(-1.0, SignalMath::Cos(2 * halfPi));
    // sin of the double nearest pi is that double's distance from pi.
    EXPECT_DOUBLE_EQ(1.2246467991473532e-16, SignalMath::Sin(3.141592653589793));
}

TEST(SignalMath, HandsTheRestToTheLibrary)
{
    EXPECT_EQ(std::sin(1e7), SignalMath::Sin(1e7));
    EXPECT_EQ(std::cos(-3e9), SignalMath::Cos(-3e9));
    EXPECT_TRUE(std::isnan(SignalMath::Sin(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(SignalMath::Cos(std::numeric_limits<double>::infinity())));
    EXPECT_EQ(-std::numeric_limits<double>::infinity(), SignalMath::Log(0.0));
    EXPECT_TRUE(std::isnan(SignalMath::Log(-1.0)));
    EXPECT_EQ(std::log(DBL_MIN / 8), SignalMath::Log(DBL_MIN / 8));
}

TEST(SignalMath, LogarithmAgreesWithTheLibrary)
{
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> exponent(-700.0, 700.0);
    double worst = 0.0;
    for (int i = 0; i < 200000; ++i)
    {
        for (double x : {unit(random), std::exp(exponent(random))})
        {
            if (x < DBL_MIN)
                continue;
            const double expected = std::log(x);
            const double error = std::fabs(SignalMath::Log(x) - expected);
            worst = std::max(worst, error / std::max(1.0, std::fabs(expected)));
        }
    }
    EXPECT_LE(worst, Tolerance);
    EXPECT_EQ(0.0, SignalMath::Log(1.0));
    EXPECT_DOUBLE_EQ(0.6931471805599453, SignalMath::Log(2.0));
    EXPECT_DOUBLE_EQ(-708.3964185322641, SignalMath::Log(DBL_MIN));
}

TEST(SignalMath, SineOfTurnsCoversTheWholeCircle)
{
    EXPECT_EQ(0.0, SignalMath::SinOfTurns(0));
    EXPECT_EQ(1.0, SignalMath::SinOfTurns(0x40000000u));
    EXPECT_EQ(0.0, SignalMath::SinOfTurns(0x80000000u));
    EXPECT_EQ(-1.0, SignalMath::SinOfTurns(0xC0000000u));
    std::mt19937 random(3);
    double worst = 0.0;
    for (int i = 0; i < 200000; ++i)
    {
        const uint32_t turns = random();
        const double expected = std::sin(turns / 4294967296.0 * TwoPi);
        worst = std::max(worst, std::fabs(SignalMath::SinOfTurns(turns) - expected));
    }
    // The reference rounds the angle before its sine; ours does not.
    EXPECT_LE(worst, 2 * Tolerance);
}
