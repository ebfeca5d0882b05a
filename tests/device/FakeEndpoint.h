#pragma once

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class FakeComRegistry;

// The calls a test double records (and can be told to fail).
enum class FakeMethod
{
    Activate,
    GetDevicePeriod,
    IsFormatSupported,
    Initialize,
    GetBufferSize,
    SetEventHandle,
    GetService,
    Start,
    Stop,
    GetCurrentPadding,
    GetBuffer,
    ReleaseBuffer,
    GetMixFormat,
    SetClientProperties,
};

// A recorded call and its arguments by name. Each method sets those it takes; a pointer
// argument is recorded as whether one was given (1) or not (0).
struct FakeCall
{
    explicit FakeCall(FakeMethod calledMethod) : method(calledMethod) {}

    FakeMethod method;
    int64_t mode = 0;                   // IsFormatSupported, Initialize: AUDCLNT_SHAREMODE
    int64_t flags = 0;                  // Initialize: stream flags
    int64_t duration = 0;               // Initialize: buffer duration, 100 ns
    int64_t periodicity = 0;            // Initialize
    int64_t session = 0;                // Initialize: a session GUID
    int64_t raw = 0;                    // Initialize: raw processing was set on the client before it
    int64_t frames = 0;                 // GetBuffer, ReleaseBuffer
    AudioClientProperties properties{}; // SetClientProperties
    WAVEFORMATEXTENSIBLE format{};      // IsFormatSupported, Initialize
};

// A scripted failure: `count` calls of `method` from call number `fromCall` on (0-based)
// return `hr` (count 0: every call from there on).
struct FakeFailure
{
    HRESULT hr = E_FAIL;
    size_t fromCall = 0;
    size_t count = 0;
};

// A sample layout an endpoint accepts: container bits and the valid bits in it (one number:
// both the same).
struct FakePcmBits
{
    FakePcmBits(uint32_t bits) : container(bits), valid(bits) {}
    FakePcmBits(uint32_t containerBits, uint32_t validBits) : container(containerBits), valid(validBits) {}
    bool operator==(const FakePcmBits& other) const { return container == other.container && valid == other.valid; }

    uint32_t container;
    uint32_t valid;
};

// Streams of other programs on the endpoint. Initialize answers AUDCLNT_E_DEVICE_IN_USE to an
// exclusive stream while any other stream plays, and to every stream while another program
// holds the endpoint exclusively.
enum class FakeOtherUse
{
    None,
    SharedStreams,
    ExclusiveStream
};

// What an endpoint accepts and how it answers. Defaults: a 48 kHz endpoint with a 10 ms
// default and 3 ms minimum period that accepts nothing until a test says so.
struct FakeEndpointConfig
{
    std::wstring id = L"{0.0.0.00000000}.{fake-endpoint}";
    std::wstring friendlyName = L"Fake Speakers";
    bool friendlyNameIsText = true;
    EDataFlow flow = eRender;
    DWORD state = DEVICE_STATE_ACTIVE;

    // Exclusive mode accepts every listed (rate, bits) combination of stereo integer PCM with
    // the stereo channel mask...
    std::vector<uint32_t> exclusiveRates;
    std::vector<FakePcmBits> exclusiveBits;
    // ...with a buffer of a multiple of this many frames (0: any). Initialize refuses another
    // size with AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED; that client's GetBufferSize then reports the
    // next aligned size, and it takes no second Initialize: a fresh client must be activated.
    UINT32 exclusiveAlignment = 0;
    // Shared mode accepts these bit depths at any rate...
    std::vector<FakePcmBits> sharedBits;
    // ...unless it behaves as Windows does: for a format other than the mix format's rate and
    // channels, IsFormatSupported answers S_FALSE with the mix format as closest match, and
    // Initialize refuses it unless AUTOCONVERTPCM | SRC_DEFAULT_QUALITY are among the stream
    // flags (the engine then converts channels, sample format and rate).
    bool windowsSharedMode = false;
    uint32_t mixRate = 48000;
    WORD mixChannels = 2;
    // The engine's device format (PKEY_AudioEngine_DeviceFormat) as the property store's blob;
    // empty: the property is missing.
    std::vector<uint8_t> engineDeviceFormat;
    // The client implements IAudioClient2 (Windows 8 and later); SetClientProperties answers a
    // request for raw processing with this.
    bool audioClient2 = true;
    HRESULT rawModeAnswer = S_OK;
    FakeOtherUse otherUse = FakeOtherUse::None;

