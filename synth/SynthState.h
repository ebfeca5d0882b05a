#pragma once

#include <atomic>
#include <cstdint>

class CParameterRamp;

// The process-wide values the signal generator reads on the synthesizer thread.

// Published and cleared by the main thread with the engine, while no synthesizer runs; the
// ramps themselves take their targets from the dialog under their own locks.
extern CParameterRamp* pLevelRamp;
extern CParameterRamp* pFrequencyRamp;
extern CParameterRamp* pPhaseRamp;
extern CParameterRamp* pAMFrequencyRamp;
extern CParameterRamp* pFMFrequencyRamp;
extern CParameterRamp* pFMBandwidthRamp;

// Mode flags: written by the dialog (main thread) while the synthesizer runs and read by it
// without a lock, hence atomic (relaxed loads and stores compile to plain aligned moves).
extern std::atomic<uint32_t> bAM;
extern std::atomic<uint32_t> bFM;
extern std::atomic<uint32_t> bNoise;
extern std::atomic<uint32_t> bTrigger;
extern std::atomic<uint32_t> bInvertTrigger;

// Written by the main thread only while no synthesizer thread runs (thread start orders the
// writes before it).
extern double dfSamplingRate;
// Written by the synthesizer thread while it runs; reset by the main thread at playback start,
// before it starts.
extern double dfAMPhase;
extern double dfFMPhase;
