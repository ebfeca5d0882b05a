#include "stream/CSoundStreamBuffer.h"

#include "runtime/CLockGuard.h"
#include "runtime/Status.h"
#include "stream/ChannelCount.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

namespace
{
constexpr double kPi = 3.141592653589793;
// 2^63: block sizes from here on cannot be doubled in 64 bits.
constexpr double kTwoToThe63 = 9223372036854775808.0;

// Zeroed array of `count` doubles, or null when it cannot be allocated.
double* AllocateDoubles(uint64_t count)
{
    if (count > SIZE_MAX / sizeof(double))
        return nullptr;
    return new (std::nothrow) double[static_cast<size_t>(count)]();
}

void FillFadeRamp(double* ramp, uint64_t frames)
{
    const double n = static_cast<double>(frames);
    for (uint64_t i = 0; i < frames; ++i)
        ramp[i] = 0.5 - std::cos((static_cast<double>(i + 1) / n) * kPi) * 0.5;
}
} // namespace

CSoundStreamBuffer::CSoundStreamBuffer()
    : m_iState(0), m_dfSamplingRate(0.0), m_uiChannels(0), m_dfBlockDuration(0.0), m_uiBlockFrames(0),
      m_pdfFadeRamp(nullptr), m_bFaded(0), m_pdfCurrentBlock(nullptr), m_pdfHeldBlock(nullptr)
{
}

CSoundStreamBuffer::~CSoundStreamBuffer()
{
    Release();
}

int32_t CSoundStreamBuffer::Initialize(double rate, double* duration)
{
    Release();
    if (duration == nullptr || !(rate > 0.0) || !(*duration > 0.0))
        return kStatusInvalidArgument;
    const double frames = std::ceil(rate * *duration);
    // Checked before the conversion: a value out of range would not convert meaningfully.
    if (frames >= kTwoToThe63)
        return kStatusOverflow;
    const uint64_t blockFrames = static_cast<uint64_t>(frames);
    if (blockFrames == 0)
        return kStatusFailure;
    int32_t status = AllocateArrays(blockFrames);
    if (status == kStatusSuccess)
        status = m_Queue.Initialize(rate, 2 * blockFrames);
    if (status == kStatusSuccess)
        status = m_Queue.ClearGrowthFlag();
    if (status != kStatusSuccess)
    {
        Release();
        return status;
    }
    m_dfSamplingRate = rate;
    m_uiChannels = kChannels;
    m_dfBlockDuration = frames / rate;
    m_uiBlockFrames = blockFrames;
    // Output starts faded out, so that the first full block fades in even when the queue
    // was filled before the first read: no click at the start.
    m_bFaded = 1;
    *duration = m_dfBlockDuration;
    m_iState = 1;
    return kStatusSuccess;
}

int32_t CSoundStreamBuffer::AllocateArrays(uint64_t blockFrames)
{
    m_pdfFadeRamp = AllocateDoubles(blockFrames);
    m_pdfCurrentBlock = AllocateDoubles(blockFrames * kChannels);
    m_pdfHeldBlock = AllocateDoubles(blockFrames * kChannels);
    if (m_pdfFadeRamp == nullptr || m_pdfCurrentBlock == nullptr || m_pdfHeldBlock == nullptr)
        return kStatusNotCreated;
    FillFadeRamp(m_pdfFadeRamp, blockFrames);
    return kStatusSuccess;
}

void CSoundStreamBuffer::FreeArrays()
{
    delete[] m_pdfCurrentBlock;
    m_pdfCurrentBlock = nullptr;
    delete[] m_pdfHeldBlock;
    m_pdfHeldBlock = nullptr;
    delete[] m_pdfFadeRamp;
    m_pdfFadeRamp = nullptr;
}

int32_t CSoundStreamBuffer::Release()
{
    FreeArrays();
    m_Queue.Reset();
    m_iState = 0;
    m_dfSamplingRate = 0.0;
    m_uiChannels = 0;
    m_dfBlockDuration = 0.0;
    m_uiBlockFrames = 0;
    m_bFaded = 0;
    return kStatusSuccess;
}

int32_t CSoundStreamBuffer::LimitCapacity(uint64_t frames)
{
    if (m_iState != 1)
        return kStatusFailure;
    return m_Queue.SetMaximumCapacity(frames);
}

