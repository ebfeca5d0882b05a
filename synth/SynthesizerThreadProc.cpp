#include "synth/SynthesizerThreadProc.h"

#include "runtime/CMultimediaTimer.h"
#include "runtime/CWorkerThread.h"
#include "runtime/Status.h"
#include "stream/CSoundStreamBuffer.h"
#include "stream/ChannelCount.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"
#include "synth/SynthesizerInputs.h"

#include <cwchar>

namespace
{
// The longest pause while the stream buffer is full. The reader frees a block every 10 ms, so
// a 1 ms pause mostly wakes the thread for nothing (each wake-up is a trip through the Wine
// server); a full queue holds several blocks (playback's limit says how many) and reads stop
// only below a quarter of it, so 5 ms still leaves most of that for a wake-up that a loaded
// machine delays.
constexpr uint32_t kLongestPauseMs = 5;

// A thread that cannot run says which input it lacks, in the debugger's output.
void TraceMissingInput(const wchar_t* name)
{
    wchar_t line[160];
    std::swprintf(line, sizeof line / sizeof line[0], L"Corvane WASAPI: synthesizer input %ls missing or unusable\n",
                  name);
    OutputDebugStringW(line);
}

// The pause before offering `missing` frames again: about the time the reader takes to play
// that many, whole milliseconds, 1 to kLongestPauseMs.
uint32_t PauseForRoom(uint64_t missing)
{
    const double milliseconds = static_cast<double>(missing) * 1000.0 / dfSamplingRate;
    if (!(milliseconds >= 1.0))
        return 1;
    if (milliseconds >= kLongestPauseMs)
        return kLongestPauseMs;
    return static_cast<uint32_t>(milliseconds);
}

// Writes one block, offering the rest again after each pause, from the first frame not taken. 1 when the block is
// written or abandoned because the worker is stopping; -1 when the stream buffer refused the write.
int32_t WriteBlock(const SynthesizerInputs& inputs, const CEventHandle& stop)
{
    uint64_t written = 0;
    for (;;)
    {
        const uint64_t offered = inputs.uiFrames - written;
        uint64_t count = offered;
        if (inputs.pSoundBuffer->Write(inputs.pdfBlock + written * kChannels, &count) < 0)
            return kStatusFailure;
        written += count < offered ? count : offered;
        if (written == inputs.uiFrames)
            return kStatusSuccess;
        inputs.pTimer->Wait(PauseForRoom(inputs.uiFrames - written));
        if (stop.IsSignaled())
            return kStatusSuccess;
    }
}
}

int64_t SynthesizerThreadProc(CWorkerContext* context)
{
    if (context == nullptr || context->pOwner == nullptr)
        return -1;
    CWorkerThread* owner = context->pOwner;
    SynthesizerInputs inputs;
    const wchar_t* missing = ReadSynthesizerInputs(*owner, &inputs);
    if (missing != nullptr)
    {
        TraceMissingInput(missing);
        return -1;
    }
    const CEventHandle& stop = *owner->GetTerminationEvent();
    CRandomMT generator;
    double carrierPhase = 0.0;
    for (;;)
    {
        FillBlock(inputs.pdfBlock, inputs.uiFrames, &carrierPhase, &generator);
        if (WriteBlock(inputs, stop) < 0)
            return -1;
        if (stop.IsSignaled())
            return 1;
    }
}
