// Device activation and format negotiation of CSoundStreamWASAPI.
#include "device/CSoundStreamWASAPI.h"

#include "device/AudioEndpoint.h"
#include "device/ComHolder.h"
#include "device/PcmFormat.h"
#include "runtime/Status.h"
#include "stream/ChannelCount.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <limits>
#include <new>
#include <utility>

struct CSoundStreamWASAPI::OpenedEndpoint
{
    CComHolder<IMMDevice> Device;
    CComHolder<IAudioClient> AudioClient;
    CComHolder<IAudioRenderClient> AudioRenderClient;
    PcmDepth Depth{};
    uint32_t uiResolvedBits = 0;
    UINT32 bufferFrames = 0;
    bool bEventDriven = false;
};

namespace
{
// Deepest first. A 32-bit container with 24 valid bits comes before packed 24 bits: many
// exclusive-mode drivers (USB DACs, HD-audio codecs) take only that of the two.
constexpr PcmDepth kDepths[] = {{32, 32}, {32, 24}, {24, 24}, {16, 16}};
constexpr DWORD kRateConversionFlags = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;

// The buffer duration to ask for, in 100 ns units. A requested duration of 0 takes the default
// device period; any other is cut to whole frames (and *duration with it) and raised to at
// least the minimum device period.
REFERENCE_TIME BufferDuration(uint32_t rate, double* duration, REFERENCE_TIME defaultPeriod,
                              REFERENCE_TIME minimumPeriod)
{
    if (*duration == 0.0)
        return defaultPeriod;
    const double product = rate * *duration;
    const double maxFrames = std::numeric_limits<uint32_t>::max();
    const uint32_t frames = !(product > 0.0)       ? 0
                            : product >= maxFrames ? std::numeric_limits<uint32_t>::max()
                                                   : static_cast<uint32_t>(std::floor(product));
    *duration = static_cast<double>(frames) / rate;
    const auto hns = static_cast<REFERENCE_TIME>(static_cast<double>(frames) / rate * 1000.0 * 1000.0 * 1000.0 / 100.0);
    return std::max(hns, minimumPeriod);
}

// Shared mode: any non-negative answer accepts, S_FALSE included; the closest match offered
// with it is not used.
HRESULT QueryFormat(IAudioClient* client, const WAVEFORMATEX* format, bool shared)
{
    if (!shared)
        return client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, format, nullptr);
    CCoTaskMemHolder<WAVEFORMATEX> closest;
    return client->IsFormatSupported(AUDCLNT_SHAREMODE_SHARED, format, closest.Put());
}

// The deepest layout the endpoint takes at rate: true with it in *depth, or false with the
// last refusal in *refusal when it takes none.
bool FindDepth(IAudioClient* client, uint32_t rate, bool shared, PcmDepth* depth, HRESULT* refusal)
{
    for (const PcmDepth candidate : kDepths)
    {
        const WAVEFORMATEXTENSIBLE format = MakeStereoPcmFormat(rate, candidate);
        *refusal = QueryFormat(client, &format.Format, shared);
        if (SUCCEEDED(*refusal))
        {
            *depth = candidate;
            return true;
        }
    }
    return false;
}

// The bits the device resolves. In shared mode Windows mixes in floating point and converts
// the mix to the engine's device format: when that is integer PCM, it holds no more bits than
// its valid ones, and a signal already on that grid passes the final conversion unchanged.
uint32_t ResolvedBits(uint32_t validBits, uint32_t engineDeviceBits)
{
    return engineDeviceBits != 0 ? std::min(validBits, engineDeviceBits) : validBits;
}

// The period of an exclusive-mode buffer of `frames` frames, rounded to the nearest 100 ns.
REFERENCE_TIME AlignedPeriod(uint32_t rate, UINT32 frames)
{
    return static_cast<REFERENCE_TIME>(10000.0 * 1000 / rate * frames + 0.5);
}

