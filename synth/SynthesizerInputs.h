#pragma once

#include "runtime/CWorkerThread.h"

#include <cstdint>

class CSoundStreamBuffer;
class CMultimediaTimer;

// The names of the synthesizer thread's inputs in its worker: three parameters, each an address,
// and the block buffer the worker allocates (at least frames per block x 16 bytes).
namespace SynthesizerInput
{
inline constexpr wchar_t kSoundBuffer[] = L"pSoundBuffer";
inline constexpr wchar_t kMultimediaTimer[] = L"pMultimediaTimer";
inline constexpr wchar_t kBufferSizeToWrite[] = L"pBufferSizeToWrite";
inline constexpr const wchar_t* kMultiChannelBuffer = CWorkerThread::kMultichannelBufferName;
}

// What the thread reads once at its start.
struct SynthesizerInputs
{
    CSoundStreamBuffer* pSoundBuffer = nullptr;
    CMultimediaTimer* pTimer = nullptr;
    uint64_t uiFrames = 0;
    double* pdfBlock = nullptr;
};

// Sets the three parameters on worker; framesPerBlock is read once the thread starts. 3 or 5,
// or the first failing status.
int32_t PublishSynthesizerInputs(CWorkerThread& worker, CSoundStreamBuffer* soundBuffer, CMultimediaTimer* timer,
                                 const uint64_t* framesPerBlock);

// Reads the inputs from worker: null, or the name of the first one missing or unusable (no
// frames per block, or a block buffer too small for them).
const wchar_t* ReadSynthesizerInputs(CWorkerThread& worker, SynthesizerInputs* inputs);
