// Throughput of the stream pipeline: frames per second through the sound stream buffer
// (15 ms writes, 10 ms reads) and samples per second through the quantizer, each also as a
// multiple of real time for 384 kHz stereo. Rates are per second of this thread's CPU time, so
// that other load on the machine does not count against them; wall-clock rates are shown beside.
#include "bench/CpuTime.h"
#include "runtime/Status.h"
#include "stream/CQuantizer.h"
#include "stream/CSoundStreamBuffer.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{
constexpr double kRate = 384000.0;
constexpr double kMinimumCpuSeconds = 1.0;

// Calls `step` (which returns the units it processed) until a second of CPU time has passed and
// prints the rate per CPU second and per wall second, and the CPU rate as a multiple of real time.
template <typename Step>
void Measure(const char* what, double realTimePerSecond, Step step)
{
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = CpuTime::Thread();
    double units = 0.0;
    double cpu = 0.0;
    do
    {
        units += static_cast<double>(step());
        cpu = CpuTime::Thread() - cpuStart;
    } while (cpu < kMinimumCpuSeconds);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf("%-38s %11.0f /s CPU %11.0f /s wall %8.1f x real time\n", what, units / cpu, units / wall,
                units / cpu / realTimePerSecond);
}

// Writes until the whole block is queued, reading a block whenever the queue is full. Returns
// the blocks read.
uint64_t WriteBlock(CSoundStreamBuffer& buffer, const std::vector<double>& block, std::vector<double>& out)
{
    const uint64_t frames = block.size() / 2;
    uint64_t reads = 0;
    for (uint64_t done = 0; done < frames;)
    {
        uint64_t accepted = frames - done;
        if (buffer.Write(block.data() + 2 * done, &accepted) != kStatusSuccess)
            return reads;
        done += accepted;
        if (done < frames)
        {
            buffer.Read(out.data());
            ++reads;
        }
    }
    return reads;
}

bool BenchStreamBuffer()
{
    CSoundStreamBuffer buffer;
    double duration = 0.01;
    if (buffer.Initialize(kRate, &duration) != kStatusSuccess ||
        buffer.LimitCapacity(static_cast<uint64_t>(kRate * 0.07)) != kStatusSuccess)
        return false;
    const uint64_t blockFrames = buffer.GetBlockFrames();
    std::vector<double> block(static_cast<size_t>(kRate * 0.015) * 2, 0.25);
    std::vector<double> out(blockFrames * 2);
    uint64_t audioBlocks = 0, blocks = 0;
    // Two 15 ms writes for every three 10 ms reads, as the two threads run at steady state.
    Measure("stream buffer (frames)", kRate, [&] {
        uint64_t reads = 0;
        for (int cycle = 0; cycle < 100; ++cycle)
        {
            for (int w = 0; w < 2; ++w)
                reads += WriteBlock(buffer, block, out);
            for (int r = 0; r < 3; ++r, ++reads)
            {
                buffer.Read(out.data());
                audioBlocks += out[0] == 0.25 ? 1 : 0;
            }
        }
        blocks += reads;
        return reads * blockFrames;
    });
    std::printf("  (%.1f %% of the blocks read carried unfaded audio)\n",
                100.0 * static_cast<double>(audioBlocks) / static_cast<double>(blocks));
    return true;
}

uint32_t BenchConvert(uint32_t containerBits, int32_t enhancer, const std::vector<double>& source)
{
    CQuantizer quantizer;
    quantizer.Initialize(containerBits == 16 ? 16 : 24, containerBits, enhancer);
    const uint64_t frames = source.size() / 2;
    std::vector<uint8_t> out(source.size() * containerBits / 8);
    uint32_t checksum = 0;
    char what[64];
    std::snprintf(what, sizeof what, "Convert %u-bit, enhancer %s (samples)", containerBits, enhancer ? "on " : "off");
    Measure(what, kRate * 2, [&] {
        for (int pass = 0; pass < 10; ++pass)
        {
            quantizer.Convert(source.data(), frames, out.data());
            checksum += out[out.size() / 2];
        }
        return 10 * frames * 2;
    });
    return checksum;
}
} // namespace

int main()
{
    std::printf("Real time: 384 kHz stereo = %.0f frames/s, %.0f samples/s\n", kRate, kRate * 2);
    if (!BenchStreamBuffer())
    {
        std::printf("stream buffer set-up failed\n");
        return 1;
    }
    // One 10 ms block of a 997 Hz tone at -20 dBFS on both channels.
    std::vector<double> source;
    for (int n = 0; n < 3840; ++n)
    {
        const double x = 0.1 * std::sin(2.0 * 3.141592653589793 * 997.0 * n / kRate);
        source.push_back(x);
        source.push_back(x);
    }
    uint32_t checksum = 0;
    for (uint32_t bits : {16u, 24u, 32u})
        for (int32_t enhancer : {0, 1})
            checksum += BenchConvert(bits, enhancer, source);
    std::printf("(checksum %u)\n", checksum);
    return 0;
}
