#include "synth/CParameterRamp.h"

#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace
{
constexpr double Pi = 3.141592653589793;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Infinity = std::numeric_limits<double>::infinity();

std::vector<double> Draw(CParameterRamp& ramp, int count)
{
    std::vector<double> values;
    for (int i = 0; i < count; ++i)
    {
        double value = -123.0;
        EXPECT_EQ(kStatusSuccess, ramp.GetNext(&value));
        values.push_back(value);
    }
    return values;
}

void ExpectValues(const std::vector<double>& expected, const std::vector<double>& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ(expected[i], actual[i]) << "value " << i;
}
}

TEST(CParameterRamp, GlidesAlongARaisedCosine)
{
    CParameterRamp ramp;
    ramp.Initialize(0.0);
    ramp.SetDefaultLength(4);
    EXPECT_EQ(kStatusSuccess, ramp.SetTarget(1.0));
    ExpectValues({0.0, 0.5 - 0.5 * std::cos(Pi / 4), 0.5, 0.5 - 0.5 * std::cos(3 * Pi / 4), 1.0, 1.0}, Draw(ramp, 6));
    // Downward and away from zero: the curve is scaled and offset by start and target.
    EXPECT_EQ(kStatusSuccess, ramp.SetTargetWithLength(-3.0, 2));
    ExpectValues({1.0, -1.0, -3.0, -3.0}, Draw(ramp, 4));
}

TEST(CParameterRamp, QueuesOneGlideAndReplacesIt)
{
    CParameterRamp ramp;
    ramp.Initialize(0.0);
    EXPECT_EQ(kStatusSuccess, ramp.SetTargetWithLength(1.0, 2));
    ExpectValues({0.0}, Draw(ramp, 1));
    EXPECT_EQ(kStatusNothingDone, ramp.SetTargetWithLength(5.0, 1));
    EXPECT_EQ(kStatusNothingDone, ramp.SetTargetWithLength(3.0, 2));
    // The running glide ends on 1.0; the replacement then starts from there, never heading for 5.0.
    ExpectValues({0.5, 1.0, 1.0, 2.0, 3.0, 3.0}, Draw(ramp, 6));
}

TEST(CParameterRamp, DefaultLengthAppliesOnlyToLaterGlides)
{
    CParameterRamp ramp;
    ramp.Initialize(0.0);
    ramp.SetDefaultLength(2);
    EXPECT_EQ(kStatusSuccess, ramp.SetTarget(1.0));
    EXPECT_EQ(kStatusNothingDone, ramp.SetTarget(3.0));
    ramp.SetDefaultLength(4);
    ramp.SetDefaultLength(0); // ignored
    ExpectValues({0.0, 0.5, 1.0, 1.0, 2.0, 3.0, 3.0}, Draw(ramp, 7));
    EXPECT_EQ(kStatusSuccess, ramp.SetTarget(7.0));
    ExpectValues({3.0, 5.0 - 2.0 * std::cos(Pi / 4), 5.0, 5.0 - 2.0 * std::cos(3 * Pi / 4), 7.0, 7.0}, Draw(ramp, 6));
}

TEST(CParameterRamp, RefusesInvalidTargetsWithoutChange)
{
    CParameterRamp ramp;
    ramp.Initialize(0.0);
    ramp.SetDefaultLength(2);
    EXPECT_EQ(kStatusSuccess, ramp.SetTarget(1.0));
    ExpectValues({0.0}, Draw(ramp, 1));
    // Infinities and values beyond half the double range would turn a glide into NaN.
    for (double bad : {NaN, Infinity, -Infinity, DBL_MAX, -DBL_MAX})
    {
        EXPECT_EQ(kStatusInvalidArgument, ramp.SetTarget(bad)) << bad;
        EXPECT_EQ(kStatusInvalidArgument, ramp.SetTargetWithLength(bad, 3)) << bad;
    }
    EXPECT_EQ(kStatusInvalidArgument, ramp.SetTargetWithLength(1.0, 0));
    // The running glide goes on as before, with nothing queued.
    ExpectValues({0.5, 1.0, 1.0}, Draw(ramp, 3));
}

TEST(CParameterRamp, RefusesEverythingBeforeInitialize)
{
    CParameterRamp ramp;
    double value = 42.0;
    EXPECT_EQ(kStatusFailure, ramp.GetNext(&value));
    EXPECT_EQ(0.0, value);
    EXPECT_EQ(kStatusFailure, ramp.SetTarget(1.0));
    EXPECT_EQ(kStatusFailure, ramp.SetTargetWithLength(1.0, 4));
    EXPECT_EQ(kStatusInvalidArgument, ramp.SetTarget(NaN));
    EXPECT_EQ(kStatusInvalidArgument, ramp.GetNext(nullptr));
}

TEST(CParameterRamp, InitializeJumpsOrClears)
{
    CParameterRamp ramp;
    ramp.Initialize(0.0);
    ramp.SetTargetWithLength(10.0, 100);
    ramp.SetTargetWithLength(20.0, 100);
    Draw(ramp, 3);
    // A number discards running and queued glides and resets the default length.
    ASSERT_EQ(kStatusSuccess, ramp.Initialize(4.0));
    ExpectValues({4.0, 4.0}, Draw(ramp, 2));
    EXPECT_EQ(kStatusSuccess, ramp.SetTarget(5.0));
    ExpectValues({4.0, 5.0, 5.0}, Draw(ramp, 3));
    // NaN leaves the ramp without a value, whatever it held.
    EXPECT_EQ(kStatusInvalidArgument, ramp.Initialize(NaN));
    double value = 42.0;
    EXPECT_EQ(kStatusFailure, ramp.GetNext(&value));
    EXPECT_EQ(0.0, value);
    EXPECT_EQ(kStatusFailure, ramp.SetTarget(1.0));
    EXPECT_EQ(kStatusInvalidArgument, ramp.Initialize(Infinity));
    EXPECT_EQ(kStatusFailure, ramp.GetNext(&value));
}

// The consumer reads a steady ramp without the lock while the controller retargets and
// re-initialises it: every value read must be one the ramp could hold, never torn or NaN.
TEST(CParameterRamp, ConcurrentChangesYieldOnlyValuesInRange)
{
    CParameterRamp ramp;
    ramp.Initialize(1.0);
    ramp.SetDefaultLength(3);
    std::atomic<bool> done{false};
    std::thread controller([&] {
        for (int i = 0; i < 20000; ++i)
        {
            ramp.SetTarget((i % 2) != 0 ? 1.0 : 2.0);
            if (i % 100 == 0)
            {
                ramp.Initialize(1.5);
                ramp.SetDefaultLength(3);
            }
        }
        done = true;
    });
    uint64_t reads = 0;
    bool allInRange = true;
    while (!done || reads < 1000)
    {
        double value = 0.0;
        const int32_t status = ramp.GetNext(&value);
        allInRange = allInRange && status == kStatusSuccess && value >= 1.0 && value <= 2.0;
        ++reads;
    }
    controller.join();
    EXPECT_TRUE(allInRange);
}
