// Device activation and format negotiation of CSoundStreamWASAPI.
#include "device/CSoundStreamWASAPI.h"

#include "device/AudioEndpoint.h"
#include "device/ComHolder.h"
#include "device/PcmFormat.h"
#include "stream/ChannelCount.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

struct CSoundStreamWASAPI::OpenedEndpoint
{
    CComHolder<IMMDevice> device;
    CComHolder<IAudioClient> client;
    CComHolder<IAudioRenderClient> renderClient;
    uint32_t bitCount = 0;
    UINT32 bufferFrames = 0;
    bool eventDriven = false;
};

namespace
{
constexpr uint32_t kBitCounts[] = {32, 24, 16};
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
    const uint32_t frames = !(product > 0.0) ? 0 : product >= maxFrames ? std::numeric_limits<uint32_t>::max()
                                                                          : static_cast<uint32_t>(std::floor(product));
    *duration = static_cast<double>(frames) / rate;
    const auto hns = static_cast<REFERENCE_TIME>(static_cast<double>(frames) / rate * 1000.0 * 1000.0 * 1000.0 / 100.0);
    return std::max(hns, minimumPeriod);
}

// Shared mode: any non-negative answer accepts, S_FALSE included; the closest match offered
// with it is not used.
bool IsFormatAccepted(IAudioClient* client, const WAVEFORMATEX* format, bool shared)
{
    if (!shared)
        return SUCCEEDED(client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, format, nullptr));
    CCoTaskMemHolder<WAVEFORMATEX> closest;
    return SUCCEEDED(client->IsFormatSupported(AUDCLNT_SHAREMODE_SHARED, format, closest.Put()));
}

// The deepest container the endpoint takes at rate: 32, 24 or 16, or 0 when it takes none.
uint32_t FindBitCount(IAudioClient* client, uint32_t rate, bool shared)
{
    for (const uint32_t bits : kBitCounts)
    {
        const WAVEFORMATEXTENSIBLE format = MakeStereoPcmFormat(rate, bits);
        if (IsFormatAccepted(client, &format.Format, shared))
            return bits;
    }
    return 0;
}
}

int32_t CSoundStreamWASAPI::OpenRenderDevice(uint32_t rate, double* duration, int32_t deviceIndex)
{
    Close();
    if (duration == nullptr || !IsStereoPcmRateRepresentable(rate))
        return -4;
    OpenedEndpoint opened;
    const int32_t status = NegotiateAndInitialize(rate, duration, deviceIndex, opened);
    if (status != 1)
    {
        Close();
        return status;
    }
    pAudioRenderClient = opened.renderClient.Detach();
    *duration = static_cast<double>(opened.bufferFrames) / rate;
    pDevice = opened.device.Detach();
    pAudioClient = opened.client.Detach();
    bEventDriven = opened.eventDriven ? 1 : 0;
    uiRenderChannelCount = kChannels;
    dfRate = rate;
    uiBitCount = opened.bitCount;
    uiState = 1;
    return 1;
}

int32_t CSoundStreamWASAPI::NegotiateAndInitialize(uint32_t rate, double* duration, int32_t deviceIndex,
                                                   OpenedEndpoint& opened)
{
    if (GetAudioEndpoint(deviceIndex, opened.device.Put()) != 1)
        return -1;
    if (FAILED(opened.device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                       opened.client.PutVoid())) ||
        !opened.client)
        return -1;
    REFERENCE_TIME defaultPeriod = 0;
    REFERENCE_TIME minimumPeriod = 0;
    if (FAILED(opened.client->GetDevicePeriod(&defaultPeriod, &minimumPeriod)))
        return -1;
    const REFERENCE_TIME hns = BufferDuration(rate, duration, defaultPeriod, minimumPeriod);

    opened.bitCount = FindBitCount(opened.client.Get(), rate, bSharedMode != 0);
    if (opened.bitCount == 0)
        return -1;
    const WAVEFORMATEXTENSIBLE format = MakeStereoPcmFormat(rate, opened.bitCount);
    if (InitializeClient(opened.client.Get(), &format.Format, hns, opened) != 1)
        return -1;
    if (FAILED(opened.client->GetBufferSize(&opened.bufferFrames)))
        return -1;
    if (uiPacketFrames == 0)
        uiPacketFrames = opened.bufferFrames;
    const int32_t status = SetUpBuffers(opened.bufferFrames);
    if (status != 1)
        return status;
    if (FAILED(opened.client->GetService(__uuidof(IAudioRenderClient), opened.renderClient.PutVoid())) ||
        !opened.renderClient)
        return -1;
    const uint32_t effectiveBits = uiMaxBitCount == 0 ? opened.bitCount : std::min(uiMaxBitCount, opened.bitCount);
    return Quantizer.Initialize(effectiveBits, opened.bitCount, static_cast<int32_t>(bResolutionEnhancer));
}

// Shared mode passes no periodicity and asks the audio engine to convert the rate, which
// Windows requires for any PCM format that differs from the endpoint's mix format.
int32_t CSoundStreamWASAPI::InitializeClient(IAudioClient* client, const WAVEFORMATEX* format, REFERENCE_TIME hns,
                                             OpenedEndpoint& opened)
{
    const bool shared = bSharedMode != 0;
    const AUDCLNT_SHAREMODE mode = shared ? AUDCLNT_SHAREMODE_SHARED : AUDCLNT_SHAREMODE_EXCLUSIVE;
    const DWORD flags = AUDCLNT_STREAMFLAGS_NOPERSIST | (shared ? kRateConversionFlags : 0);
    const REFERENCE_TIME periodicity = shared ? 0 : hns;
    if (bTimerDriven == 0 &&
        SUCCEEDED(client->Initialize(mode, flags | AUDCLNT_STREAMFLAGS_EVENTCALLBACK, hns, periodicity, format, nullptr)))
    {
        if (BufferEvent.Create(false) != 1 || FAILED(client->SetEventHandle(BufferEvent.hEvent)))
            return -1;
        opened.eventDriven = true;
        return 1;
    }
    opened.eventDriven = false;
    return SUCCEEDED(client->Initialize(mode, flags, hns, periodicity, format, nullptr)) ? 1 : -1;
}

// The packet handed to the buffer callback, the byte ring between packets and endpoint
// periods, and the device thread's work buffer, all sized from the endpoint buffer.
int32_t CSoundStreamWASAPI::SetUpBuffers(UINT32 bufferFrames)
{
    FreePacket();
    const uint64_t packetFrames = uiPacketFrames;
    if (packetFrames == 0)
        return -4;
    const uint64_t frameBytes = kChannels * sizeof(double);
    if (packetFrames > std::numeric_limits<uint64_t>::max() / frameBytes)
        return -5;
    double* samples = new (std::nothrow) double[packetFrames * kChannels]();
    if (samples == nullptr)
        return -2;
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
        return -2;
    LocalBufferSize = localFrames * kChannels;
    uiDeviceBufferFrames = bufferFrames;
    return 1;
}
