#include "stream/CQuantizer.h"
#include "runtime/Status.h"
#include "tests/runtime/VectorForms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kPi = 3.141592653589793;

using Bytes = std::vector<uint8_t>;

Bytes ConvertOnce(uint32_t effective, uint32_t container, int32_t enhancer, const std::vector<double>& samples)
{
    CQuantizer quantizer;
    EXPECT_EQ(kStatusSuccess, quantizer.Initialize(effective, container, enhancer));
    Bytes out(samples.size() * container / 8, 0xAA);
    EXPECT_EQ(kStatusSuccess, quantizer.Convert(samples.data(), samples.size() / 2, out.data()));
    return out;
}

std::vector<int16_t> ToInt16(const Bytes& bytes)
{
    std::vector<int16_t> samples;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return samples;
}

// Amplitude of the component at `frequency` (DFT over a whole number of periods).
double Amplitude(const std::vector<double>& signal, double frequency, double rate)
{
    double re = 0.0, im = 0.0;
    for (size_t n = 0; n < signal.size(); ++n)
    {
        const double phase = 2.0 * kPi * frequency * static_cast<double>(n) / rate;
        re += signal[n] * std::cos(phase);
        im += signal[n] * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(signal.size());
}
} // namespace

TEST(CQuantizer, BitPatterns)
{
    const double step = 1.0 / 32767;
    const Bytes fullScale{0xFF, 0x7F, 0x01, 0x80, 0xFF, 0x7F, 0x01, 0x80};
    const Bytes silence(8, 0);
    struct Case
    {
        uint32_t effective, container;
        int32_t enhancer;
        std::vector<double> samples;
        Bytes bytes;
    };
    const Case cases[] = {
        {16, 16, 0, {1.0, -1.0, step, -step}, {0xFF, 0x7F, 0x01, 0x80, 0x01, 0x00, 0xFF, 0xFF}},
        {16, 16, 0, {0.0, -0.0, 1.0 / 65536, -1.0 / 65536}, silence},
        {16, 16, 0, {kNaN, -kNaN, 0.0, 0.0}, silence},
        // Beyond full scale is limited to it, and so is the largest carried error, half a step.
        {16, 16, 0, {2.0, -2.0, kInf, -kInf}, fullScale},
        {16, 16, 1, {2.0, -2.0, kInf, -kInf}, fullScale},
        {16, 16, 1, {0.5 * step, -0.5 * step, 1.0, -1.0}, {0, 0, 0, 0, 0xFF, 0x7F, 0x01, 0x80}},
        {12, 16, 0, {1.0, -1.0}, {0xF0, 0x7F, 0x10, 0x80}},
        {24, 24, 0, {1.0, -1.0}, {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80}},
        {24, 32, 0, {1.0, -1.0}, {0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x01, 0x00, 0x80}},
        {32, 32, 0, {1.0, -1.0}, {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}},
        {32, 32, 1, {1.0, -1.0}, {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}},
        // Half scale: 0.5 * (2^31 - 1) rounds up to 2^30.
        {32, 32, 0, {0.5, -0.5}, {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xC0}},
        // One effective bit has the single level 0.
        {1, 16, 0, {0.9, -0.9, kNaN, -kInf}, silence},
        {1, 16, 1, {0.9, -0.9, kNaN, -kInf}, silence},
    };
    ForEachVectorForm([&] {
        for (const Case& c : cases)
            EXPECT_EQ(c.bytes, ConvertOnce(c.effective, c.container, c.enhancer, c.samples))
                << c.effective << " bits in " << c.container << ", enhancer " << c.enhancer << ", first sample "
                << c.samples[0];
    });
}

