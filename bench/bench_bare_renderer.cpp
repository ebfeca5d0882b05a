// The simplest WASAPI renderer, the reference bench/realtime measures the program against: one
// thread, a 1 ms high-resolution waitable timer, GetCurrentPadding, and the free part of the
// buffer filled with a 1 kHz sine at -6 dB, 32-bit stereo with the stereo channel mask, on the
// default endpoint, in exclusive or shared mode (a 10 ms buffer asked for, as the program asks).
//
// Usage: bench_bare_renderer RATE SECONDS [exclusive|shared]   (default exclusive)
// Prints "start" once the stream runs and "end" after SECONDS of wall time, each on its own
// line as it happens, so that a caller can read the process's CPU time at both moments, then
// the stream it opened as the program traces its own; it stays a second after "end" for that
// reading.
#include "device/ComHolder.h"
#include "runtime/CHandleHolder.h"

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Older MinGW headers lack the flag (Windows 10 1803 and later).
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace
{
constexpr double kPi = 3.14159265358979323846;
constexpr double kToneHertz = 1000.0;
constexpr double kAmplitude = 0.5011872336272722;  // -6 dB
constexpr REFERENCE_TIME kBufferDuration = 100000; // 10 ms, as the program asks

WAVEFORMATEXTENSIBLE StereoInt32(DWORD rate)
{
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = 32;
    format.Format.nBlockAlign = 8;
    format.Format.nAvgBytesPerSec = rate * 8;
    format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = 32;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

int Fail(const char* what, HRESULT hr)
{
    std::fprintf(stderr, "bench_bare_renderer: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// Writes `frames` frames of the tone into the endpoint's buffer.
void FillSine(BYTE* data, UINT32 frames, double step, double* phase)
{
    auto* samples = reinterpret_cast<INT32*>(data);
    for (UINT32 i = 0; i < frames; ++i)
    {
        const auto value = static_cast<INT32>(std::lround(kAmplitude * 2147483647.0 * std::sin(*phase)));
        samples[2 * i] = value;
        samples[2 * i + 1] = value;
        *phase += step;
        if (*phase >= 2.0 * kPi)
            *phase -= 2.0 * kPi;
    }
}

int Render(IAudioClient* client, IAudioRenderClient* render, DWORD rate, double seconds, bool shared)
{
    const CHandleHolder timer(
        CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
    if (timer.Get() == nullptr)
        return Fail("CreateWaitableTimerExW", HRESULT_FROM_WIN32(GetLastError()));
    UINT32 bufferFrames = 0;
    HRESULT hr = client->GetBufferSize(&bufferFrames);
    if (FAILED(hr) || FAILED(hr = client->Start()))
        return Fail("GetBufferSize/Start", hr);
    std::printf("start\n");
    std::fflush(stdout);
    const double step = 2.0 * kPi * kToneHertz / rate;
    double phase = 0.0;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
    while (GetTickCount64() < end)
    {
        LARGE_INTEGER due{};
        due.QuadPart = -10000; // 1 ms, relative
        SetWaitableTimer(timer.Get(), &due, 0, nullptr, nullptr, FALSE);
        WaitForSingleObject(timer.Get(), INFINITE);
        UINT32 padding = 0;
        if (FAILED(hr = client->GetCurrentPadding(&padding)))
            return Fail("GetCurrentPadding", hr);
        const UINT32 frames = bufferFrames - padding;
        if (frames == 0)
            continue;
        BYTE* data = nullptr;
        if (FAILED(hr = render->GetBuffer(frames, &data)))
            return Fail("GetBuffer", hr);
        FillSine(data, frames, step, &phase);
        if (FAILED(hr = render->ReleaseBuffer(frames, 0)))
            return Fail("ReleaseBuffer", hr);
    }
    client->Stop();
    std::printf("end\n%s mode, %lu Hz, 32-bit container with 32 valid bits, buffer %u frames\n",
                shared ? "shared" : "exclusive", static_cast<unsigned long>(rate), bufferFrames);
    std::fflush(stdout);
    Sleep(1000);
    return 0;
}

int Run(DWORD rate, double seconds, AUDCLNT_SHAREMODE mode)
{
    CComHolder<IMMDeviceEnumerator> enumerator;
    CComHolder<IMMDevice> device;
    CComHolder<IAudioClient> client;
    CComHolder<IAudioRenderClient> render;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IMMDeviceEnumerator), enumerator.PutVoid());
    if (FAILED(hr) || FAILED(hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put())))
        return Fail("default endpoint", hr);
    if (FAILED(hr = device->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr, client.PutVoid())))
        return Fail("Activate", hr);
    WAVEFORMATEXTENSIBLE format = StereoInt32(rate);
    const bool shared = mode == AUDCLNT_SHAREMODE_SHARED;
    const DWORD flags = shared ? AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY : 0;
    if (FAILED(hr = client->Initialize(mode, flags, kBufferDuration, shared ? 0 : kBufferDuration,
                                       reinterpret_cast<WAVEFORMATEX*>(&format), nullptr)))
        return Fail("Initialize", hr);
    if (FAILED(hr = client->GetService(__uuidof(IAudioRenderClient), render.PutVoid())))
        return Fail("GetService", hr);
    return Render(client.Get(), render.Get(), rate, seconds, shared);
}
}

int main(int argc, char** argv)
{
    const bool arguments = argc == 3 || argc == 4;
    const long rate = arguments ? std::strtol(argv[1], nullptr, 10) : 0;
    const double seconds = arguments ? std::strtod(argv[2], nullptr) : 0.0;
    const char* modeName = argc == 4 ? argv[3] : "exclusive";
    const bool known = std::strcmp(modeName, "exclusive") == 0 || std::strcmp(modeName, "shared") == 0;
    if (rate < 8000 || rate > 384000 || !(seconds > 0.0 && seconds < 3600.0) || !known)
    {
        std::fprintf(stderr,
                     "usage: bench_bare_renderer RATE SECONDS [exclusive|shared] (8000..384000, 0 < SECONDS < 3600)\n");
        return 2;
    }
    const AUDCLNT_SHAREMODE mode =
        std::strcmp(modeName, "shared") == 0 ? AUDCLNT_SHAREMODE_SHARED : AUDCLNT_SHAREMODE_EXCLUSIVE;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return Fail("CoInitializeEx", E_FAIL);
    const int result = Run(static_cast<DWORD>(rate), seconds, mode);
    CoUninitialize();
    return result;
}
