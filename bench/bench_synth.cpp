// Times the signal generator per mode and prints frames per second and the multiple of what
// real time needs at 384 kHz stereo. Each figure is the best of several runs, measured in CPU
// time of the process: on a busy machine that leaves out the time other processes take from it
// (wall time is printed beside it for reference).
#include "bench/CpuTime.h"
#include "synth/CParameterRamp.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
constexpr double Rate = 384000.0;

struct Mode
{
    const char* name;
    uint32_t noise;
    uint32_t am;
    uint32_t fm;
};

const Mode Modes[] = {
    {"tone", 0, 0, 0},
    {"tone+am+fm", 0, 1, 1},
    {"noise", 1, 0, 0},
};

struct Options
{
    double seconds = 20.0;
    int runs = 3;
    const char* only = nullptr;
};

// The six ramps as playback sets them up: a 1 kHz tone at full level, 10 ms glides,
// AM at 5 Hz and FM at 10 Hz with 100 Hz bandwidth (used only when their flags are on).
class Ramps
{
public:
    Ramps()
    {
        Set(m_Level, pLevelRamp, 1.0);
        Set(m_Frequency, pFrequencyRamp, 1000.0);
        Set(m_Phase, pPhaseRamp, 0.0);
        Set(m_AMFrequency, pAMFrequencyRamp, 5.0);
        Set(m_FMFrequency, pFMFrequencyRamp, 10.0);
        Set(m_FMBandwidth, pFMBandwidthRamp, 100.0);
    }

private:
    static void Set(CParameterRamp& ramp, CParameterRamp*& published, double value)
    {
        ramp.Initialize(value);
        ramp.SetDefaultLength(static_cast<uint64_t>(Rate * 0.01));
        published = &ramp;
    }

    CParameterRamp m_Level, m_Frequency, m_Phase, m_AMFrequency, m_FMFrequency, m_FMBandwidth;
};

struct Timing
{
    double cpu;
    double wall;
};

Timing TimeOneRun(const Mode& mode, uint64_t frames, std::vector<double>& block)
{
    bNoise.store(mode.noise);
    bAM.store(mode.am);
    bFM.store(mode.fm);
    dfAMPhase = 0.0;
    dfFMPhase = 0.0;
    double carrierPhase = 0.0;
    CRandomMT generator;
    const uint64_t blockFrames = block.size() / 2;
    const double cpuStart = CpuTime::Process();
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t done = 0; done < frames; done += blockFrames)
        FillBlock(block.data(), blockFrames, &carrierPhase, &generator);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return Timing{CpuTime::Process() - cpuStart, elapsed.count()};
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--seconds") == 0)
            options.seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--runs") == 0)
            options.runs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--mode") == 0)
            options.only = argv[i + 1];
        else
            return false;
    }
    return argc % 2 == 1 && options.seconds > 0.0 && options.runs > 0;
}
}

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
    {
        std::fprintf(stderr, "usage: bench_synth [--seconds S] [--runs N] [--mode tone|tone+am+fm|noise]\n");
        return 2;
    }
    dfSamplingRate = Rate;
    Ramps ramps;
    // The synthesizer's own unit: 15 ms.
    std::vector<double> block(static_cast<size_t>(Rate * 0.015) * 2);
    const uint64_t frames = static_cast<uint64_t>(options.seconds * Rate);
    std::printf("# %.0f s of signal at %.0f Hz stereo per run, best of %d runs\n", options.seconds, Rate,
                options.runs);
    std::printf("# mode      frames/s(CPU) x real time   frames/s(wall)\n");
    for (const Mode& mode : Modes)
    {
        if (options.only != nullptr && std::strcmp(options.only, mode.name) != 0)
            continue;
        Timing best{0.0, 0.0};
        for (int run = 0; run < options.runs; ++run)
        {
            const Timing timing = TimeOneRun(mode, frames, block);
            best.cpu = run == 0 ? timing.cpu : std::min(best.cpu, timing.cpu);
            best.wall = run == 0 ? timing.wall : std::min(best.wall, timing.wall);
        }
        const double framesPerSecond = static_cast<double>(frames) / best.cpu;
        std::printf("%-12s %12.0f %12.1f %16.0f\n", mode.name, framesPerSecond, framesPerSecond / Rate,
                    static_cast<double>(frames) / best.wall);
        std::fflush(stdout);
    }
    return 0;
}
