#include "device/RenderThreadProc.h"

#include "device/DeviceFailure.h"
#include "device/RenderThreadInputs.h"
#include "device/SSoundStream.h"
#include "runtime/CByteRing.h"
#include "runtime/CEventHandle.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CWorkerInputReader.h"
#include "runtime/Status.h"
#include "stream/CQuantizer.h"
#include "stream/ChannelCount.h"
#include "stream/SoundStreamPacket.h"

#include <windows.h>
#include <audioclient.h>

#include <algorithm>
#include <cstring>

namespace
{
// The quantizer converts interleaved stereo only.
constexpr uint64_t kFrameBytes = kChannels * sizeof(double);
// Why the thread ends when the buffer callback reports that the data source has ended.
const HRESULT kSourceEnded = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);

struct RenderInputs
{
    IAudioClient* pAudioClient = nullptr;
    IAudioRenderClient* pAudioRenderClient = nullptr;
    uint64_t channels = 0;
    BufferCallback pfnCallback = nullptr;
    void* pUserParameter = nullptr;
    CEventHandle* pTerminationEvent = nullptr;
    uint32_t bEventDriven = 0;
    CEventHandle* pBufferEvent = nullptr;
    SoundStreamPacket* pPacket = nullptr;
    CByteRing* pDataBuffer = nullptr;
    CMultimediaTimer* pTimer = nullptr;
    double* pdfLocalBuffer = nullptr;
    uint64_t localSize = 0;
    CQuantizer* pQuantizer = nullptr;
    DeviceFailure* pFailure = nullptr;
    UINT32 bufferFrames = 0;
};

// How a pass obtained the frames it renders.
enum class Gathered
{
    Complete,   // all frames came from the byte ring
    Terminated, // the stream is ending: what was stored, then silence
    Last        // the data source or the ring failed: what was stored, then silence; then end
};

// Every input must be present and every address set; the user parameter is opaque and may be
// null. The failure record comes first, so that any other missing input can be recorded in it.
bool ReadInputs(CWorkerInputReader& reader, RenderInputs& in)
{
    using namespace RenderThreadInput;
    uint64_t user = 0;
    // The quantizer already writes samples this wide: the count is only required.
    const uint32_t* bitCount = nullptr;
    const bool read =
        reader.Address(kRenderFailure, &in.pFailure) && reader.Address(kAudioClient, &in.pAudioClient) &&
        reader.Address(kAudioRenderClient, &in.pAudioRenderClient) && reader.Copy(kChannelCount, &in.channels) &&
        reader.Address(kBitCount, &bitCount) && reader.Address(kBufferCallbackFunction, &in.pfnCallback) &&
        reader.Value(kUserParameter, &user) && reader.Address(kTerminationEvent, &in.pTerminationEvent) &&
        reader.Copy(kEventDriven, &in.bEventDriven) && reader.Address(kBufferEvent, &in.pBufferEvent) &&
        reader.Address(kSoundStreamBuffer, &in.pPacket) && reader.Address(kDataBuffer, &in.pDataBuffer) &&
        reader.Address(kMultimediaTimer, &in.pTimer) && reader.Address(kLocalBuffer, &in.pdfLocalBuffer) &&
        reader.Copy(kLocalBufferSize, &in.localSize) && reader.Address(kQuantizer, &in.pQuantizer);
    in.pUserParameter = reinterpret_cast<void*>(static_cast<uintptr_t>(user));
    return read && (in.channels == kChannels || reader.Refuse(kChannelCount));
}

// Waits for the next wake-up; true when the stream is to end.
bool WaitForWakeUp(const RenderInputs& in, const HANDLE (&handles)[2])
{
    if (in.bEventDriven != 0)
        return WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
    in.pTimer->WaitOneMillisecond();
    return in.pTerminationEvent->IsSignaled();
}

// Fills the first `bytes` bytes of the local buffer with what the ring holds (whole frames,
// oldest first) followed by silence, so that an incomplete pass never renders stale samples.
void TakeRemainderThenSilence(const RenderInputs& in, uint64_t bytes)
{
    auto* local = reinterpret_cast<uint8_t*>(in.pdfLocalBuffer);
    const uint64_t held = std::min(in.pDataBuffer->GetFill(), bytes) / kFrameBytes * kFrameBytes;
    if (held == 0 || in.pDataBuffer->Read(local, held) != kStatusSuccess)
        std::memset(local, 0, bytes);
    else
        std::memset(local + held, 0, bytes - held);
}

// Notes why the thread is about to end (traced once it has ended, outside the real-time loop).
bool Ends(DeviceFailure& reason, HRESULT hr, const wchar_t* site)
{
    reason.hr = hr;
    reason.pszSite = site;
    return false;
}