int32_t CSoundStreamBuffer::Write(const double* frames, uint64_t* count)
{
    if (count == nullptr)
        return kStatusInvalidArgument;
    uint64_t offered = *count;
    *count = 0;
    if (m_iState != 1)
        return kStatusFailure;
    if (m_Queue.GetStatus().bStop != 0)
        return kStatusNothingDone;
    uint64_t accepted = offered;
    int32_t status = m_Queue.Write(frames, &accepted);
    if (status < 0)
        return status;
    *count = accepted;
    return kStatusSuccess;
}

int32_t CSoundStreamBuffer::Read(double* destination)
{
    if (m_iState != 1)
        return kStatusFailure;
    const uint64_t blockFrames = m_uiBlockFrames;
    const FrameQueueStatus queue = m_Queue.GetStatus();
    const bool take = queue.bStop != 0 || (queue.bRefill == 0 && queue.uiFillLevel >= queue.uiLowWatermark);
    const uint64_t obtained = take ? m_Queue.Read(m_pdfCurrentBlock, blockFrames) : 0;

    if (obtained == blockFrames)
    {
        Output(destination);
        if (m_bFaded != 0)
            FadeIn();
        else
            std::memcpy(m_pdfHeldBlock, m_pdfCurrentBlock,
                        static_cast<size_t>(blockFrames * kChannels) * sizeof(double));
        return kStatusSuccess;
    }
    if (m_bFaded != 0)
        SilenceCurrentBlock(0);
    else
        FadeOut(obtained);
    Output(destination);
    std::memcpy(m_pdfHeldBlock, m_pdfCurrentBlock, static_cast<size_t>(blockFrames * kChannels) * sizeof(double));
    return kStatusSuccess;
}

void CSoundStreamBuffer::Output(double* destination)
{
    if (destination != nullptr)
        std::memcpy(destination, m_pdfHeldBlock, static_cast<size_t>(m_uiBlockFrames * kChannels) * sizeof(double));
}

// The first full block after silence enters the held block faded in; it is output next time.
void CSoundStreamBuffer::FadeIn()
{
    for (uint64_t j = 0; j < m_uiBlockFrames; ++j)
        for (uint64_t c = 0; c < kChannels; ++c)
            m_pdfHeldBlock[j * kChannels + c] = m_pdfFadeRamp[j] * m_pdfCurrentBlock[j * kChannels + c];
    m_bFaded = 0;
}

// A short block: fade over the last block of audio that exists, that is the tail of the held
// block followed by the `framesObtained` new frames, down to the ramp's first entry.
void CSoundStreamBuffer::FadeOut(uint64_t framesObtained)
{
    const uint64_t blockFrames = m_uiBlockFrames;
    for (uint64_t k = 0; k < blockFrames - framesObtained; ++k)
        for (uint64_t c = 0; c < kChannels; ++c)
            m_pdfHeldBlock[(framesObtained + k) * kChannels + c] *= m_pdfFadeRamp[blockFrames - 1 - k];
    for (uint64_t m = 0; m < framesObtained; ++m)
        for (uint64_t c = 0; c < kChannels; ++c)
            m_pdfCurrentBlock[m * kChannels + c] *= m_pdfFadeRamp[framesObtained - 1 - m];
    SilenceCurrentBlock(framesObtained);
    m_bFaded = 1;
}

void CSoundStreamBuffer::SilenceCurrentBlock(uint64_t fromFrame)
{
    std::memset(m_pdfCurrentBlock + fromFrame * kChannels, 0,
                static_cast<size_t>((m_uiBlockFrames - fromFrame) * kChannels) * sizeof(double));
}

int32_t CSoundStreamBuffer::RequestStop()
{
    if (m_iState != 1)
        return kStatusNothingDone;
    return m_Queue.SetStopFlag() == kStatusSuccess ? kStatusSuccess : kStatusNothingDone;
}

uint64_t CSoundStreamBuffer::GetBlockFrames() const
{
    return m_iState == 1 ? m_uiBlockFrames : 0;
}

double CSoundStreamBuffer::GetLatency()
{
    if (m_iState != 1)
        return 0.0;
    double latency = static_cast<double>(m_uiBlockFrames) / m_dfSamplingRate;
    const FrameQueueStatus queue = m_Queue.GetStatus();
    if (queue.iState == 1)
        latency += static_cast<double>(queue.uiMiddleWatermark) / m_dfSamplingRate;
    return latency;
}
