// How faithfully the resolution enhancer carries a quiet tone: the level of the 1 kHz
// component of each channel after 16-bit quantization at 48 kHz, and the level of the
// quantization error below 4 kHz, with the tone on the left channel only (the trigger layout)
// and on both channels (tone and noise modes). The enhancer has no dither, so its error near and
// below one step is deterministic; this prints it instead of claiming a figure.
#include "stream/CQuantizer.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace
{
constexpr double kPi = 3.141592653589793;
constexpr double kRate = 48000.0;
constexpr double kFrequency = 1000.0;
constexpr double kBandEdge = 4000.0;
constexpr size_t kFrames = 48000 * 4;
constexpr int kLowPassTaps = 511;
// The error is measured over the first second: its pattern repeats, and the filter is slow.
constexpr size_t kErrorFrames = 48000;

struct ChannelLevels
{
    double dfToneDb[2];
    double dfErrorDb[2];
    long iNonZero;
};

double ToDb(double amplitude)
{
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

// The tone's phase at frame n.
double Angle(size_t n)
{
    return 2.0 * kPi * kFrequency * static_cast<double>(n) / kRate;
}

// A Blackman-windowed sinc low-pass with its edge at kBandEdge.
std::vector<double> LowPass()
{
    std::vector<double> taps;
    taps.reserve(kLowPassTaps);
    const int middle = kLowPassTaps / 2;
    const double edge = kBandEdge / kRate;
    for (int k = 0; k < kLowPassTaps; ++k)
    {
        const int n = k - middle;
        const double sinc = n == 0 ? 2.0 * edge : std::sin(2.0 * kPi * edge * n) / (kPi * n);
        const double w = 2.0 * kPi * k / (kLowPassTaps - 1);
        taps.push_back(sinc * (0.42 - 0.5 * std::cos(w) + 0.08 * std::cos(2.0 * w)));
    }
    return taps;
}

// Level in dBFS (20 log10(rms x sqrt 2), a full-scale sine being 0) of the error's part below
// kBandEdge, over the frames where the filter sees only the signal.
double ErrorBelowBandEdgeDb(const std::vector<double>& error)
{
    static const std::vector<double> taps = LowPass();
    double sum = 0.0;
    size_t count = 0;
    for (size_t n = taps.size(); n < kErrorFrames; ++n, ++count)
    {
        double y = 0.0;
        for (size_t k = 0; k < taps.size(); ++k)
            y += taps[k] * error[n - k];
        sum += y * y;
    }
    return ToDb(std::sqrt(2.0 * sum / static_cast<double>(count)));
}

ChannelLevels Measure(double levelDb, bool bothChannels, int32_t enhancer)
{
    CQuantizer quantizer;
    quantizer.Initialize(16, 16, enhancer);
    const double amplitude = std::pow(10.0, levelDb / 20.0);
    std::vector<double> samples(2 * kFrames);
    for (size_t n = 0; n < kFrames; ++n)
    {
        const double x = amplitude * std::sin(Angle(n));
        samples[2 * n] = x;
        samples[2 * n + 1] = bothChannels ? x : 0.0;
    }
    std::vector<uint8_t> bytes(4 * kFrames);
    quantizer.Convert(samples.data(), kFrames, bytes.data());

    ChannelLevels levels{};
    double re[2] = {0.0, 0.0}, im[2] = {0.0, 0.0};
    std::vector<double> error[2] = {std::vector<double>(kFrames), std::vector<double>(kFrames)};
    for (size_t n = 0; n < kFrames; ++n)
    {
        const double angle = Angle(n);
        for (size_t c = 0; c < 2; ++c)
        {
            int16_t value;
            std::memcpy(&value, &bytes[4 * n + 2 * c], 2);
            levels.iNonZero += value != 0 ? 1 : 0;
            re[c] += value / 32767.0 * std::cos(angle);
            im[c] += value / 32767.0 * std::sin(angle);
            error[c][n] = value / 32767.0 - samples[2 * n + c];
        }
    }
    for (int c = 0; c < 2; ++c)
    {
        levels.dfToneDb[c] = ToDb(2.0 * std::hypot(re[c], im[c]) / kFrames);
        levels.dfErrorDb[c] = ErrorBelowBandEdgeDb(error[c]);
    }
    return levels;
}
} // namespace

int main()
{
    std::printf("1 kHz tone, 48 kHz, 16 effective bits, 4 s; dBFS of the 1 kHz component (level) and of the\n"
                "quantization error below 4 kHz (err)\n");
    std::printf("%8s | %-30s | %-51s | %s\n", "input", "enhancer, left only", "enhancer, both channels", "no enhancer");
    std::printf("%8s | %16s %13s | %16s %8s %8s %8s %8s | %8s %7s\n", "", "level L", "err L", "level L", "level R",
                "err L", "err R", "nz", "level", "nz");
    for (double db = -80.0; db >= -130.0; db -= (db > -110.0 ? 5.0 : 2.0))
    {
        const ChannelLevels left = Measure(db, false, 1);
        const ChannelLevels both = Measure(db, true, 1);
        const ChannelLevels plain = Measure(db, true, 0);
        std::printf("%8.1f | %8.2f (%+5.2f) %13.1f | %8.2f (%+5.2f) %8.2f %8.1f %8.1f %8ld | %8.2f %7ld\n", db,
                    left.dfToneDb[0], left.dfToneDb[0] - db, left.dfErrorDb[0], both.dfToneDb[0], both.dfToneDb[0] - db,
                    both.dfToneDb[1], both.dfErrorDb[0], both.dfErrorDb[1], both.iNonZero, plain.dfToneDb[0],
                    plain.iNonZero);
    }
    return 0;
}
