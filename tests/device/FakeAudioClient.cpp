#include "tests/device/FakeComObject.h"
#include "tests/device/FakeEndpoint.h"

#include <cstring>

namespace
{
FakeCall FormatCall(FakeMethod method, std::vector<int64_t> args, const WAVEFORMATEX* format)
{
    FakeCall call;
    call.method = method;
    call.args = std::move(args);
    if (format != nullptr)
    {
        call.hasFormat = true;
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
        : FakeComObject(registry), m_endpoint(endpoint)
    {
    }

    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        NoteCall();
        if (data == nullptr)
            return E_POINTER;
        *data = nullptr;
        const HRESULT hr = m_endpoint.Record(FakeMethod::GetBuffer, {frames});
        if (FAILED(hr))
            return hr;
        *data = m_endpoint.AcquireBuffer(frames);
        return *data != nullptr ? S_OK : AUDCLNT_E_BUFFER_TOO_LARGE;
    }

    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD flags) override
    {
        NoteCall();
        const HRESULT hr = m_endpoint.Record(FakeMethod::ReleaseBuffer, {frames, flags});
        return FAILED(hr) ? hr : m_endpoint.CommitBuffer(frames);
    }

private:
    FakeEndpoint& m_endpoint;
};

class FakeAudioClient final : public FakeComObject<IAudioClient>
{
public:
    FakeAudioClient(FakeComRegistry& registry, FakeEndpoint& endpoint)
        : FakeComObject(registry), m_endpoint(endpoint)
    {
    }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                         REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                         LPCGUID session) override
    {
        NoteCall();
        const HRESULT scripted = m_endpoint.Record(FormatCall(
            FakeMethod::Initialize, {mode, flags, duration, periodicity, session != nullptr}, format));
        if (FAILED(scripted))
            return scripted;
        if (m_initialized || m_alignmentRefused)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        const HRESULT timing = CheckTiming(mode, flags, duration, periodicity);
        if (FAILED(timing))
            return timing;
        const HRESULT accepted = m_endpoint.CheckFormat(mode, format, flags, true);
        if (accepted != S_OK)
            return FAILED(accepted) ? accepted : AUDCLNT_E_UNSUPPORTED_FORMAT;
        m_bufferFrames = m_endpoint.BufferFramesFor(duration, format->nSamplesPerSec);
        const UINT32 alignment = mode == AUDCLNT_SHAREMODE_EXCLUSIVE ? m_endpoint.Config().exclusiveAlignment : 0;
        if (alignment != 0 && m_bufferFrames % alignment != 0)
        {
            m_alignmentRefused = true;
            m_bufferFrames = (m_bufferFrames / alignment + 1) * alignment;
            return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
        }
        m_initialized = true;
        m_eventDriven = (flags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) != 0;
        m_endpoint.NoteInitialized(m_bufferFrames, format->nBlockAlign);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override
    {
        NoteCall();
        if (frames == nullptr)
            return E_POINTER;
        const HRESULT hr = m_endpoint.Record(FakeMethod::GetBufferSize);
        if (FAILED(hr))
            return hr;
        // After an unaligned buffer: the next aligned size.
        if (!m_initialized && !m_alignmentRefused)
            return AUDCLNT_E_NOT_INITIALIZED;
        *frames = m_bufferFrames;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* padding) override
    {
        NoteCall();
        if (padding == nullptr)
            return E_POINTER;
        const HRESULT hr = m_endpoint.Record(FakeMethod::GetCurrentPadding);
        if (FAILED(hr))
            return hr;
        return m_initialized ? m_endpoint.NextPadding(padding) : AUDCLNT_E_NOT_INITIALIZED;
    }

    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override
    {
        NoteCall();
        if (closest != nullptr)
            *closest = nullptr;
        const HRESULT scripted = m_endpoint.Record(
            FormatCall(FakeMethod::IsFormatSupported, {mode, closest != nullptr}, format));
        if (FAILED(scripted))
            return scripted;
        if (mode == AUDCLNT_SHAREMODE_SHARED && closest == nullptr)
            return E_POINTER;
        const HRESULT answer = m_endpoint.CheckFormat(mode, format, 0, false);
        if (answer == S_FALSE)
            *closest = m_endpoint.MakeMixFormat();
        return answer;
    }

    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
    {
        NoteCall();
        if (format == nullptr)
            return E_POINTER;
        *format = nullptr;
        const HRESULT hr = m_endpoint.Record(FakeMethod::GetMixFormat);
        if (FAILED(hr))
            return hr;
        *format = m_endpoint.MakeMixFormat();
        return *format != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod, REFERENCE_TIME* minimumPeriod) override
    {
        NoteCall();
        const HRESULT hr = m_endpoint.Record(FakeMethod::GetDevicePeriod);
        if (FAILED(hr))
            return hr;
        if (defaultPeriod != nullptr)
            *defaultPeriod = m_endpoint.Config().defaultPeriod;
        if (minimumPeriod != nullptr)
            *minimumPeriod = m_endpoint.Config().minimumPeriod;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Start() override
    {
        NoteCall();
        const HRESULT hr = m_endpoint.Record(FakeMethod::Start);
        return FAILED(hr) ? hr : (m_initialized ? S_OK : AUDCLNT_E_NOT_INITIALIZED);
    }

    HRESULT STDMETHODCALLTYPE Stop() override
    {
        NoteCall();
        return m_endpoint.Record(FakeMethod::Stop);
    }

    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override
    {
        NoteCall();
        const HRESULT hr = m_endpoint.Record(FakeMethod::SetEventHandle, {event != nullptr});
        if (FAILED(hr))
            return hr;
        return m_eventDriven && event != nullptr ? S_OK : AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
    }

    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** out) override
    {
        NoteCall();
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        const HRESULT hr = m_endpoint.Record(FakeMethod::GetService, {iid == __uuidof(IAudioRenderClient)});
        if (FAILED(hr))
            return hr;
        if (!m_initialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        if (iid != __uuidof(IAudioRenderClient))
            return E_NOINTERFACE;
        *out = static_cast<IAudioRenderClient*>(CreateFakeComObject<FakeAudioRenderClient>(m_registry, m_endpoint));
        return S_OK;
    }

private:
    // Shared mode takes no periodicity; exclusive mode needs one of at least the minimum
    // period that the buffer covers; rate conversion exists only in shared mode.
    HRESULT CheckTiming(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                        REFERENCE_TIME periodicity) const
    {
        const DWORD conversion = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
        if (mode == AUDCLNT_SHAREMODE_SHARED)
            return periodicity == 0 ? S_OK : E_INVALIDARG;
        if ((flags & conversion) != 0)
            return E_INVALIDARG;
        if (periodicity < m_endpoint.Config().minimumPeriod || duration < periodicity)
            return AUDCLNT_E_INVALID_DEVICE_PERIOD;
        return S_OK;
    }

    FakeEndpoint& m_endpoint;
    bool m_initialized = false;
    bool m_alignmentRefused = false;
    bool m_eventDriven = false;
    UINT32 m_bufferFrames = 0;
};
}

IAudioClient* CreateFakeAudioClient(FakeEndpoint& endpoint)
{
    return CreateFakeComObject<FakeAudioClient>(endpoint.Registry(), endpoint);
}
