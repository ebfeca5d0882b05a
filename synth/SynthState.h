#pragma once

#include <atomic>
#include <cstdint>

class CParameterRamp;

// The process-wide values the signal generator reads: the application creates and publishes
// the ramps, sets the flags from the dialog and the rate and phases at playback start.
extern CParameterRamp* pLevelRamp;
extern CParameterRamp* pFrequencyRamp;
extern CParameterRamp* pPhaseRamp;
extern CParameterRamp* pAMFrequencyRamp;
extern CParameterRamp* pFMFrequencyRamp;
extern CParameterRamp* pFMBandwidthRamp;

// Mode flags: written by the dialog while the synthesizer runs and read by it without a lock,
// hence atomic (relaxed loads and stores compile to plain aligned moves).
extern std::atomic<uint32_t> bAM;
extern std::atomic<uint32_t> bFM;
extern std::atomic<uint32_t> bNoise;
extern std::atomic<uint32_t> bTrigger;
extern std::atomic<uint32_t> bInvertTrigger;

// Written only while no synthesizer thread runs (thread start orders the writes before it).
extern double dfSamplingRate;
// Owned by the synthesizer thread while it runs; reset by playback start before it starts.
extern double dfAMPhase;
extern double dfFMPhase;
