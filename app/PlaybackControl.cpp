#include "app/PlaybackControl.h"

#include "app/CarrierRange.h"
#include "app/ControlValues.h"
#include "app/EngineObjects.h"
#include "app/ProcessState.h"
#include "app/RateSearch.h"
#include "app/RateTable.h"
#include "app/SControlPanel.h"
#include "device/CSoundStreamWASAPI.h"
#include "runtime/CWorkerThread.h"
#include "runtime/MessageBoxSeam.h"
#include "runtime/Status.h"
#include "stream/BufferCallbackFunction.h"
#include "stream/CSoundStreamBuffer.h"
#include "stream/ChannelCount.h"
#include "synth/SynthesizerInputs.h"
#include "synth/SynthesizerThreadProc.h"

namespace
{
// 1.5 blocks per write: the synthesizer wakes less often than the device thread takes blocks.
constexpr double kSynthesizerWritePeriod = 0.015;
// Lets the synthesizer queue sound before the device thread first reads.
constexpr DWORD kDeviceStartDelayMs = 10;
// Margin over the computed drain for the device's own delay, so that the stop's fade is heard.
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

int32_t StartSynthesizer()
{
    uiBufferSizeToWrite = static_cast<uint64_t>(dfSamplingRate * kSynthesizerWritePeriod);
    int32_t status =
        PublishSynthesizerInputs(*pSynthesizerThread, pSoundBuffer, pMultimediaTimer, &uiBufferSizeToWrite);
    if (status >= 0)
        status = pSynthesizerThread->AllocateMultichannelBuffer(uiBufferSizeToWrite * kBytesPerFrame);
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

// The rate list shows row, and the carrier fits dfSamplingRate, its rate: below the chosen
// maximum, a carrier above the rate's Nyquist frequency would play folded down.
void ShowRate(SControlPanel& panel, uint32_t row)
{
    panel.ShowRateEntry(RateTable::EntryOfRow(row));
    CarrierRange::ApplyRate(panel, dfSamplingRate);
}

// After a stop, or a start that fails after the rate search, the displays go back from the
// device in use to the user's choices: the chosen maximum rate and the carrier range it allows,
// no device bits, the effective bits. Runs once the synthesizer has been joined (it reads
// dfSamplingRate).
void ShowChoicesAgain(SControlPanel& panel)
{
    dfSamplingRate = RateTable::Hertz(uiRateIndex);
    ShowRate(panel, uiRateIndex);
    panel.ShowDeviceBits(0);
    panel.SetBitsText(uiMaxEffectiveBits);
}

// The box for an attempt that failed before the device was asked.
const wchar_t* SetupMessage(RateSearch::SetupFailure failure)
{
    switch (failure)
    {
    case RateSearch::SetupFailure::SoundBuffer:
        return L"Failed in initializing the sound buffer.";
    case RateSearch::SetupFailure::BufferLimit:
        return L"Failed in limiting the buffer size.";
    case RateSearch::SetupFailure::BufferSize:
        break;
    }
    return L"Failed in setting buffer size.";
}

// Opens the device at a rate it accepts and shows the rate, after telling the user of every
// attempt that failed before the device was asked; false once a failure was shown.
bool FindRate(SControlPanel& panel, int32_t deviceIndex)
{
    const RateSearch::Result search = RateSearch::FindAnyRate(deviceIndex);
    for (uint32_t i = 0; i < search.uiFailureCount; ++i)
        ShowError(panel, SetupMessage(search.Failures[i]));
    if (search.Verdict == RateSearch::Outcome::HeldByAnotherProgram)
        ShowError(panel, L"The audio output device is in use by another program.");
    else if (search.Verdict == RateSearch::Outcome::Refused)
        ShowError(panel, L"出力先のオーディオデバイスを初期化できませんでした。", L"エラー");
    else
        ShowRate(panel, search.uiRow);
    return search.Verdict == RateSearch::Outcome::Found;
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
    if (!FindRate(panel, ReadChoices(panel)))
    {
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
    if (g_bInProgress || !IsPlaying() || pSoundStream->IsTerminated(&ended) != kStatusSuccess || ended == 0)
        return false;
    if (!StopAndShowIdle(panel))
        return false;
    // A Play arriving while the box is up waits for the user's answer like everything else.
    const CInProgressScope inProgress;
    ShowError(panel, L"The audio output device stopped working.");
    return true;
}
}