TEST(CQuantizer, RejectsImpossibleFormatsAndAbsentBuffers)
{
    CQuantizer quantizer;
    double samples[2] = {0.5, 0.5};
    uint8_t out[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(kStatusNotInitialized, quantizer.Convert(samples, 1, out));
    ASSERT_EQ(kStatusSuccess, quantizer.Initialize(16, 16, 0));
    for (uint32_t bits : {0u, 17u})
        EXPECT_EQ(kStatusInvalidArgument, quantizer.Initialize(bits, 16, 0));
    EXPECT_EQ(kStatusInvalidArgument, quantizer.Initialize(8, 12, 0));
    EXPECT_EQ(kStatusInvalidArgument, quantizer.Initialize(8, 40, 0));
    EXPECT_EQ(kStatusNotInitialized, quantizer.Convert(samples, 1, out)); // a failed Initialize leaves it unusable
    ASSERT_EQ(kStatusSuccess, quantizer.Initialize(16, 16, 0));
    EXPECT_EQ(kStatusInvalidArgument, quantizer.Convert(nullptr, 1, out));
    EXPECT_EQ(kStatusInvalidArgument, quantizer.Convert(samples, 1, nullptr));
    for (uint8_t b : out)
        EXPECT_EQ(0xAA, b);
}

namespace
{
// The quantizer written out step by step, one loop iteration per grid step, for comparison with
// the production code's shortcuts and its two-channel form. Returns 32-bit words.
std::vector<uint32_t> ReferenceWords(uint32_t bits, bool enhancer, const std::vector<double>& samples)
{
    const double levels = std::ldexp(1.0, static_cast<int>(bits) - 1) - 1.0;
    const double step = 1.0 / levels;
    const uint32_t mask = static_cast<uint32_t>(((uint64_t{1} << bits) - 1) << (32 - bits));
    const uint32_t unit = static_cast<uint32_t>(uint64_t{1} << (32 - bits));
    double carriedPerChannel[2] = {0.0, 0.0};
    std::vector<uint32_t> words;
    for (size_t n = 0; n < samples.size(); ++n)
    {
        const double x = std::isnan(samples[n]) ? 0.0 : samples[n];
        double& carried = carriedPerChannel[n % 2];
        double y = x;
        if (enhancer)
        {
            const double v = std::min(1.0, std::max(-1.0, x)) / step;
            double r = std::trunc(v);
            if (v - r > 0.5)
                r += 1;
            else if (v - r < -0.5)
                r -= 1;
            double e = (v - r) + carried;
            for (; e > 0.5; e -= 1)
                r += 1;
            for (; e < -0.5; e += 1)
                r -= 1;
            carried = e;
            if (r > levels)
            {
                r = levels;
                carried = (levels - v) + e;
            }
            else if (r < -levels)
            {
                r = -levels;
                carried = (-levels - v) + e;
            }
            y = step * r;
        }
        const double m = std::min(std::fabs(y) * 2147483647.0, 2147483647.0);
        uint32_t i = static_cast<uint32_t>(m);
        if (m - i >= 0.5)
            i += 1;
        if (y < 0)
            i = (i ^ mask) + unit;
        words.push_back(i & mask);
    }
    return words;
}

// Random samples of every kind the arithmetic treats apart, drawn independently per channel.
std::vector<double> AwkwardSamples()
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::uniform_int_distribution<int> kind(0, 9);
    // Exact ties first, the first pair with no error carried (half scale is a tie on every grid,
    // and on the 2-bit grid one step is 1.0): half a step stays truncated.
    std::vector<double> samples{-0.5, 0.5, 0.25, 0.25, 0.5, 0.5, -0.25, -0.25, -0.5, -0.5, 0.75, -0.75, 0.25, 0.5};
    for (int i = 0; i < 40000; ++i)
    {
        const double x = uniform(random);
        switch (kind(random))
        {
        case 0:
            samples.push_back(x * 1.5);
            break; // beyond full scale
        case 1:
            samples.push_back(std::copysign(1.0, x) - x * 1e-5);
            break; // near full scale
        case 2:
            samples.push_back(x * 3e-5);
            break; // about one 16-bit step
        case 3:
            samples.push_back(std::round(x * 8) / 8 / 32767);
            break; // fractions of a step
        case 4:
            samples.push_back(std::round(x * 4) / 4);
            break; // exact ties on the 2-bit grid
        case 5:
            samples.push_back((std::round(x * 1e6) + 0.5) / 2147483647.0);
            break; // word rounding ties
        case 6:
            samples.push_back(x * 1e-300 * (i % 3 == 0 ? 1e-10 : 1.0));
            break; // tiny, subnormal
        case 7:
            samples.push_back(i % 4 == 0 ? kNaN : i % 4 == 1 ? -kNaN : std::copysign(kInf, x));
            break;
        case 8:
            samples.push_back(std::copysign(0.0, x));
            break;
        default:
            samples.push_back(x);
            break;
        }
    }
    return samples;
}

// Converts with one quantizer in calls of 1 to 300 frames, so that every way a call can end
// (inside or after a run of frames made several at a time) is met.
std::vector<uint8_t> ConvertInPieces(uint32_t effective, uint32_t container, int32_t enhancer,
                                     const std::vector<double>& samples)
{
    CQuantizer quantizer;
    EXPECT_EQ(kStatusSuccess, quantizer.Initialize(effective, container, enhancer));
    std::vector<uint8_t> out(samples.size() * container / 8, 0xAA);
    const uint64_t frames = samples.size() / 2;
    std::mt19937 lengths(effective + container);
    for (uint64_t first = 0; first < frames;)
    {
        const uint64_t count = std::min<uint64_t>(frames - first, 1 + lengths() % 300);
        EXPECT_EQ(kStatusSuccess,
                  quantizer.Convert(samples.data() + 2 * first, count, out.data() + first * container / 4));
        first += count;
    }
    return out;
}

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t i, uint32_t bytesPerSample)
{
    uint32_t word = 0;
    for (uint32_t b = 0; b < bytesPerSample; ++b)
        word |= static_cast<uint32_t>(bytes[i * bytesPerSample + b]) << (8 * (4 - bytesPerSample + b));
    return word;
}
} // namespace

