// Times the sample path per mode and prints frames per second and the multiple of what real
// time needs at 384 kHz stereo: the signal generator alone, and the whole path the program runs
// per block (FillBlock, the stream buffer's write and read, CQuantizer::Convert into 32-bit
// integer frames) with the resolution enhancer off and on. Each figure is the best of several
// runs, measured in CPU time of the process: on a busy machine that leaves out the time other
// processes take from it (wall time is printed beside it for reference).
#include "bench/CpuTime.h"
#include "runtime/Status.h"
#include "stream/CQuantizer.h"
#include "stream/CSoundStreamBuffer.h"
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

// What one run times: the generator alone, or the whole path with the enhancer off or on.
struct Path
{
    const char* name;
    bool whole;
    int32_t enhancer;
};

const Path Paths[] = {
    {"generator", false, 0},
    {"whole,enhancer-off", true, 0},
    {"whole,enhancer-on", true, 1},
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

// The render side of the whole path: the stream buffer's 10 ms blocks converted into 32-bit
// frames, as the render thread does for every device period.
class RenderSide
{
public:
    explicit RenderSide(int32_t enhancer)
    {
        double duration = 0.01;
        m_bReady = m_Buffer.Initialize(Rate, &duration) == kStatusSuccess &&
                   m_Quantizer.Initialize(24, 32, enhancer) == kStatusSuccess;
        m_Block.resize(m_Buffer.GetBlockFrames() * 2);
        m_Device.resize(m_Block.size() * 4);
    }

    bool IsReady() const { return m_bReady; }

    // Queues one block of the generator's, then hands on every whole 10 ms block queued.
    void Pass(const double* frames, uint64_t count)
    {
        m_Buffer.Write(frames, &count);
        m_uiQueued += count;
        for (; m_uiQueued >= m_Buffer.GetBlockFrames(); m_uiQueued -= m_Buffer.GetBlockFrames())
        {
            m_Buffer.Read(m_Block.data());
            m_Quantizer.Convert(m_Block.data(), m_Buffer.GetBlockFrames(), m_Device.data());
        }
    }

private:
    CSoundStreamBuffer m_Buffer;
    CQuantizer m_Quantizer;
    std::vector<double> m_Block;
    std::vector<uint8_t> m_Device;
    uint64_t m_uiQueued = 0;
    bool m_bReady = false;
};

bool TimeOneRun(const Mode& mode, const Path& path, uint64_t frames, std::vector<double>& block, Timing& timing)
{
    bNoise.store(mode.noise);
    bAM.store(mode.am);
    bFM.store(mode.fm);
    dfAMPhase = 0.0;
    dfFMPhase = 0.0;
    double carrierPhase = 0.0;
    CRandomMT generator;
    RenderSide render(path.enhancer);
    if (!render.IsReady())
        return false;
    const uint64_t blockFrames = block.size() / 2;
    const double cpuStart = CpuTime::Process();
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t done = 0; done < frames; done += blockFrames)
    {
        FillBlock(block.data(), blockFrames, &carrierPhase, &generator);
        if (path.whole)
            render.Pass(block.data(), blockFrames);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    timing = Timing{CpuTime::Process() - cpuStart, elapsed.count()};
    return true;
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
    std::printf("# %.0f s of signal at %.0f Hz stereo per run, best of %d runs\n", options.seconds, Rate, options.runs);
    std::printf("# mode       path                 frames/s(CPU) x real time   frames/s(wall)\n");
    for (const Mode& mode : Modes)
    {
        if (options.only != nullptr && std::strcmp(options.only, mode.name) != 0)
            continue;
        for (const Path& path : Paths)
        {
            Timing best{0.0, 0.0};
            for (int run = 0; run < options.runs; ++run)
            {
                Timing timing{0.0, 0.0};
                if (!TimeOneRun(mode, path, frames, block, timing))
                {
                    std::fprintf(stderr, "the stream buffer or the quantizer could not be set up\n");
                    return 1;
                }
                best.cpu = run == 0 ? timing.cpu : std::min(best.cpu, timing.cpu);
                best.wall = run == 0 ? timing.wall : std::min(best.wall, timing.wall);
            }
            const double framesPerSecond = static_cast<double>(frames) / best.cpu;
            std::printf("%-12s %-20s %12.0f %12.1f %16.0f\n", mode.name, path.name, framesPerSecond,
                        framesPerSecond / Rate, static_cast<double>(frames) / best.wall);
            std::fflush(stdout);
        }
    }
    return 0;
}