// What was opened, once per open, in the debugger's output: the mode, rate, layout and buffer
// decide what reaches the device, and a tester reads them back from there.
void TraceOpenedStream(bool shared, uint32_t rate, PcmDepth depth, UINT32 bufferFrames)
{
    wchar_t line[160];
    std::swprintf(
        line, sizeof line / sizeof line[0],
        L"Corvane WASAPI: opened %ls mode, %lu Hz, %lu-bit container with %lu valid bits, buffer %lu frames\n",
        shared ? L"shared" : L"exclusive", static_cast<unsigned long>(rate),
        static_cast<unsigned long>(depth.uiContainerBits), static_cast<unsigned long>(depth.uiValidBits),
        static_cast<unsigned long>(bufferFrames));
    OutputDebugStringW(line);
}

// Conversion is asked for only at the endpoint's mix rate, where it converts channels and
// sample format alone. At any other rate the shared engine would resample, and the endpoint
// would play a rate other than the one the program shows and generates for; refused there,
// the rate search goes on down to the rate the engine really runs at.
HRESULT SharedStreamFlags(IAudioClient* client, uint32_t rate, DWORD* flags)
{
    CCoTaskMemHolder<WAVEFORMATEX> mix;
    HRESULT hr = client->GetMixFormat(mix.Put());
    hr = ResultWithObject(hr, mix.Get());
    if (FAILED(hr))
        return hr;
    *flags = AUDCLNT_STREAMFLAGS_NOPERSIST | (mix.Get()->nSamplesPerSec == rate ? kRateConversionFlags : 0);
    return S_OK;
}
}

int32_t CSoundStreamWASAPI::OpenRenderDevice(uint32_t rate, double* duration, const wchar_t* deviceId)
{
    Close();
    LastFailure.Clear();
    if (duration == nullptr || !IsStereoPcmRateRepresentable(rate))
        return kStatusInvalidArgument;
    OpenedEndpoint opened;
    const int32_t status = NegotiateAndInitialize(rate, duration, deviceId, opened);
    if (status != kStatusSuccess)
    {
        Close();
        return status;
    }
    pAudioRenderClient = std::move(opened.AudioRenderClient);
    *duration = static_cast<double>(opened.bufferFrames) / rate;
    pDevice = std::move(opened.Device);
    pAudioClient = std::move(opened.AudioClient);
    bEventDriven = opened.bEventDriven ? 1 : 0;
    uiRenderChannelCount = kChannels;
    dfRate = rate;
    uiBitCount = opened.Depth.uiContainerBits;
    uiResolvedBitCount = opened.uiResolvedBits;
    uiState = 1;
    TraceOpenedStream(bSharedMode != 0, rate, opened.Depth, opened.bufferFrames);
    return kStatusSuccess;
}

