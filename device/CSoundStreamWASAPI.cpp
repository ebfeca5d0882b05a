#include "device/CSoundStreamWASAPI.h"

#include "device/RenderThreadInputs.h"
#include "device/RenderThreadProc.h"
#include "runtime/Status.h"

namespace
{
uint64_t AddressOf(const void* pointer)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}
}

CSoundStreamWASAPI::CSoundStreamWASAPI()
{
    BufferEvent.Create(false);
    TerminationEvent.Create(false);
    // Balanced in the destructor only when it succeeded: a thread already in another
    // apartment keeps its own initialisation.
    m_bComInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

CSoundStreamWASAPI::~CSoundStreamWASAPI()
{
    Close();
    if (m_bComInitialized)
        CoUninitialize();
    DataBuffer.Free();
    TerminationEvent.Close();
    BufferEvent.Close();
}

int32_t CSoundStreamWASAPI::StartCapture(BufferCallback, void*)
{
    return kStatusFailure;
}

int32_t CSoundStreamWASAPI::StartRender(BufferCallback callback, void* userParameter)
{
    if (uiState != 1 || WorkerThread.GetState() >= CWorkerThread::Running)
        return kStatusFailure;
    if (callback == nullptr)
        return kStatusInvalidArgument;
    if (TerminationEvent.Create(true) != kStatusSuccess)
        return kStatusFailure;
    RenderFailure.Clear();
    int32_t status = LoadSilence();
    if (status < 0)
        return status;
    status = PublishRenderParameters(WorkerThread, callback, userParameter);
    if (status < 0)
        return status;
    status = WorkerThread.Prepare(1);
    if (status < 0)
        return status;
    status = WorkerThread.SetTimeCritical();
    if (status < 0)
        return status;
    return WorkerThread.Start(RenderThreadProc);
}

// The client is loaded before it starts, as the platform asks of a render stream so that it does
// not start with a glitch: with a buffer of silence. The device thread then tops up only what
// the device has played, at the real rate. Left empty, the buffer would be asked for whole by the
// thread's first pass (Wine's exclusive buffer, more on some devices), far more than the stream
// buffer holds at the start, and the sound would break off a few blocks in.
int32_t CSoundStreamWASAPI::LoadSilence()
{
    UINT32 frames = 0;
    HRESULT hr = pAudioClient->GetBufferSize(&frames);
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IAudioClient::GetBufferSize");
    BYTE* data = nullptr;
    hr = pAudioRenderClient->GetBuffer(frames, &data);
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IAudioRenderClient::GetBuffer");
    hr = pAudioRenderClient->ReleaseBuffer(frames, AUDCLNT_BUFFERFLAGS_SILENT);
    return SUCCEEDED(hr) ? kStatusSuccess : LastFailure.Record(hr, L"IAudioRenderClient::ReleaseBuffer");
}

int32_t CSoundStreamWASAPI::PublishRenderParameters(CWorkerThread& worker, BufferCallback callback, void* userParameter)
{
    using namespace RenderThreadInput;
    const struct
    {
        const wchar_t* pszName;
        uint64_t uiValue;
    } parameters[] = {
        {kAudioClient, AddressOf(pAudioClient.Get())},
        {kAudioRenderClient, AddressOf(pAudioRenderClient.Get())},
        {kChannelCount, AddressOf(&uiRenderChannelCount)},
        {kBitCount, AddressOf(&uiBitCount)},
        {kBufferCallbackFunction, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(callback))},
        {kUserParameter, AddressOf(userParameter)},
        {kTerminationEvent, AddressOf(&TerminationEvent)},
        {kEventDriven, AddressOf(&bEventDriven)},
        {kBufferEvent, AddressOf(&BufferEvent)},
        {kSoundStreamBuffer, AddressOf(&SoundStreamBuffer)},
        {kDataBuffer, AddressOf(&DataBuffer)},
        {kMultimediaTimer, AddressOf(&MultimediaTimer)},
        {kLocalBuffer, AddressOf(pdfLocalBuffer)},
        {kLocalBufferSize, AddressOf(&LocalBufferSize)},
        {kQuantizer, AddressOf(&Quantizer)},
        {kRenderFailure, AddressOf(&RenderFailure)},
    };
    int32_t status = kStatusFailure;
    for (const auto& parameter : parameters)
    {
        status = worker.SetParameter(parameter.pszName, parameter.uiValue);
        if (status < 0)
            return status;
    }
    return status;
}

int32_t CSoundStreamWASAPI::Start()
{
    if (uiState == 0 || !pAudioClient || FAILED(pAudioClient->Start()))
        return kStatusFailure;
    bStarted = 1;
    return kStatusSuccess;
}

int32_t CSoundStreamWASAPI::Stop()
{
    if (uiState == 0)
        return kStatusFailure;
    TerminationEvent.Set();
    if (pAudioClient)
        pAudioClient->Stop();
    WorkerThread.Join();
    WorkerThread.Release();
    Close();
    bStarted = 0;
    return kStatusSuccess;
}

int32_t CSoundStreamWASAPI::IsTerminated(uint32_t* out)
{
    if (bStarted == 0)
        return kStatusFailure;
    if (out == nullptr)
        return kStatusInvalidArgument;
    *out = WorkerThread.GetTerminationEvent()->IsSignaled() ? 1 : 0;
    return kStatusSuccess;
}

int32_t CSoundStreamWASAPI::Close()
{
    EndDeviceThread();
    uiBitCount = 0;
    uiResolvedBitCount = 0;
    uiCaptureChannelCount = 0;
    uiRenderChannelCount = 0;
    dfRate = 0.0;
    delete[] pdfLocalBuffer;
    pdfLocalBuffer = nullptr;
    LocalBufferSize = 0;
    FreePacket();
    DataBuffer.Free();
    pAudioCaptureClient.Reset();
    pAudioRenderClient.Reset();
    pAudioClient.Reset();
    pDevice.Reset();
    TerminationEvent.Close();
    bEventDriven = 0;
    BufferEvent.Close();
    uiState = 0;
    return kStatusSuccess;
}

void CSoundStreamWASAPI::EndDeviceThread()
{
    TerminationEvent.Set();
    WorkerThread.Join();
    WorkerThread.Release();
}

void CSoundStreamWASAPI::FreePacket()
{
    delete[] SoundStreamBuffer.pdfSamples;
    SoundStreamBuffer = SoundStreamPacket{};
}
