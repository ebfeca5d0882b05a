#pragma once

#include "device/ComHolder.h"
#include "device/DeviceFailure.h"
#include "device/SSoundStream.h"
#include "runtime/CByteRing.h"
#include "runtime/CEventHandle.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CWorkerThread.h"
#include "stream/CQuantizer.h"
#include "stream/SoundStreamPacket.h"

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>

// The WASAPI render stream: one endpoint, its audio client, the negotiated format, the buffers
// between the engine and the endpoint, and the one device thread (RenderThreadProc) that keeps
// the endpoint filled. Operations run on the thread that constructed it (a single-threaded COM
// apartment); the device thread reaches the members only through the pointers StartRender
// publishes, and every operation that frees them ends and joins that thread first.
class CSoundStreamWASAPI final : public SSoundStream
{
public:
    CSoundStreamWASAPI();
    ~CSoundStreamWASAPI();
    CSoundStreamWASAPI(const CSoundStreamWASAPI&) = delete;
    CSoundStreamWASAPI& operator=(const CSoundStreamWASAPI&) = delete;

    // -1: no endpoint is ever opened for capture.
    int32_t StartCapture(BufferCallback callback, void* userParameter) override;
    // Loads the endpoint buffer with silence, publishes the device thread's inputs and starts
    // it: 1; -1 unless opened for render and no device thread is running, or when the buffer
    // cannot be loaded (recorded in LastFailure); -4 for a null callback; or the failing step's
    // status.
    int32_t StartRender(BufferCallback callback, void* userParameter) override;
    // Starts the audio client: 1, or -1 when closed or the client refuses.
    int32_t Start() override;
    // Ends the device thread, stops the client and closes: 1, or -1 when closed.
    int32_t Stop() override;
    // -1 before Start; else 1 with *out 1 when the device thread has ended by itself (it sets
    // the worker's own termination event then) and 0 while it runs.
    int32_t IsTerminated(uint32_t* out) override;
    // Ends the device thread and releases everything of the open stream; always 1.
    int32_t Close() override;

    // Closes, then opens the endpoint with ID deviceId (null: the default endpoint) for
    // rendering two channels of integer PCM at rate: 32 bits, 24 valid bits in a 32-bit
    // container, 24 or 16 bits, whichever the endpoint takes first. *duration holds the wanted
    // buffer duration in seconds (0: the default device period) and receives the endpoint
    // buffer's. 1; -1 endpoint, client, format or service failure (recorded in LastFailure);
    // -2 out of memory; -4 bad argument or a packet of 0 frames; -5 packet size overflow; or
    // the failing status of the byte ring or quantizer set-up. The object is closed after any
    // failure.
    int32_t OpenRenderDevice(uint32_t rate, double* duration, const wchar_t* deviceId);

    // Stores the device thread's inputs in worker's parameter table (what StartRender does
    // for its own worker): 3 or 5, or the first failing status.
    int32_t PublishRenderParameters(CWorkerThread& worker, BufferCallback callback, void* userParameter);

    // Set by the caller before OpenRenderDevice, which reads them; the open keeps them (and sets
    // uiPacketFrames to the endpoint buffer's frames when it is 0).
    uint32_t bSharedMode = 0;
    uint64_t uiPacketFrames = 0;
    // The most effective bits the quantizer may use (0: as many as the device resolves).
    uint32_t uiMaxBitCount = 0;
    uint32_t bResolutionEnhancer = 0;
    // 0 lets the open try an event-driven client first; never changed by the program.
    uint32_t bTimerDriven = 1;

    // Written by the open, the start and the stop; read by the caller.
    uint32_t uiState = 0; // 0 closed, 1 opened for render, 2 opened for capture
    uint32_t bStarted = 0;
    uint64_t uiCaptureChannelCount = 0;
    uint64_t uiRenderChannelCount = 0;
    double dfRate = 0.0;
    // The container's bits per sample (32, 24 or 16): the quantizer writes samples this wide.
    uint32_t uiBitCount = 0;
    // The bits the device resolves: the valid bits of the format opened, in shared mode capped
    // at the engine's integer device format. The quantizer's effective bits stay within them.
    uint32_t uiResolvedBitCount = 0;
    uint64_t uiDeviceBufferFrames = 0;
    uint32_t bEventDriven = 0;
    uint32_t bMonauralDevice = 0;
    // The last failing call met during the last open or start (kept also when it went on
    // without it).
    DeviceFailure LastFailure;
    // Why the device thread ended by itself; written by that thread, read only after a Join.
    DeviceFailure RenderFailure;

    // Owned while open: what Close frees, and what the device thread reaches through the
    // pointers StartRender publishes.
    CComHolder<IMMDevice> pDevice;
    CComHolder<IAudioClient> pAudioClient;
    CComHolder<IAudioRenderClient> pAudioRenderClient;
    CComHolder<IAudioCaptureClient> pAudioCaptureClient;
    CQuantizer Quantizer;
    // Set by the endpoint when it wants data (event-driven clients only).
    CEventHandle BufferEvent;
    // Runs the device thread. Its own termination event means "ended by itself": the thread sets
    // it when a failure or the data source's end stops it, and IsTerminated reports it.
    CWorkerThread WorkerThread;
    // Means "stop": set by Stop and Close; the device thread only polls or waits on it.
    CEventHandle TerminationEvent;
    SoundStreamPacket SoundStreamBuffer{};
    CByteRing DataBuffer;
    double* pdfLocalBuffer = nullptr;
    uint64_t LocalBufferSize = 0;
    CMultimediaTimer MultimediaTimer;

private:
    struct OpenedEndpoint;

    int32_t NegotiateAndInitialize(uint32_t rate, double* duration, const wchar_t* deviceId, OpenedEndpoint& opened);
    int32_t ActivateClient(OpenedEndpoint& opened);
    void RequestRawProcessing(IAudioClient* client);
    int32_t InitializeAligned(const WAVEFORMATEX* format, REFERENCE_TIME hns, DWORD flags, OpenedEndpoint& opened);
    HRESULT InitializeClient(IAudioClient* client, const WAVEFORMATEX* format, REFERENCE_TIME hns, DWORD flags,
                             OpenedEndpoint& opened);
    int32_t SetUpBuffers(UINT32 bufferFrames);
    int32_t LoadSilence();
    void EndDeviceThread();
    void FreePacket();

    bool m_bComInitialized = false;
};
