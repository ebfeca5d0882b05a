#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// The raised-cosine fade the stream buffer applies over one block of n frames.
inline std::vector<double> ExpectedFadeRamp(uint64_t n)
{
    std::vector<double> ramp(n);
    for (uint64_t i = 0; i < n; ++i)
        ramp[i] = 0.5 - std::cos((static_cast<double>(i + 1) / static_cast<double>(n)) * 3.141592653589793) * 0.5;
    return ramp;
}
