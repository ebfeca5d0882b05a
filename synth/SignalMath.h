#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

// Sine, cosine and natural logarithm for the per-sample path of the signal generator.
//
// Why not the C library's: their speed differs by an order of magnitude between runtimes (some
// Windows runtimes evaluate them on the x87 unit), and the noise draws arguments at random, where
// the branchy argument reduction of common implementations mispredicts on every other sample.
// These are branch-free on the common path, accurate to about one unit in the last place, and give
// the same bits on every platform. Arguments outside their range go to the C library.
namespace SignalMath
{
namespace Detail
{
// Minimax polynomials on [-pi/4, pi/4] (the classic fdlibm kernels).
constexpr double S1 = -1.66666666666666324348e-01;
constexpr double S2 = 8.33333333332248946124e-03;
constexpr double S3 = -1.98412698298579493134e-04;
constexpr double S4 = 2.75573137070700676789e-06;
constexpr double S5 = -2.50507602534068634195e-08;
constexpr double S6 = 1.58969099521155010221e-10;

constexpr double C1 = 4.16666666666666019037e-02;
constexpr double C2 = -1.38888888888741095749e-03;
constexpr double C3 = 2.48015872894767294178e-05;
constexpr double C4 = -2.75573143513906633035e-07;
constexpr double C5 = 2.08757232129817482790e-09;
constexpr double C6 = -1.13596475577881948265e-11;

// pi/2 in three parts; the first two have 33 significant bits, so that n * part is exact for
// |n| < 2^20.
constexpr double InvPio2 = 6.36619772367581382433e-01;
constexpr double Pio2Part1 = 1.57079632673412561417e+00;
constexpr double Pio2Part2 = 6.07710050630396597660e-11;
constexpr double Pio2Part2Tail = 2.02226624879595063154e-21;
constexpr double ReductionLimit = 823549.6; // 2^19 * pi/2
// Adding and subtracting 1.5 * 2^52 rounds to the nearest integer.
constexpr double RoundingShifter = 6755399441055744.0;

inline double SinKernel(double x)
{
    const double z = x * x;
    const double w = z * z;
    const double r = S2 + z * (S3 + z * S4) + z * w * (S5 + z * S6);
    return x + z * x * (S1 + z * r);
}

inline double CosKernel(double x)
{
    const double z = x * x;
    const double w = z * z;
    const double r = z * (C1 + z * (C2 + z * C3)) + w * w * (C4 + z * (C5 + z * C6));
    const double hz = 0.5 * z;
    const double v = 1.0 - hz;
    return v + (((1.0 - v) - hz) + z * r);
}

// Splits x into quadrant n (mod 4) and remainder y in [-pi/4, pi/4], x = n * pi/2 + y.
inline int Reduce(double x, double& y)
{
    const double n = (x * InvPio2 + RoundingShifter) - RoundingShifter;
    const double t = x - n * Pio2Part1;
    const double p = n * Pio2Part2;
    const double r = t - p;
    const double tail = n * Pio2Part2Tail - ((t - r) - p);
    y = r - tail;
    return static_cast<int>(n) & 3;
}

// Pick from a table instead of branching: the quadrant of a noise argument is random.
inline double Select(int quadrant, double a, double b)
{
    const double values[4] = {a, b, -a, -b};
    return values[quadrant];
}
}

inline double Sin(double x)
{
    if (!(std::fabs(x) < Detail::ReductionLimit))
        return std::sin(x);
    double y = 0.0;
    const int quadrant = Detail::Reduce(x, y);
    return Detail::Select(quadrant, Detail::SinKernel(y), Detail::CosKernel(y));
}

inline double Cos(double x)
{
    if (!(std::fabs(x) < Detail::ReductionLimit))
        return std::cos(x);
    double y = 0.0;
    const int quadrant = Detail::Reduce(x, y);
    return Detail::Select(quadrant, Detail::CosKernel(y), -Detail::SinKernel(y));
}

// sin(2*pi * turns / 2^32). The quadrant and remainder come exactly from the integer, so no
// floating-point argument reduction is needed.
inline double SinOfTurns(uint32_t turns)
{
    constexpr double RadiansPerUnit = 6.283185307179586 / 4294967296.0;
    const uint32_t quadrant = ((turns + 0x20000000u) >> 30) & 3u;
    const int32_t remainder = static_cast<int32_t>(turns - (quadrant << 30));
    const double y = remainder * RadiansPerUnit;
    return Detail::Select(static_cast<int>(quadrant), Detail::SinKernel(y), Detail::CosKernel(y));
}

namespace Detail
{
constexpr double Ln2Hi = 6.93147180369123816490e-01;
constexpr double Ln2Lo = 1.90821492927058770002e-10;
constexpr double Lg1 = 6.666666666666735130e-01;
constexpr double Lg2 = 3.999999999940941908e-01;
constexpr double Lg3 = 2.857142874366239149e-01;
constexpr double Lg4 = 2.222219843214978396e-01;
constexpr double Lg5 = 1.818357216161805012e-01;
constexpr double Lg6 = 1.531383769920937332e-01;
constexpr double Lg7 = 1.479819860511658591e-01;
}

// Natural logarithm of a positive normal number (others go to the C library):
// x = 2^k * (1 + f) with 1 + f in [sqrt(2)/2, sqrt(2)), log(1 + f) from s = f / (2 + f).
inline double Log(double x)
{
    using namespace Detail;
    if (!(x >= DBL_MIN && x <= DBL_MAX))
        return std::log(x);
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    const uint32_t high = static_cast<uint32_t>(bits >> 32);
    const uint32_t mantissaHigh = high & 0x000FFFFFu;
    // Set when the mantissa is at least sqrt(2): then halve it and raise the exponent by one.
    const uint32_t carry = (mantissaHigh + 0x95F64u) & 0x100000u;
    const int k = static_cast<int>(high >> 20) - 1023 + static_cast<int>(carry >> 20);
    const uint64_t mantissaBits = (static_cast<uint64_t>(mantissaHigh | (carry ^ 0x3FF00000u)) << 32)
                                  | (bits & 0xFFFFFFFFu);
    double m = 0.0;
    std::memcpy(&m, &mantissaBits, sizeof m);
    const double f = m - 1.0;
    const double s = f / (2.0 + f);
    const double dk = static_cast<double>(k);
    const double z = s * s;
    const double w = z * z;
    const double r = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7))) + w * (Lg2 + w * (Lg4 + w * Lg6));
    const double hfsq = 0.5 * f * f;
    return dk * Ln2Hi - ((hfsq - (s * (hfsq + r) + dk * Ln2Lo)) - f);
}
}
