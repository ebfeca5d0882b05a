#include "tests/device/FakeEndpoint.h"

#include <ks.h>
#include <ksmedia.h>

#include <algorithm>
#include <cstring>

namespace
{
constexpr DWORD kRateConversionFlags = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;

template <class T>
bool Contains(const std::vector<T>& values, const T& value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The stereo integer PCM layout that a real endpoint checks field by field, the channel mask
// included.
bool IsConsistentStereoPcm(const WAVEFORMATEX* format)
{
    if (format->wFormatTag != WAVE_FORMAT_EXTENSIBLE || format->cbSize < 22 || format->nChannels != 2)
        return false;
    const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
    const uint32_t bits = format->wBitsPerSample;
    const uint32_t valid = extensible->Samples.wValidBitsPerSample;
    return extensible->SubFormat == KSDATAFORMAT_SUBTYPE_PCM && bits % 8 == 0 && bits != 0 && valid != 0 &&
           valid <= bits && extensible->dwChannelMask == KSAUDIO_SPEAKER_STEREO &&
           format->nBlockAlign == 2 * bits / 8 &&
           format->nAvgBytesPerSec == format->nBlockAlign * format->nSamplesPerSec;
}
}

FakeEndpoint::FakeEndpoint(FakeComRegistry& registry, FakeEndpointConfig config)
    : m_Registry(registry), m_Config(std::move(config)), m_Padding(m_Config.padding), m_uiState(m_Config.state)
{
}

HRESULT FakeEndpoint::Record(FakeCall call)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const size_t number = m_CallCounts[call.method]++;
    const FakeMethod method = call.method;
    m_Calls.push_back(std::move(call));
    const auto failure = m_Config.failures.find(method);
    if (failure == m_Config.failures.end() || number < failure->second.fromCall)
        return S_OK;
    const FakeFailure& scripted = failure->second;
    return scripted.count == 0 || number - scripted.fromCall < scripted.count ? scripted.hr : S_OK;
}

HRESULT FakeEndpoint::CheckFormat(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format, DWORD flags,
                                  bool initializing) const
{
    if (format == nullptr)
        return E_POINTER;
    if (!IsConsistentStereoPcm(format))
        return AUDCLNT_E_UNSUPPORTED_FORMAT;
    const uint32_t rate = format->nSamplesPerSec;
    const FakePcmBits bits(format->wBitsPerSample,
                           reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format)->Samples.wValidBitsPerSample);
    if (mode == AUDCLNT_SHAREMODE_EXCLUSIVE)
        return Contains(m_Config.exclusiveRates, rate) && Contains(m_Config.exclusiveBits, bits)
                   ? S_OK
                   : AUDCLNT_E_UNSUPPORTED_FORMAT;
    if (!Contains(m_Config.sharedBits, bits))
        return AUDCLNT_E_UNSUPPORTED_FORMAT;
    if (!m_Config.windowsSharedMode || (rate == m_Config.mixRate && format->nChannels == m_Config.mixChannels))
        return S_OK;
    if (!initializing)
        return S_FALSE;
    return (flags & kRateConversionFlags) == kRateConversionFlags ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

WAVEFORMATEX* FakeEndpoint::MakeMixFormat()
{
    auto* mix = static_cast<WAVEFORMATEXTENSIBLE*>(CoTaskMemAlloc(sizeof(WAVEFORMATEXTENSIBLE)));
    if (mix == nullptr)
        return nullptr;
    *mix = WAVEFORMATEXTENSIBLE{};
    mix->Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    mix->Format.nChannels = m_Config.mixChannels;
    mix->Format.nSamplesPerSec = m_Config.mixRate;
    mix->Format.wBitsPerSample = 32;
    mix->Format.nBlockAlign = static_cast<WORD>(4 * m_Config.mixChannels);
    mix->Format.nAvgBytesPerSec = mix->Format.nBlockAlign * m_Config.mixRate;
    mix->Format.cbSize = 22;
    mix->Samples.wValidBitsPerSample = 32;
    mix->dwChannelMask = m_Config.mixChannels == 6 ? DWORD{KSAUDIO_SPEAKER_5POINT1} : DWORD{KSAUDIO_SPEAKER_STEREO};
    mix->SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    return &mix->Format;
}

