#include "synth/SynthState.h"

CParameterRamp* pLevelRamp = nullptr;
CParameterRamp* pFrequencyRamp = nullptr;
CParameterRamp* pPhaseRamp = nullptr;
CParameterRamp* pAMFrequencyRamp = nullptr;
CParameterRamp* pFMFrequencyRamp = nullptr;
CParameterRamp* pFMBandwidthRamp = nullptr;

std::atomic<uint32_t> bAM{0};
std::atomic<uint32_t> bFM{0};
std::atomic<uint32_t> bNoise{0};
std::atomic<uint32_t> bTrigger{0};
std::atomic<uint32_t> bInvertTrigger{0};

double dfSamplingRate = 0.0;
double dfAMPhase = 0.0;
double dfFMPhase = 0.0;
