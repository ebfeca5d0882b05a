#include "synth/SignalGenerator.h"

#include "synth/CParameterRamp.h"
#include "synth/CRandomMT.h"
#include "synth/GaussianNoise.h"
#include "synth/SignalMath.h"
#include "synth/SynthState.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>

namespace
{
constexpr double TwoPi = 6.283185307179586;

// The ramps are published once at start-up; a block reads the pointers once.
struct RampSet
{
    CParameterRamp* pLevel;
    CParameterRamp* pFrequency;
    CParameterRamp* pPhase;
    CParameterRamp* pAMFrequency;
    CParameterRamp* pFMFrequency;
    CParameterRamp* pFMBandwidth;
};

RampSet LoadRamps()
{
    return RampSet{pLevelRamp, pFrequencyRamp, pPhaseRamp, pAMFrequencyRamp, pFMFrequencyRamp, pFMBandwidthRamp};
}

// A missing ramp reads like one without a value: 0.0.
inline double Next(CParameterRamp* ramp)
{
    double value = 0.0;
    if (ramp != nullptr)
        ramp->GetNext(&value);
    return value;
}

inline bool IsSet(const std::atomic<uint32_t>& flag)
{
    return flag.load(std::memory_order_relaxed) != 0;
}

// Advances a phase by frequency * 2*pi / fs and removes one 2*pi when it passes 2*pi (a negative
// phase is not wrapped; a frequency above fs leaves it above 2*pi). Returns whether it wrapped.
// A phase that overflowed (a frequency near the double range) restarts at 0: left infinite, it
// would make every later sample NaN.
inline bool AdvancePhase(double& phase, double frequency, double fs)
{
    phase += frequency * TwoPi / fs;
    const bool wrapped = phase > TwoPi;
    if (wrapped)
        phase -= TwoPi;
    if (!std::isfinite(phase))
        phase = 0.0;
    return wrapped;
}

// The carrier, AM and FM phases, kept in locals for the length of a block.
struct Phases
{
    double dfCarrier;
    double dfAM;
    double dfFM;
};

// Advances the AM phase and returns the modulated amplitude (full depth, peak at phase 0).
// Returns whether the phase passed 2*pi, which is where the trigger pulse falls.
inline double Modulate(double level, double amFrequency, double fs, double& amPhase, bool& wrapped)
{
    wrapped = false;
    if (!IsSet(bAM))
    {
        amPhase = 0.0;
        return level;
    }
    wrapped = AdvancePhase(amPhase, amFrequency, fs);
    return (SignalMath::Cos(amPhase) * 0.5 + 0.5) * level;
}

// The carrier's instantaneous frequency: swings over fc +- bandwidth/2 while FM is on.
inline double CarrierFrequency(double fc, double fmFrequency, double bandwidth, double fs, double& fmPhase)
{
    if (!IsSet(bFM))
    {
        fmPhase = 0.0;
        return fc;
    }
    AdvancePhase(fmPhase, fmFrequency, fs);
    return SignalMath::Sin(fmPhase) * (bandwidth * 0.5) + fc;
}

inline double TriggerSample(bool wrapped)
{
    if (!wrapped)
        return 0.0;
    return IsSet(bInvertTrigger) ? -1.0 : 1.0;
}

void FillTone(double* block, uint64_t frames, const RampSet& ramps, double fs, Phases& phases)
{
    for (uint64_t i = 0; i < frames; ++i)
    {
        const double fc = Next(ramps.pFrequency);
        const double fm = Next(ramps.pFMFrequency);
        const double bandwidth = Next(ramps.pFMBandwidth);
        const double f = CarrierFrequency(fc, fm, bandwidth, fs, phases.dfFM);
        AdvancePhase(phases.dfCarrier, f, fs);
        const double level = Next(ramps.pLevel);
        const double amFrequency = Next(ramps.pAMFrequency);
        bool wrapped = false;
        const double amplitude = Modulate(level, amFrequency, fs, phases.dfAM, wrapped);
        const double phaseOffset = Next(ramps.pPhase);
        const double v = SignalMath::Sin(phaseOffset + phases.dfCarrier) * amplitude;
        block[2 * i] = v;
        block[2 * i + 1] = IsSet(bTrigger) ? TriggerSample(wrapped) : v;
    }
}

// What the noise draws per frame: its amplitude and two random words. Noise is made in chunks:
// first the amplitudes of every frame of the chunk, then its words in one block (the ramps and
// the generator do not depend on each other), then the arithmetic, whose frames are independent
// and are computed several at a time.
constexpr uint64_t NoiseChunkFrames = 256;

struct NoiseDraws
{
    double dfAmplitude[NoiseChunkFrames];
    uint32_t uiWords[2 * NoiseChunkFrames];
};

inline double LimitAmplitude(double amplitude)
{
    return std::max(-1.0, std::min(1.0, amplitude));
}

// The AM flag is read once per chunk, so that the usual noise without AM is a plain loop; the
// AM frequency ramp still advances every frame, as it does for the tone.
void DrawNoise(NoiseDraws& draws, uint64_t frames, const RampSet& ramps, double fs, Phases& phases,
               CRandomMT& generator)
{
    if (IsSet(bAM))
    {
        for (uint64_t i = 0; i < frames; ++i)
        {
            const double level = Next(ramps.pLevel);
            const double amFrequency = Next(ramps.pAMFrequency);
            bool wrapped = false;
            draws.dfAmplitude[i] = LimitAmplitude(Modulate(level, amFrequency, fs, phases.dfAM, wrapped));
        }
    }
    else
    {
        phases.dfAM = 0.0;
        for (uint64_t i = 0; i < frames; ++i)
        {
            draws.dfAmplitude[i] = LimitAmplitude(Next(ramps.pLevel));
            Next(ramps.pAMFrequency);
        }
    }
    generator.NextWords(draws.uiWords, static_cast<size_t>(2 * frames));
}

void FillNoise(double* block, uint64_t frames, const RampSet& ramps, double fs, Phases& phases, CRandomMT& generator)
{
    NoiseDraws draws;
    for (uint64_t first = 0; first < frames; first += NoiseChunkFrames)
    {
        const uint64_t count = std::min(NoiseChunkFrames, frames - first);
        DrawNoise(draws, count, ramps, fs, phases, generator);
        FillGaussianFrames(block + 2 * first, draws.uiWords, draws.dfAmplitude, count);
    }
}

bool IsUsableRate(double fs)
{
    return fs > 0.0 && fs <= DBL_MAX;
}
}

void FillBlock(double* block, uint64_t frames, double* carrierPhase, CRandomMT* generator)
{
    if (block == nullptr || frames == 0)
        return;
    const bool noise = IsSet(bNoise);
    const double fs = dfSamplingRate;
    if (!IsUsableRate(fs) || (noise ? generator == nullptr : carrierPhase == nullptr))
    {
        std::fill(block, block + 2 * frames, 0.0);
        return;
    }
    const RampSet ramps = LoadRamps();
    Phases phases{carrierPhase != nullptr ? *carrierPhase : 0.0, dfAMPhase, dfFMPhase};
    if (noise)
        FillNoise(block, frames, ramps, fs, phases, *generator);
    else
        FillTone(block, frames, ramps, fs, phases);
    if (carrierPhase != nullptr)
        *carrierPhase = phases.dfCarrier;
    dfAMPhase = phases.dfAM;
    dfFMPhase = phases.dfFM;
}