UINT32 FakeEndpoint::BufferFramesFor(REFERENCE_TIME duration, uint32_t rate) const
{
    if (m_Config.bufferFrames != 0)
        return m_Config.bufferFrames;
    const int64_t product = static_cast<int64_t>(duration) * rate;
    return static_cast<UINT32>((product + 9999999) / 10000000);
}

HRESULT FakeEndpoint::NextPadding(UINT32* padding)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Config.playsInRealTime)
    {
        const uint64_t played = PlayedFramesLocked();
        *padding = m_uiOutputFrames > played ? static_cast<UINT32>(m_uiOutputFrames - played) : 0;
    }
    else if (!m_Padding.empty())
    {
        *padding = m_Padding.front();
        m_Padding.pop_front();
    }
    else if (m_Config.keepAnsweringPadding)
        *padding = 0;
    else
        return AUDCLNT_E_DEVICE_INVALIDATED;
    m_uiLastPadding = *padding;
    return S_OK;
}

void FakeEndpoint::NoteInitialized(UINT32 bufferFrames, uint32_t blockAlign, uint32_t rate)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_uiBufferFrames = bufferFrames;
    m_uiBlockAlign = blockAlign;
    m_uiRate = rate;
    m_EndpointBuffer.assign(static_cast<size_t>(bufferFrames) * blockAlign, 0);
}

void FakeEndpoint::NoteStarted()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Started = std::chrono::steady_clock::now();
    m_bRunning = true;
}

void FakeEndpoint::NoteStopped()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_uiPlayedAtStop = PlayedFramesLocked();
    m_bRunning = false;
}

uint64_t FakeEndpoint::PlayedFrames() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return PlayedFramesLocked();
}

uint64_t FakeEndpoint::PlayedFramesLocked() const
{
    if (!m_bRunning)
        return m_uiPlayedAtStop;
    const auto elapsed = std::chrono::steady_clock::now() - m_Started;
    return static_cast<uint64_t>(std::chrono::duration<double>(elapsed).count() * m_uiRate);
}

BYTE* FakeEndpoint::AcquireBuffer(UINT32 frames)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_uiLastPadding > m_uiBufferFrames || frames > m_uiBufferFrames - m_uiLastPadding)
        return nullptr;
    m_uiAcquiredFrames = frames;
    // A pattern no quantizer output of silence produces, so unwritten bytes stand out.
    std::fill(m_EndpointBuffer.begin(), m_EndpointBuffer.end(), uint8_t{0xA5});
    return m_EndpointBuffer.data();
}

HRESULT FakeEndpoint::CommitBuffer(UINT32 frames, DWORD flags)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (frames > m_uiAcquiredFrames)
        return AUDCLNT_E_INVALID_SIZE;
    const size_t bytes = static_cast<size_t>(frames) * m_uiBlockAlign;
    if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0)
        std::fill_n(m_EndpointBuffer.begin(), bytes, uint8_t{0});
    const uint8_t* const committed = m_EndpointBuffer.data();
    m_Rendered.insert(m_Rendered.end(), committed, committed + bytes);
    // A device that ran dry played silence until these frames came.
    m_uiOutputFrames = std::max(m_uiOutputFrames, PlayedFramesLocked()) + frames;
    m_uiAcquiredFrames = 0;
    return S_OK;
}

std::vector<FakeCall> FakeEndpoint::CallsOf(FakeMethod method) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::vector<FakeCall> calls;
    for (const FakeCall& call : m_Calls)
        if (call.method == method)
            calls.push_back(call);
    return calls;
}

std::vector<uint8_t> FakeEndpoint::Rendered() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Rendered;
}

size_t FakeEndpoint::RenderedFrames() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_uiBlockAlign == 0 ? 0 : m_Rendered.size() / m_uiBlockAlign;
}

DWORD FakeEndpoint::State() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_uiState;
}

void FakeEndpoint::SetState(DWORD state)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_uiState = state;
}