    REFERENCE_TIME defaultPeriod = 100000;
    REFERENCE_TIME minimumPeriod = 30000;
    // Endpoint buffer; 0 means the initialised duration's worth of frames, rounded up.
    UINT32 bufferFrames = 0;

    // GetCurrentPadding answers these in turn; afterwards 0 (an empty buffer) when
    // `keepAnsweringPadding` is set, else AUDCLNT_E_DEVICE_INVALIDATED.
    std::deque<UINT32> padding;
    bool keepAnsweringPadding = false;
    // Instead, the endpoint plays what is written at the real rate from Start to Stop, as a
    // device does: the padding is what is written and not played yet; where the buffer runs
    // dry, the device plays silence until more comes.
    bool playsInRealTime = false;

    std::map<FakeMethod, FakeFailure> failures;
};

// The shared state of one endpoint: its configuration, every call made on its device, clients
// and render clients, the closest-match blocks it handed out and the bytes rendered to it.
class FakeEndpoint
{
public:
    FakeEndpoint(FakeComRegistry& registry, FakeEndpointConfig config);

    FakeComRegistry& Registry() { return m_Registry; }
    const FakeEndpointConfig& Config() const { return m_Config; }

    // Records the call and returns the scripted failure for it, or S_OK.
    HRESULT Record(FakeCall call);
    HRESULT Record(FakeMethod method) { return Record(FakeCall(method)); }

    HRESULT CheckFormat(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format, DWORD flags, bool initializing) const;
    // The mix format in a block from CoTaskMemAlloc, as GetMixFormat and a closest match give it.
    WAVEFORMATEX* MakeMixFormat();
    UINT32 BufferFramesFor(REFERENCE_TIME duration, uint32_t rate) const;
    HRESULT NextPadding(UINT32* padding);

    void NoteInitialized(UINT32 bufferFrames, uint32_t blockAlign, uint32_t rate);
    void NoteStarted();
    void NoteStopped();
    BYTE* AcquireBuffer(UINT32 frames);
    // AUDCLNT_BUFFERFLAGS_SILENT among the flags: the frames count as silence, whatever they hold.
    HRESULT CommitBuffer(UINT32 frames, DWORD flags);

    std::vector<FakeCall> CallsOf(FakeMethod method) const;
    std::vector<uint8_t> Rendered() const;
    size_t RenderedFrames() const;
    // An endpoint that plays in real time: the frames the device has played so far (after
    // Stop, before it), the silence of a dry buffer included.
    uint64_t PlayedFrames() const;

    // DEVICE_STATE_*: starts as configured; a test unplugs or plugs the endpoint in with it.
    DWORD State() const;
    void SetState(DWORD state);

private:
    FakeComRegistry& m_Registry;
    const FakeEndpointConfig m_Config;
    mutable std::mutex m_Mutex;
    uint64_t PlayedFramesLocked() const;

    std::vector<FakeCall> m_Calls;
    std::map<FakeMethod, size_t> m_CallCounts;
    std::deque<UINT32> m_Padding;
    UINT32 m_uiLastPadding = 0;
    UINT32 m_uiBufferFrames = 0;
    uint32_t m_uiBlockAlign = 0;
    std::vector<uint8_t> m_EndpointBuffer;
    UINT32 m_uiAcquiredFrames = 0;
    std::vector<uint8_t> m_Rendered;
    // The real-time device: its rate, when it started, frames played when it stopped, and the
    // frames it has to play in all (what was written, after silence where it ran dry).
    uint32_t m_uiRate = 0;
    std::chrono::steady_clock::time_point m_Started;
    bool m_bRunning = false;
    uint64_t m_uiPlayedAtStop = 0;
    uint64_t m_uiOutputFrames = 0;
    DWORD m_uiState;
};

// Creates the IAudioClient that a fake device's Activate hands out.
IAudioClient* CreateFakeAudioClient(FakeEndpoint& endpoint);