int32_t CSoundStreamWASAPI::NegotiateAndInitialize(uint32_t rate, double* duration, const wchar_t* deviceId,
                                                   OpenedEndpoint& opened)
{
    if (GetAudioEndpoint(deviceId, opened.Device.Put(), &LastFailure) != kStatusSuccess ||
        ActivateClient(opened) != kStatusSuccess)
        return kStatusFailure;
    REFERENCE_TIME defaultPeriod = 0;
    REFERENCE_TIME minimumPeriod = 0;
    HRESULT hr = opened.AudioClient->GetDevicePeriod(&defaultPeriod, &minimumPeriod);
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IAudioClient::GetDevicePeriod");
    const REFERENCE_TIME hns = BufferDuration(rate, duration, defaultPeriod, minimumPeriod);

    if (!FindDepth(opened.AudioClient.Get(), rate, bSharedMode != 0, &opened.Depth, &hr))
        return LastFailure.Record(hr, L"IAudioClient::IsFormatSupported");
    DWORD flags = AUDCLNT_STREAMFLAGS_NOPERSIST;
    hr = bSharedMode != 0 ? SharedStreamFlags(opened.AudioClient.Get(), rate, &flags) : S_OK;
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IAudioClient::GetMixFormat");
    const WAVEFORMATEXTENSIBLE format = MakeStereoPcmFormat(rate, opened.Depth);
    if (InitializeAligned(&format.Format, hns, flags, opened) != kStatusSuccess)
        return kStatusFailure;
    hr = opened.AudioClient->GetBufferSize(&opened.bufferFrames);
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IAudioClient::GetBufferSize");
    if (uiPacketFrames == 0)
        uiPacketFrames = opened.bufferFrames;
    const int32_t status = SetUpBuffers(opened.bufferFrames);
    if (status != kStatusSuccess)
        return status;
    hr = opened.AudioClient->GetService(__uuidof(IAudioRenderClient), opened.AudioRenderClient.PutVoid());
    hr = ResultWithObject(hr, opened.AudioRenderClient.Get());
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IAudioClient::GetService");
    opened.uiResolvedBits =
        ResolvedBits(opened.Depth.uiValidBits, bSharedMode != 0 ? ReadEngineDeviceBits(opened.Device.Get()) : 0);
    const uint32_t resolved = opened.uiResolvedBits;
    const uint32_t effectiveBits = uiMaxBitCount == 0 ? resolved : std::min(uiMaxBitCount, resolved);
    return Quantizer.Initialize(effectiveBits, opened.Depth.uiContainerBits, static_cast<int32_t>(bResolutionEnhancer));
}

// Every client is activated here, the alignment retry's fresh one included, so a shared
// client asks for raw processing before its format is queried and before it is initialised.
int32_t CSoundStreamWASAPI::ActivateClient(OpenedEndpoint& opened)
{
    HRESULT hr =
        opened.Device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr, opened.AudioClient.PutVoid());
    hr = ResultWithObject(hr, opened.AudioClient.Get());
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IMMDevice::Activate");
    if (bSharedMode != 0)
        RequestRawProcessing(opened.AudioClient.Get());
    return kStatusSuccess;
}

// A shared stream passes the endpoint's effects (equalisers, loudness, spatial sound) unless it
// asks for raw processing. Exclusive streams bypass the engine and its effects, so they do not
// ask. Where Windows has no IAudioClient2 (before Windows 8) or the endpoint no raw mode
// (AUDCLNT_E_RAW_MODE_UNSUPPORTED), the stream plays without it; the refusal is only traced.
void CSoundStreamWASAPI::RequestRawProcessing(IAudioClient* client)
{
    CComHolder<IAudioClient2> client2;
    HRESULT hr = client->QueryInterface(__uuidof(IAudioClient2), client2.PutVoid());
    hr = ResultWithObject(hr, client2.Get());
    if (FAILED(hr))
    {
        LastFailure.Record(hr, L"IAudioClient::QueryInterface(IAudioClient2)");
        return;
    }
    AudioClientProperties properties{};
    properties.cbSize = sizeof properties;
    properties.bIsOffload = FALSE;
    properties.eCategory = AudioCategory_Other;
    properties.Options = AUDCLNT_STREAMOPTIONS_RAW;
    hr = client2->SetClientProperties(&properties);
    if (FAILED(hr))
        LastFailure.Record(hr, L"IAudioClient2::SetClientProperties");
}