// Asks the callback for one packet and appends its valid frames to the ring: false when the
// data source has ended or the packet or the ring cannot be used.
bool AppendPacket(const RenderInputs& in, DeviceFailure& reason)
{
    if (in.pfnCallback(in.pPacket, in.pUserParameter) == 0)
        return Ends(reason, kSourceEnded, RenderThreadInput::kBufferCallbackFunction);
    const SoundStreamPacket& packet = *in.pPacket;
    if (packet.uiKind != SoundStreamPacketRender || packet.uiChannelCount != in.channels ||
        packet.pdfSamples == nullptr)
        return Ends(reason, E_UNEXPECTED, L"SoundStreamPacket");
    const uint64_t frames = std::min({packet.uiValidFrames, packet.uiCapacity, in.localSize / in.channels});
    const uint64_t bytes = frames * kFrameBytes;
    std::memcpy(in.pdfLocalBuffer, packet.pdfSamples, static_cast<size_t>(bytes));
    return in.pDataBuffer->Write(reinterpret_cast<const uint8_t*>(in.pdfLocalBuffer), bytes) >= 0 ||
           Ends(reason, E_FAIL, L"CByteRing::Write");
}

// Puts `need` bytes of frames at the front of the local buffer, refilling the ring from the
// callback, one packet at a time, while it holds too few.
Gathered GatherFrames(const RenderInputs& in, uint64_t need, DeviceFailure& reason)
{
    auto* local = reinterpret_cast<uint8_t*>(in.pdfLocalBuffer);
    for (;;)
    {
        const int32_t status = in.pDataBuffer->Read(local, need);
        if (status == kStatusSuccess)
            return Gathered::Complete;
        if (status < 0)
            Ends(reason, E_FAIL, L"CByteRing::Read");
        if (status < 0 || !AppendPacket(in, reason))
        {
            TakeRemainderThenSilence(in, need);
            return Gathered::Last;
        }
        if (in.pTerminationEvent->IsSignaled())
        {
            TakeRemainderThenSilence(in, need);
            return Gathered::Terminated;
        }
    }
}

bool RenderFrames(const RenderInputs& in, UINT32 frames, DeviceFailure& reason)
{
    BYTE* data = nullptr;
    HRESULT hr = in.pAudioRenderClient->GetBuffer(frames, &data);
    if (FAILED(hr))
        return Ends(reason, hr, L"IAudioRenderClient::GetBuffer");
    in.pQuantizer->Convert(in.pdfLocalBuffer, frames, data);
    hr = in.pAudioRenderClient->ReleaseBuffer(frames, 0);
    return SUCCEEDED(hr) || Ends(reason, hr, L"IAudioRenderClient::ReleaseBuffer");
}

int64_t RunPasses(const RenderInputs& in, DeviceFailure& reason)
{
    const HANDLE handles[2] = {in.pTerminationEvent->hEvent, in.pBufferEvent->hEvent};
    for (;;)
    {
        if (WaitForWakeUp(in, handles))
            return 1;
        // Real-time span, from GetCurrentPadding to ReleaseBuffer: the endpoint drains while it
        // runs, so nothing in it may wait, poll a handle (termination is a flag read),
        // allocate, or take a lock another thread holds across a copy.
        UINT32 queued = 0;
        const HRESULT hr = in.pAudioClient->GetCurrentPadding(&queued);
        if (FAILED(hr))
        {
            Ends(reason, hr, L"IAudioClient::GetCurrentPadding");
            return 0;
        }
        if (queued >= in.bufferFrames)
            continue;
        const UINT32 frames = in.bufferFrames - queued;
        const Gathered gathered = GatherFrames(in, frames * kFrameBytes, reason);
        if (!RenderFrames(in, frames, reason) || gathered == Gathered::Last)
            return 0;
    }
}

int64_t RenderUntilEnd(RenderInputs& in, DeviceFailure& reason)
{
    const HRESULT hr = in.pAudioClient->GetBufferSize(&in.bufferFrames);
    if (FAILED(hr))
    {
        Ends(reason, hr, L"IAudioClient::GetBufferSize");
        return 0;
    }
    // The local buffer must hold one endpoint buffer of frames.
    if (in.localSize / kChannels < in.bufferFrames)
    {
        Ends(reason, E_UNEXPECTED, RenderThreadInput::kLocalBufferSize);
        return 0;
    }
    return RunPasses(in, reason);
}

int64_t RenderOnThisThread(CWorkerThread& owner)
{
    RenderInputs in;
    CWorkerInputReader reader(owner);
    if (!ReadInputs(reader, in))
    {
        // Without its own record the failure is only traced.
        DeviceFailure untold;
        (in.pFailure != nullptr ? *in.pFailure : untold).RecordMissingInput(reader.Missing());
        return 0;
    }
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
    {
        in.pTerminationEvent->Set();
        in.pFailure->Record(hr, L"CoInitializeEx");
        return 0;
    }
    DeviceFailure reason;
    const int64_t result = RenderUntilEnd(in, reason);
    CoUninitialize();
    if (result == 0)
        in.pFailure->Record(reason.hr, reason.pszSite);
    return result;
}
}

int64_t RenderThreadProc(CWorkerContext* context)
{
    if (context == nullptr || context->pOwner == nullptr)
        return 0;
    const int64_t result = RenderOnThisThread(*context->pOwner);
    // Ended by itself (the device failed or the data source ended), not by the stream's
    // termination event: the worker's own event tells the stream's owner, which polls it.
    if (result != 1)
        context->pOwner->GetTerminationEvent()->Set();
    return result;
}
