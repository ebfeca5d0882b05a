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
//
// The polynomial parts are templates over the number type, so that the noise generator's two-lane
// version evaluates exactly the same operations in the same order as the scalar one.
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
// One turn in units of 2^-32 turns, in radians.
constexpr double RadiansPerTurnUnit = 6.283185307179586 / 4294967296.0;

// log(1 + f) = f - f^2/2 + s * (f^2/2 + R(s^2)), s = f / (2 + f) (the fdlibm kernel).
constexpr double Ln2Hi = 6.93147180369123816490e-01; // k * Ln2Hi is exact for any exponent k
constexpr double Ln2Lo = 1.90821492927058770002e-10;
constexpr double Lg1 = 6.666666666666735130e-01;
constexpr double Lg2 = 3.999999999940941908e-01;
constexpr double Lg3 = 2.857142874366239149e-01;
constexpr double Lg4 = 2.222219843214978396e-01;
constexpr double Lg5 = 1.818357216161805012e-01;
constexpr double Lg6 = 1.531383769920937332e-01;
constexpr double Lg7 = 1.479819860511658591e-01;

template <class Real>
Real SinKernel(Real x)
{
    const Real z = x * x;
    const Real w = z * z;
    const Real r = Real(S2) + z * (Real(S3) + z * Real(S4)) + z * w * (Real(S5) + z * Real(S6));
    return x + z * x * (Real(S1) + z * r);
}

template <class Real>
Real CosKernel(Real x)
{
    const Real z = x * x;
    const Real w = z * z;
    const Real r = z * (Real(C1) + z * (Real(C2) + z * Real(C3))) + w * w * (Real(C4) + z * (Real(C5) + z * Real(C6)));
    const Real hz = Real(0.5) * z;
    const Real v = Real(1.0) - hz;
    return v + (((Real(1.0) - v) - hz) + z * r);
}

// log(2^k * m) for m in [sqrt(2)/2, sqrt(2)), k given as a number.
template <class Real>
Real LogKernel(Real m, Real k)
{
    const Real f = m - Real(1.0);
    const Real s = f / (Real(2.0) + f);
    const Real z = s * s;
    const Real w = z * z;
    const Real r = z * (Real(Lg1) + w * (Real(Lg3) + w * (Real(Lg5) + w * Real(Lg7)))) +
                   w * (Real(Lg2) + w * (Real(Lg4) + w * Real(Lg6)));
    const Real hfsq = Real(0.5) * f * f;
    return k * Real(Ln2Hi) - ((hfsq - (s * (hfsq + r) + k * Real(Ln2Lo))) - f);
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

// The quadrant of an angle in units of 2^-32 turns, and the remainder in [-1/8, 1/8) turn.
inline uint32_t TurnQuadrant(uint32_t turns)
{
    return ((turns + 0x20000000u) >> 30) & 3u;
}

inline int32_t TurnRemainder(uint32_t turns, uint32_t quadrant)
{
    return static_cast<int32_t>(turns - (quadrant << 30));
}

// The high word of a positive normal double with its mantissa brought into [sqrt(2)/2, sqrt(2)):
// returns the new high word and adds the exponent to k.
inline uint32_t NormaliseHighWord(uint32_t high, int& k)
{
    const uint32_t mantissaHigh = high & 0x000FFFFFu;
    // Set when the mantissa is at least sqrt(2): then halve it and raise the exponent by one.
    const uint32_t carry = (mantissaHigh + 0x95F64u) & 0x100000u;
    k = static_cast<int>(high >> 20) - 1023 + static_cast<int>(carry >> 20);
    return mantissaHigh | (carry ^ 0x3FF00000u);
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
    const uint32_t quadrant = Detail::TurnQuadrant(turns);
    const double y = Detail::TurnRemainder(turns, quadrant) * Detail::RadiansPerTurnUnit;
    return Detail::Select(static_cast<int>(quadrant), Detail::SinKernel(y), Detail::CosKernel(y));
}

// Natural logarithm of a positive normal number (others go to the C library).
inline double Log(double x)
{
    if (!(x >= DBL_MIN && x <= DBL_MAX))
        return std::log(x);
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    int k = 0;
    const uint32_t high = Detail::NormaliseHighWord(static_cast<uint32_t>(bits >> 32), k);
    const uint64_t mantissaBits = (static_cast<uint64_t>(high) << 32) | (bits & 0xFFFFFFFFu);
    double m = 0.0;
    std::memcpy(&m, &mantissaBits, sizeof m);
    return Detail::LogKernel(m, static_cast<double>(k));
}
}
