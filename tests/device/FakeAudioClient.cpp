#include "tests/device/FakeComObject.h"
#include "tests/device/FakeEndpoint.h"

#include <cstring>

namespace
{
FakeCall FormatCall(FakeMethod method, AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format)
{
    FakeCall call(method);
    call.mode = mode;
    if (format != nullptr)
    {
        const size_t bytes = format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= 22
                                 ? sizeof(WAVEFORMATEXTENSIBLE)
                                 : sizeof(WAVEFORMATEX);
        std::memcpy(&call.format, format, bytes);
    }
    return call;
}

class FakeAudioRenderClient final : public FakeComObject<IAudioRenderClient>
{
public:
    FakeAudioRenderClient(FakeComRegistry& registry, FakeEndpoint& endpoint)
        : FakeComObject(registry), m_Endpoint(endpoint)
    {
    }

    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        NoteCall();
        if (data == nullptr)
            return E_POINTER;
        *data = nullptr;
        FakeCall call(FakeMethod::GetBuffer);
        call.frames = frames;
        const HRESULT hr = m_Endpoint.Record(call);
        if (FAILED(hr))
            return hr;
        *data = m_Endpoint.AcquireBuffer(frames);
        return *data != nullptr ? S_OK : AUDCLNT_E_BUFFER_TOO_LARGE;
    }

    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD flags) override
    {
        NoteCall();
        FakeCall call(FakeMethod::ReleaseBuffer);
        call.frames = frames;
        const HRESULT hr = m_Endpoint.Record(call);
        return FAILED(hr) ? hr : m_Endpoint.CommitBuffer(frames, flags);
    }

private:
    FakeEndpoint& m_Endpoint;
};