TEST(CQuantizer, MatchesTheStepByStepAlgorithmInEveryContainer)
{
    const std::vector<double> samples = AwkwardSamples();
    ForEachVectorForm([&] {
        for (int32_t enhancer = 0; enhancer <= 1; ++enhancer)
        {
            for (uint32_t bits : {2u, 8u, 12u, 16u, 24u, 32u})
            {
                const std::vector<uint32_t> reference = ReferenceWords(bits, enhancer != 0, samples);
                for (uint32_t container : {8u, 16u, 24u, 32u})
                {
                    if (bits > container)
                        continue;
                    for (const std::vector<uint8_t>& bytes : {ConvertOnce(bits, container, enhancer, samples),
                                                              ConvertInPieces(bits, container, enhancer, samples)})
                    {
                        size_t first = 0;
                        while (first < samples.size() && WordAt(bytes, first, container / 8) == reference[first])
                            ++first;
                        EXPECT_EQ(samples.size(), first) << bits << " bits in " << container << ", enhancer "
                                                         << enhancer << ": first difference at sample " << first << " ("
                                                         << (first < samples.size() ? samples[first] : 0.0) << ")";
                    }
                }
            }
        }
    });
}

namespace
{
// One second at 48 kHz of a 1 kHz tone at -100 dBFS (about a third of a 16-bit step) on the
// left channel; the right channel carries the same tone or silence.
std::vector<double> ToneBelowOneStep(bool onBothChannels)
{
    const double amplitude = std::pow(10.0, -100.0 / 20.0);
    std::vector<double> samples;
    for (int n = 0; n < 48000; ++n)
    {
        const double x = amplitude * std::sin(2.0 * kPi * 1000.0 * n / 48000.0);
        samples.insert(samples.end(), {x, onBothChannels ? x : 0.0});
    }
    return samples;
}

// Level in dBFS of the 1 kHz component of the channel mix left * wl + right * wr.
double ToneLevelDb(const std::vector<int16_t>& out, double wl, double wr)
{
    std::vector<double> mix;
    for (size_t i = 0; i < out.size(); i += 2)
        mix.push_back((wl * out[i] + wr * out[i + 1]) / 32767.0);
    return 20.0 * std::log10(Amplitude(mix, 1000.0, 48000.0));
}
} // namespace

TEST(CQuantizerSignal, EnhancerCarriesAToneBelowOneStep)
{
    // A tone beside a silent channel (the trigger layout): the silent channel stays silent.
    std::vector<int16_t> out = ToInt16(ConvertOnce(16, 16, 1, ToneBelowOneStep(false)));
    EXPECT_NEAR(-100.0, ToneLevelDb(out, 1.0, 0.0), 0.5);
    for (size_t i = 1; i < out.size(); i += 2)
        ASSERT_EQ(0, out[i]) << i;
    // The same tone on both channels reaches each of them at the same level.
    out = ToInt16(ConvertOnce(16, 16, 1, ToneBelowOneStep(true)));
    EXPECT_NEAR(-100.0, ToneLevelDb(out, 1.0, 0.0), 0.5);
    EXPECT_NEAR(-100.0, ToneLevelDb(out, 0.0, 1.0), 0.5);
}
