#pragma once

#include "device/CSoundStreamWASAPI.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CNamedValueList.h"
#include "runtime/CWorkerThread.h"
#include "stream/CSoundStreamBuffer.h"
#include "synth/CParameterRamp.h"

#include <cstdint>
#include <memory>

// The engine objects, constructed in this order (the stream first: it enters the main thread
// into its COM apartment) and destroyed in the reverse one. The long-lived ones live as long as
// the dialog; the per-playback ones are made anew by each start. The process-wide pointers
// only borrow them.
struct EngineObjects
{
    CSoundStreamWASAPI SoundStream;
    CNamedValueList NamedValueList;
    CMultimediaTimer MultimediaTimer;
    CParameterRamp LevelRamp;
    CParameterRamp FrequencyRamp;
    CParameterRamp PhaseRamp;
    CParameterRamp AMFrequencyRamp;
    CParameterRamp FMFrequencyRamp;
    CParameterRamp FMBandwidthRamp;

    std::unique_ptr<CWorkerThread> SynthesizerThread;
    std::unique_ptr<CSoundStreamBuffer> SoundBuffer;
    std::unique_ptr<double[]> MultiChannelPacketBuffer;
};

// Makes the objects reachable through the process-wide pointers.
void PublishEngineObjects(EngineObjects& engine);

// Free the published engine's per-playback object and publish a fresh one in its place (the old
// one first, so that a start does not hold two). False, with the pointer null, when memory ran
// out. No thread may use the object being replaced.
bool ReplaceStreamBuffer();
bool ReplaceSynthesizerWorker();
bool ReplaceMultiChannelPacketBuffer(uint64_t values);

// Ends every thread before anything it uses is freed, frees the per-playback objects and
// clears the process-wide pointers. Normally the dialog's close has stopped playback already;
// this covers any other ending.
void TearDownEngine();
