#pragma once

#include "device/CSoundStreamWASAPI.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CNamedValueList.h"
#include "synth/CParameterRamp.h"

// The long-lived engine objects, constructed in this order (the stream first: it enters the
// main thread into its COM apartment) and destroyed in the reverse one.
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
};

// Makes the objects reachable through the process-wide pointers.
void PublishEngineObjects(EngineObjects& engine);

// Ends every thread before anything it uses is freed, frees the per-playback objects and
// clears the process-wide pointers. Normally the dialog's close has stopped playback already;
// this covers any other ending.
void TearDownEngine();
