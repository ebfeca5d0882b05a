#pragma once

#include <atomic>
#include <cstdint>

// The process-wide state that the dialog, playback control, synthesizer and buffer callback
// share. The engine objects are only named here; whoever dereferences them includes their header.
class CSoundStreamWASAPI;
class CNamedValueList;
class CMultimediaTimer;
class CParameterRamp;
class CSoundStreamBuffer;
class CWorkerThread;

extern CSoundStreamWASAPI* pSoundStream;
extern CNamedValueList* pNamedValueList;
extern CMultimediaTimer* pMultimediaTimer;

extern CParameterRamp* pLevelRamp;
extern CParameterRamp* pFrequencyRamp;
extern CParameterRamp* pPhaseRamp;
extern CParameterRamp* pAMFrequencyRamp;
extern CParameterRamp* pFMFrequencyRamp;
extern CParameterRamp* pFMBandwidthRamp;

extern CSoundStreamBuffer* pSoundBuffer;
extern CWorkerThread* pSynthesizerThread;
extern double* pdfMultiChannelPacketBuffer;

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

extern uint64_t uiBufferSizeToWrite;
extern uint32_t uiRateIndex;
extern uint32_t uiMaxEffectiveBits;
extern uint32_t bEnableResolutionEnhancer;
