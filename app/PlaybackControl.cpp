#include "app/PlaybackControl.h"

#include "app/CarrierRange.h"
#include "app/ControlValues.h"
#include "app/DeviceList.h"
#include "app/EngineObjects.h"
#include "app/ProcessState.h"
#include "app/RateTable.h"
#include "app/SControlPanel.h"
#include "device/CSoundStreamWASAPI.h"
#include "runtime/CNamedValueList.h"
#include "runtime/CWorkerThread.h"
#include "runtime/MessageBoxSeam.h"
#include "stream/BufferCallbackFunction.h"
#include "stream/CSoundStreamBuffer.h"
#include "stream/ChannelCount.h"
#include "synth/CParameterRamp.h"
#include "synth/SynthesizerThreadProc.h"

namespace
{
constexpr double kBlockPeriod = 0.01;
constexpr double kQueueLimitPeriod = 0.07;
constexpr double kSynthesizerWritePeriod = 0.015;
constexpr DWORD kDeviceStartDelayMs = 10;
constexpr uint64_t kExtraDrainMs = 50;
constexpr uint64_t kBytesPerFrame = kChannels * sizeof(double);

const wchar_t kErrorCaption[] = L"Error";

// True while a start or a stop runs: a message box's modal loop can deliver another Play or
// Stop command meanwhile, which must not free what the running one uses.
bool g_bInProgress = false;

class CInProgressScope
{
public:
    CInProgressScope() { g_bInProgress = true; }
    ~CInProgressScope() { g_bInProgress = false; }
    CInProgressScope(const CInProgressScope&) = delete;
    CInProgressScope& operator=(const CInProgressScope&) = delete;
};

bool IsPlaying()
{
    return pSoundStream != nullptr && pSoundStream->bStarted != 0;
}

void ShowError(SControlPanel& panel, const wchar_t* text, const wchar_t* caption = kErrorCaption)
{
    ShowMessageBox(panel.GetOwnerWindow(), text, caption, MB_OK | MB_ICONERROR);
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

void StopSynthesizer()
{
    if (pSynthesizerThread == nullptr)
        return;
    if (pSynthesizerThread->GetState() == CWorkerThread::Running)
        pSynthesizerThread->RequestStop();
    pSynthesizerThread->Join();
    pSynthesizerThread->Release();
}

void CloseDevice()
{
    pSoundStream->Stop();
    pSoundStream->Close();
}

// After a failed start: everything started so far is ended; the buffer object stays for the
// next start or the exit.
void CleanUpFailedStart()
{
    if (pSoundBuffer != nullptr)
        pSoundBuffer->RequestStop();
    StopSynthesizer();
    CloseDevice();
    if (pSoundBuffer != nullptr)
        pSoundBuffer->Release();
}

int32_t ReplacePacketBuffer(uint64_t frames)
{
    if (!ReplaceMultiChannelPacketBuffer(frames * kChannels))
        return -2;
    return pNamedValueList->SetPacketBuffer(reinterpret_cast<uint64_t>(pdfMultiChannelPacketBuffer));
}

enum class RateSearchResult
{
    Found,
    Refused,
    // Another program holds the endpoint exclusively: Windows answered AUDCLNT_E_DEVICE_IN_USE
    // to exclusive and to shared streams alike.
    HeldByAnotherProgram,
};

RateSearchResult FindAnyRate(SControlPanel& panel, int32_t deviceIndex)
{
    struct Pass
    {
        uint32_t uiShared;
        uint32_t uiUpward;
    };
    // Exclusive before shared, the chosen maximum and below before anything higher.
    const Pass passes[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    bool inUse[2] = {false, false};
    uint32_t row = 0;
    for (const Pass& pass : passes)
    {
        bool passInUse = false;
        if (PlaybackControl::SearchRate(panel, deviceIndex, pass.uiShared, pass.uiUpward, &row, &passInUse) > 0)
            return RateSearchResult::Found;
        inUse[pass.uiShared] = inUse[pass.uiShared] || passInUse;
    }
    return inUse[0] && inUse[1] ? RateSearchResult::HeldByAnotherProgram : RateSearchResult::Refused;
}

int32_t StartSynthesizer()
{
    uiBufferSizeToWrite = static_cast<uint64_t>(dfSamplingRate * kSynthesizerWritePeriod);
    const struct
    {
        const wchar_t* pszName;
        uint64_t uiValue;
    } parameters[] = {
        {L"pSoundBuffer", reinterpret_cast<uint64_t>(pSoundBuffer)},
        {L"pMultimediaTimer", reinterpret_cast<uint64_t>(pMultimediaTimer)},
        {L"pBufferSizeToWrite", reinterpret_cast<uint64_t>(&uiBufferSizeToWrite)},
    };
    for (const auto& parameter : parameters)
    {
        const int32_t status = pSynthesizerThread->SetParameter(parameter.pszName, parameter.uiValue);
        if (status < 0)
            return status;
    }
    int32_t status = pSynthesizerThread->AllocateMultichannelBuffer(uiBufferSizeToWrite * kBytesPerFrame);
    if (status >= 0)
        status = pSynthesizerThread->Prepare(1);
    if (status >= 0)
        status = pSynthesizerThread->SetTimeCritical();
    if (status >= 0)
        status = pSynthesizerThread->Start(SynthesizerThreadProc);
    return status;
}

// The bits the device resolves, which the quantizer's effective bits never exceed.
void ShowDeviceFormat(SControlPanel& panel)
{
    const uint32_t resolved = pSoundStream->uiResolvedBitCount;
    panel.ShowDeviceBits(resolved);
    if (uiMaxEffectiveBits > resolved)
        panel.SetBitsText(resolved);
}

// After a stop, or a start that fails after the rate search, the displays go back from the
// device in use to the user's choices: the chosen maximum rate and the carrier range it allows,
// no device bits, the effective bits. Runs once the synthesizer has been joined (it reads
// dfSamplingRate).
void ShowChoicesAgain(SControlPanel& panel)
{
    dfSamplingRate = RateTable::Hertz(uiRateIndex);
    panel.ShowRateEntry(RateTable::EntryOfRow(uiRateIndex));
    CarrierRange::ApplyRate(panel, dfSamplingRate);
    panel.ShowDeviceBits(0);
    panel.SetBitsText(uiMaxEffectiveBits);
}

// Starts the synthesizer and the device once a rate was found; false once a failure was shown.
bool StartThreads(SControlPanel& panel)
{
    dfAMPhase = 0.0;
    dfFMPhase = 0.0;
    if (StartSynthesizer() < 0)
    {
        ShowError(panel, L"Failed in starting the synthesizer.");
        return false;
    }
    Sleep(kDeviceStartDelayMs);
    ShowDeviceFormat(panel);
    if (pSoundStream->StartRender(BufferCallbackFunction, pNamedValueList) < 0)
    {
        ShowError(panel, L"Failed in activating the audio output device.");
        return false;
    }
    if (pSoundStream->Start() < 0)
    {
        ShowError(panel, L"Failed in starting the audio output device.");
        return false;
    }
    return true;
}

// Takes the user's choices for this start (the bits edit normalised and written back) and
// returns the device index.
int32_t ReadChoices(SControlPanel& panel)
{
    uiRateIndex = RateTable::RowOfEntry(panel.GetRateEntry());
    wchar_t bits[32];
    panel.GetBitsText(bits, sizeof bits / sizeof bits[0]);
    uiMaxEffectiveBits = ControlValues::EffectiveBitsFromText(bits);
    panel.SetBitsText(uiMaxEffectiveBits);
    return static_cast<int32_t>(panel.GetDeviceEntry()) - 1;
}

uint64_t DrainMilliseconds()
{
    double seconds = pSoundBuffer->GetLatency();
    if (pSoundStream->uiState != 0 && pSoundStream->dfRate > 0.0)
        seconds += static_cast<double>(pSoundStream->uiPacketFrames + pSoundStream->uiDeviceBufferFrames) /
                   pSoundStream->dfRate;
    return ControlValues::RoundHalfAwayNonNegative(seconds * 1000.0);
}
}

namespace PlaybackControl
{
bool IsBusy()
{
    return g_bInProgress || IsPlaying();
}

void Start(SControlPanel& panel)
{
    if (g_bInProgress || IsPlaying())
        return;
    const CInProgressScope inProgress;
    if (!ReplaceStreamBuffer())
    {
        ShowError(panel, L"Failed in initializing the sound buffer.");
        CleanUpFailedStart();
        return;
    }
    if (!ReplaceSynthesizerWorker())
    {
        ShowError(panel, L"Failed in creating an instance for the synthesizer thread.");
        CleanUpFailedStart();
        return;
    }
    const RateSearchResult search = FindAnyRate(panel, ReadChoices(panel));
    if (search != RateSearchResult::Found)
    {
        if (search == RateSearchResult::HeldByAnotherProgram)
            ShowError(panel, L"The audio output device is in use by another program.");
        else
            ShowError(panel, L"出力先のオーディオデバイスを初期化できませんでした。", L"エラー");
        CleanUpFailedStart();
        return;
    }
    if (!StartThreads(panel))
    {
        CleanUpFailedStart();
        ShowChoicesAgain(panel);
        return;
    }
    panel.ShowIdle(false);
}

bool Stop()
{
    if (g_bInProgress || !IsPlaying())
        return false;
    const CInProgressScope inProgress;
    StopSynthesizer();
    if (pSoundBuffer != nullptr)
    {
        Sleep(static_cast<DWORD>(DrainMilliseconds() + kExtraDrainMs));
        pSoundBuffer->RequestStop();
    }
    CloseDevice();
    return true;
}

bool StopAndShowIdle(SControlPanel& panel)
{
    if (!Stop())
        return false;
    ShowChoicesAgain(panel);
    panel.ShowIdle(true);
    return true;
}

bool StopIfDeviceEnded(SControlPanel& panel)
{
    uint32_t ended = 0;
    if (g_bInProgress || !IsPlaying() || pSoundStream->IsTerminated(&ended) != 1 || ended == 0)
        return false;
    if (!StopAndShowIdle(panel))
        return false;
    // A Play arriving while the box is up waits for the user's answer like everything else.
    const CInProgressScope inProgress;
    ShowError(panel, L"The audio output device stopped working.");
    return true;
}

int32_t AttemptFormat(SControlPanel& panel, uint32_t rate, int32_t deviceIndex)
{
    if (pSoundBuffer == nullptr)
    {
        ShowError(panel, L"Failed in initializing the sound buffer.");
        return -3;
    }
    double period = kBlockPeriod;
    const int32_t status = pSoundBuffer->Initialize(rate, &period);
    if (status < 0)
    {
        ShowError(panel, L"Failed in initializing the sound buffer.");
        return status;
    }
    if (pSoundBuffer->LimitCapacity(static_cast<uint64_t>(rate * kQueueLimitPeriod)) < 0)
    {
        ShowError(panel, L"Failed in limiting the buffer size.");
        return -1;
    }
    const uint64_t blockFrames = pSoundBuffer->GetBlockFrames();
    if (blockFrames == 0)
    {
        ShowError(panel, L"Failed in setting buffer size.");
        return -4;
    }
    SetRampGlideLength(blockFrames);
    if (pSoundStream->uiState != 0)
    {
        ShowError(panel, L"Failed in setting buffer size.");
        return -1;
    }
    pSoundStream->uiPacketFrames = blockFrames;
    const int32_t packetStatus = ReplacePacketBuffer(blockFrames);
    if (packetStatus < 0)
        return packetStatus;
    pSoundStream->uiMaxBitCount = uiMaxEffectiveBits;
    pSoundStream->bResolutionEnhancer = bEnableResolutionEnhancer;
    double devicePeriod = 0.0;
    return pSoundStream->OpenRenderDevice(rate, &devicePeriod, DeviceList::EndpointId(deviceIndex));
}

int32_t SearchRate(SControlPanel& panel, int32_t deviceIndex, uint32_t shared, uint32_t upward, uint32_t* row,
                   bool* inUse)
{
    if (pSoundStream->uiState == 0)
        pSoundStream->bSharedMode = shared;
    const int32_t step = upward != 0 ? -1 : 1;
    for (int32_t candidate = static_cast<int32_t>(uiRateIndex);
         candidate >= 0 && candidate < static_cast<int32_t>(RateTable::kRowCount); candidate += step)
    {
        const uint32_t visited = static_cast<uint32_t>(candidate);
        if (AttemptFormat(panel, RateTable::WholeHertz(visited), deviceIndex) >= 0)
        {
            dfSamplingRate = RateTable::Hertz(visited);
            panel.ShowRateEntry(RateTable::EntryOfRow(visited));
            // Below the chosen maximum, a carrier above the accepted rate's Nyquist frequency
            // would play folded down.
            CarrierRange::ApplyRate(panel, dfSamplingRate);
            if (row != nullptr)
                *row = visited;
            return 1;
        }
        if (inUse != nullptr && pSoundStream->LastFailure.hr == AUDCLNT_E_DEVICE_IN_USE)
            *inUse = true;
    }
    return 0;
}
}