// Exclusive mode may refuse a buffer whose size does not suit the endpoint's alignment. The
// refused client then reports the next aligned size; as the platform documentation prescribes,
// it is released and a fresh client from the same device is initialised with that size's period.
int32_t CSoundStreamWASAPI::InitializeAligned(const WAVEFORMATEX* format, REFERENCE_TIME hns, DWORD flags,
                                              OpenedEndpoint& opened)
{
    HRESULT hr = InitializeClient(opened.AudioClient.Get(), format, hns, flags, opened);
    if (hr != AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED)
        return SUCCEEDED(hr) ? kStatusSuccess : kStatusFailure;
    UINT32 alignedFrames = 0;
    hr = opened.AudioClient->GetBufferSize(&alignedFrames);
    if (FAILED(hr))
        return LastFailure.Record(hr, L"IAudioClient::GetBufferSize");
    opened.AudioClient.Reset();
    if (ActivateClient(opened) != kStatusSuccess)
        return kStatusFailure;
    hr = InitializeClient(opened.AudioClient.Get(), format, AlignedPeriod(format->nSamplesPerSec, alignedFrames), flags,
                          opened);
    return SUCCEEDED(hr) ? kStatusSuccess : kStatusFailure;
}

// Shared mode passes no periodicity. Every refusal is recorded; an unaligned buffer ends the
// attempt on this client, which the platform does not let initialise again.
HRESULT CSoundStreamWASAPI::InitializeClient(IAudioClient* client, const WAVEFORMATEX* format, REFERENCE_TIME hns,
                                             DWORD flags, OpenedEndpoint& opened)
{
    const bool shared = bSharedMode != 0;
    const AUDCLNT_SHAREMODE mode = shared ? AUDCLNT_SHAREMODE_SHARED : AUDCLNT_SHAREMODE_EXCLUSIVE;
    const REFERENCE_TIME periodicity = shared ? 0 : hns;
    opened.bEventDriven = false;
    if (bTimerDriven == 0)
    {
        HRESULT hr =
            client->Initialize(mode, flags | AUDCLNT_STREAMFLAGS_EVENTCALLBACK, hns, periodicity, format, nullptr);
        if (SUCCEEDED(hr))
        {
            hr = BufferEvent.Create(false) == kStatusSuccess ? client->SetEventHandle(BufferEvent.hEvent) : E_FAIL;
            opened.bEventDriven = SUCCEEDED(hr);
            if (FAILED(hr))
                LastFailure.Record(hr, L"IAudioClient::SetEventHandle");
            return hr;
        }
        LastFailure.Record(hr, L"IAudioClient::Initialize");
        if (hr == AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED)
            return hr;
    }
    const HRESULT hr = client->Initialize(mode, flags, hns, periodicity, format, nullptr);
    if (FAILED(hr))
        LastFailure.Record(hr, L"IAudioClient::Initialize");
    return hr;
}

// The packet handed to the buffer callback, the byte ring between packets and endpoint
// periods, and the device thread's work buffer, all sized from the endpoint buffer.
int32_t CSoundStreamWASAPI::SetUpBuffers(UINT32 bufferFrames)
{
    FreePacket();
    const uint64_t packetFrames = uiPacketFrames;
    if (packetFrames == 0)
        return kStatusInvalidArgument;
    const uint64_t frameBytes = kChannels * sizeof(double);
    if (packetFrames > std::numeric_limits<uint64_t>::max() / frameBytes)
        return kStatusOverflow;
    double* samples = new (std::nothrow) double[packetFrames * kChannels]();
    if (samples == nullptr)
        return kStatusNotCreated;
    SoundStreamBuffer.pdfSamples = samples;
    SoundStreamBuffer.pOwner = this;
    SoundStreamBuffer.uiKind = SoundStreamPacketRender;
    SoundStreamBuffer.uiChannelCount = kChannels;
    SoundStreamBuffer.uiCapacity = packetFrames;

    const int32_t status = DataBuffer.Allocate(uint64_t{bufferFrames} * frameBytes, packetFrames * frameBytes);
    if (status < 0)
        return status;
    const uint64_t localFrames = std::max<uint64_t>(packetFrames, bufferFrames);
    pdfLocalBuffer = new (std::nothrow) double[localFrames * kChannels]();
    if (pdfLocalBuffer == nullptr)
        return kStatusNotCreated;
    LocalBufferSize = localFrames * kChannels;
    uiDeviceBufferFrames = bufferFrames;
    return kStatusSuccess;
}
