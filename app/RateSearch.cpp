#include "app/RateSearch.h"

#include "app/DeviceList.h"
#include "app/EngineObjects.h"
#include "app/ProcessState.h"
#include "device/CSoundStreamWASAPI.h"
#include "runtime/CNamedValueList.h"
#include "runtime/Status.h"
#include "stream/CSoundStreamBuffer.h"
#include "stream/ChannelCount.h"
#include "synth/CParameterRamp.h"

namespace RateSearch
{
namespace
{
// One block: the device thread's packet, a shortage's fade and a slider's glide; 10 ms passes for immediate.
constexpr double kBlockPeriod = 0.01;
// Bounds a slider's latency: growing two blocks at a time, the queue stops at 60 ms, enough for a late wake-up.
constexpr double kQueueLimitPeriod = 0.07;

// Notes a set-up failure the user is to be told of; returns status.
int32_t Fail(Result& result, SetupFailure failure, int32_t status)
{
    if (result.uiFailureCount < kMaxAttempts)
        result.Failures[result.uiFailureCount++] = failure;
    return status;
}

// Slider changes then glide over one block instead of jumping.
void SetRampGlideLength(uint64_t steps)
{
    CParameterRamp* const ramps[] = {pLevelRamp,       pFrequencyRamp,   pPhaseRamp,
                                     pAMFrequencyRamp, pFMFrequencyRamp, pFMBandwidthRamp};
    for (CParameterRamp* ramp : ramps)
    {
        if (ramp != nullptr)
            ramp->SetDefaultLength(steps);
    }
}

int32_t ReplacePacketBuffer(uint64_t frames)
{
    if (!ReplaceMultiChannelPacketBuffer(frames * kChannels))
        return kStatusNotCreated;
    return pNamedValueList->SetPacketBuffer(reinterpret_cast<uint64_t>(pdfMultiChannelPacketBuffer));
}

// Sets the stream buffer, ramps and packet buffer up for one rate and opens the device at it.
// Negative when the rate cannot be used.
int32_t AttemptFormat(uint32_t rate, int32_t deviceIndex, Result& result)
{
    if (pSoundBuffer == nullptr)
        return Fail(result, SetupFailure::SoundBuffer, kStatusNotInitialized);
    double period = kBlockPeriod;
    const int32_t status = pSoundBuffer->Initialize(rate, &period);
    if (status < 0)
        return Fail(result, SetupFailure::SoundBuffer, status);
    if (pSoundBuffer->LimitCapacity(static_cast<uint64_t>(rate * kQueueLimitPeriod)) < 0)
        return Fail(result, SetupFailure::BufferLimit, kStatusFailure);
    const uint64_t blockFrames = pSoundBuffer->GetBlockFrames();
    if (blockFrames == 0)
        return Fail(result, SetupFailure::BufferSize, kStatusInvalidArgument);
    SetRampGlideLength(blockFrames);
    if (pSoundStream->uiState != 0)
        return Fail(result, SetupFailure::BufferSize, kStatusFailure);
    pSoundStream->uiPacketFrames = blockFrames;
    const int32_t packetStatus = ReplacePacketBuffer(blockFrames);
    if (packetStatus < 0)
        return packetStatus;
    pSoundStream->uiMaxBitCount = uiMaxEffectiveBits;
    pSoundStream->bResolutionEnhancer = bEnableResolutionEnhancer;
    double devicePeriod = 0.0;
    return pSoundStream->OpenRenderDevice(rate, &devicePeriod, DeviceList::EndpointId(deviceIndex));
}
}

bool SearchRate(int32_t deviceIndex, ShareMode mode, Direction direction, Result& result)
{
    const uint32_t shared = static_cast<uint32_t>(mode);
    if (pSoundStream->uiState == 0)
        pSoundStream->bSharedMode = shared;
    const int32_t step = direction == Direction::Upward ? -1 : 1;
    for (int32_t candidate = static_cast<int32_t>(uiRateIndex);
         candidate >= 0 && candidate < static_cast<int32_t>(RateTable::kRowCount); candidate += step)
    {
        const uint32_t visited = static_cast<uint32_t>(candidate);
        if (AttemptFormat(RateTable::WholeHertz(visited), deviceIndex, result) >= 0)
        {
            dfSamplingRate = RateTable::Hertz(visited);
            result.uiRow = visited;
            result.Verdict = Outcome::Found;
            return true;
        }
        if (pSoundStream->LastFailure.hr == AUDCLNT_E_DEVICE_IN_USE)
            result.bInUse[shared] = true;
    }
    return false;
}

Result FindAnyRate(int32_t deviceIndex)
{
    const struct
    {
        ShareMode Mode;
        Direction Way;
    } passes[] = {{ShareMode::Exclusive, Direction::Downward},
                  {ShareMode::Shared, Direction::Downward},
                  {ShareMode::Exclusive, Direction::Upward},
                  {ShareMode::Shared, Direction::Upward}};
    Result result;
    for (const auto& pass : passes)
    {
        if (SearchRate(deviceIndex, pass.Mode, pass.Way, result))
            return result;
    }
    result.Verdict = result.bInUse[0] && result.bInUse[1] ? Outcome::HeldByAnotherProgram : Outcome::Refused;
    return result;
}
}