// IAudioClient, and IAudioClient2 where the endpoint's configuration says so.
class FakeAudioClient final : public FakeComObject<IAudioClient2>
{
public:
    FakeAudioClient(FakeComRegistry& registry, FakeEndpoint& endpoint) : FakeComObject(registry), m_Endpoint(endpoint)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        NoteCall();
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        const bool offered = iid == __uuidof(IUnknown) || iid == __uuidof(IAudioClient) ||
                             (iid == __uuidof(IAudioClient2) && m_Endpoint.Config().audioClient2);
        if (!offered)
            return E_NOINTERFACE;
        *out = static_cast<IAudioClient2*>(this);
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                         REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                         LPCGUID session) override
    {
        NoteCall();
        FakeCall call = FormatCall(FakeMethod::Initialize, mode, format);
        call.flags = flags;
        call.duration = duration;
        call.periodicity = periodicity;
        call.session = session != nullptr;
        call.raw = m_bRaw;
        const HRESULT scripted = m_Endpoint.Record(call);
        if (FAILED(scripted))
            return scripted;
        if (m_bInitialized || m_bAlignmentRefused)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        const FakeOtherUse otherUse = m_Endpoint.Config().otherUse;
        if (otherUse == FakeOtherUse::ExclusiveStream ||
            (otherUse == FakeOtherUse::SharedStreams && mode == AUDCLNT_SHAREMODE_EXCLUSIVE))
            return AUDCLNT_E_DEVICE_IN_USE;
        const HRESULT timing = CheckTiming(mode, flags, duration, periodicity);
        if (FAILED(timing))
            return timing;
        const HRESULT accepted = m_Endpoint.CheckFormat(mode, format, flags, true);
        if (accepted != S_OK)
            return FAILED(accepted) ? accepted : AUDCLNT_E_UNSUPPORTED_FORMAT;
        m_uiBufferFrames = m_Endpoint.BufferFramesFor(duration, format->nSamplesPerSec);
        const UINT32 alignment = mode == AUDCLNT_SHAREMODE_EXCLUSIVE ? m_Endpoint.Config().exclusiveAlignment : 0;
        if (alignment != 0 && m_uiBufferFrames % alignment != 0)
        {
            m_bAlignmentRefused = true;
            m_uiBufferFrames = (m_uiBufferFrames / alignment + 1) * alignment;
            return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
        }
        m_bInitialized = true;
        m_bEventDriven = (flags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) != 0;
        m_Endpoint.NoteInitialized(m_uiBufferFrames, format->nBlockAlign, format->nSamplesPerSec);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override
    {
        const HRESULT hr = RecordAnswering(frames, FakeMethod::GetBufferSize);
        if (FAILED(hr))
            return hr;
        // After an unaligned buffer: the next aligned size.
        if (!m_bInitialized && !m_bAlignmentRefused)
            return AUDCLNT_E_NOT_INITIALIZED;
        *frames = m_uiBufferFrames;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* padding) override
    {
        const HRESULT hr = RecordAnswering(padding, FakeMethod::GetCurrentPadding);
        if (FAILED(hr))
            return hr;
        return m_bInitialized ? m_Endpoint.NextPadding(padding) : AUDCLNT_E_NOT_INITIALIZED;
    }

    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override
    {
        NoteCall();
        if (closest != nullptr)
            *closest = nullptr;
        const HRESULT scripted = m_Endpoint.Record(FormatCall(FakeMethod::IsFormatSupported, mode, format));
        if (FAILED(scripted))
            return scripted;
        // A closest match is asked for in shared mode only, as the platform documents.
        if ((mode == AUDCLNT_SHAREMODE_SHARED) != (closest != nullptr))
            return mode == AUDCLNT_SHAREMODE_SHARED ? E_POINTER : E_INVALIDARG;
        const HRESULT answer = m_Endpoint.CheckFormat(mode, format, 0, false);
        if (answer == S_FALSE)
            *closest = m_Endpoint.MakeMixFormat();
        return answer;
    }

    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
    {
        if (format != nullptr)
            *format = nullptr;
        const HRESULT hr = RecordAnswering(format, FakeMethod::GetMixFormat);
        if (FAILED(hr))
            return hr;
        *format = m_Endpoint.MakeMixFormat();
        return *format != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod, REFERENCE_TIME* minimumPeriod) override
    {
        NoteCall();
        const HRESULT hr = m_Endpoint.Record(FakeMethod::GetDevicePeriod);
        if (FAILED(hr))
            return hr;
        if (defaultPeriod != nullptr)
            *defaultPeriod = m_Endpoint.Config().defaultPeriod;
        if (minimumPeriod != nullptr)
            *minimumPeriod = m_Endpoint.Config().minimumPeriod;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Start() override
    {
        NoteCall();
        const HRESULT hr = m_Endpoint.Record(FakeMethod::Start);
        if (FAILED(hr))
            return hr;
        if (!m_bInitialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        m_Endpoint.NoteStarted();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Stop() override
    {
        NoteCall();
        m_Endpoint.NoteStopped();
        return m_Endpoint.Record(FakeMethod::Stop);
    }

    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override
    {
        NoteCall();
        const HRESULT hr = m_Endpoint.Record(FakeMethod::SetEventHandle);
        if (FAILED(hr))
            return hr;
        return m_bEventDriven && event != nullptr ? S_OK : AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
    }

    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** out) override
    {
        if (out != nullptr)
            *out = nullptr;
        const HRESULT hr = RecordAnswering(out, FakeMethod::GetService);
        if (FAILED(hr))
            return hr;
        if (!m_bInitialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        if (iid != __uuidof(IAudioRenderClient))
            return E_NOINTERFACE;
        *out = static_cast<IAudioRenderClient*>(CreateFakeComObject<FakeAudioRenderClient>(m_Registry, m_Endpoint));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE IsOffloadCapable(AUDIO_STREAM_CATEGORY, BOOL*) override { return E_NOTIMPL; }

    // Properties are taken only before Initialize; raw processing only where the endpoint has it.
    HRESULT STDMETHODCALLTYPE SetClientProperties(const AudioClientProperties* properties) override
    {
        NoteCall();
        if (properties == nullptr)
            return E_POINTER;
        FakeCall call(FakeMethod::SetClientProperties);
        call.properties = *properties;
        const HRESULT hr = m_Endpoint.Record(call);
        if (FAILED(hr))
            return hr;
        if (m_bInitialized || m_bAlignmentRefused)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        if (properties->cbSize != sizeof(AudioClientProperties) || properties->bIsOffload != FALSE)
            return E_INVALIDARG;
        const bool raw = (properties->Options & AUDCLNT_STREAMOPTIONS_RAW) != 0;
        if (raw && FAILED(m_Endpoint.Config().rawModeAnswer))
            return m_Endpoint.Config().rawModeAnswer;
        m_bRaw = raw;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetBufferSizeLimits(const WAVEFORMATEX*, BOOL, REFERENCE_TIME*, REFERENCE_TIME*) override
    {
        return E_NOTIMPL;
    }

private:
    // Notes and records a call that answers through `out`; a null `out` is refused before the
    // call is recorded.
    HRESULT RecordAnswering(const void* out, FakeMethod method)
    {
        NoteCall();
        if (out == nullptr)
            return E_POINTER;
        return m_Endpoint.Record(method);
    }

    // Shared mode takes no periodicity; exclusive mode needs one of at least the minimum
    // period that the buffer covers; rate conversion exists only in shared mode.
    HRESULT CheckTiming(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration, REFERENCE_TIME periodicity) const
    {
        const DWORD conversion = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
        if (mode == AUDCLNT_SHAREMODE_SHARED)
            return periodicity == 0 ? S_OK : E_INVALIDARG;
        if ((flags & conversion) != 0)
            return E_INVALIDARG;
        if (periodicity < m_Endpoint.Config().minimumPeriod || duration < periodicity)
            return AUDCLNT_E_INVALID_DEVICE_PERIOD;
        return S_OK;
    }

    FakeEndpoint& m_Endpoint;
    bool m_bInitialized = false;
    bool m_bAlignmentRefused = false;
    bool m_bEventDriven = false;
    bool m_bRaw = false;
    UINT32 m_uiBufferFrames = 0;
};
}

IAudioClient* CreateFakeAudioClient(FakeEndpoint& endpoint)
{
    return CreateFakeComObject<FakeAudioClient>(endpoint.Registry(), endpoint);
}
