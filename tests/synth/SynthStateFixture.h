#pragma once

#include "synth/CParameterRamp.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"

#include <gtest/gtest.h>

#include <vector>

// Gives the signal generator six fresh ramps and a known process-wide state (tone mode, every
// switch off, 48 kHz) and restores whatever the process held before.
class SynthStateFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SaveState();
        pLevelRamp = &Level;
        pFrequencyRamp = &Frequency;
        pPhaseRamp = &Phase;
        pAMFrequencyRamp = &AMFrequency;
        pFMFrequencyRamp = &FMFrequency;
        pFMBandwidthRamp = &FMBandwidth;
        for (CParameterRamp* ramp : {&Level, &Frequency, &Phase, &AMFrequency, &FMFrequency, &FMBandwidth})
            ramp->Initialize(0.0);
        Level.Initialize(1.0);
        Frequency.Initialize(1000.0);
        for (std::atomic<uint32_t>* flag : {&bAM, &bFM, &bNoise, &bTrigger, &bInvertTrigger})
            flag->store(0);
        dfSamplingRate = 48000.0;
        dfAMPhase = 0.0;
        dfFMPhase = 0.0;
    }

    void TearDown() override { RestoreState(); }

    // One block from the current state, with the fixture's carrier phase and generator.
    std::vector<double> Fill(uint64_t frames)
    {
        std::vector<double> block(frames * 2, -99.0);
        FillBlock(block.data(), frames, &CarrierPhase, &Generator);
        return block;
    }

    CParameterRamp Level, Frequency, Phase, AMFrequency, FMFrequency, FMBandwidth;
    double CarrierPhase = 0.0;
    CRandomMT Generator;

private:
    void SaveState()
    {
        m_Ramps = {pLevelRamp, pFrequencyRamp, pPhaseRamp, pAMFrequencyRamp, pFMFrequencyRamp, pFMBandwidthRamp};
        m_Flags = {bAM.load(), bFM.load(), bNoise.load(), bTrigger.load(), bInvertTrigger.load()};
        m_Doubles = {dfSamplingRate, dfAMPhase, dfFMPhase};
    }

    void RestoreState()
    {
        pLevelRamp = m_Ramps[0];
        pFrequencyRamp = m_Ramps[1];
        pPhaseRamp = m_Ramps[2];
        pAMFrequencyRamp = m_Ramps[3];
        pFMFrequencyRamp = m_Ramps[4];
        pFMBandwidthRamp = m_Ramps[5];
        bAM = m_Flags[0];
        bFM = m_Flags[1];
        bNoise = m_Flags[2];
        bTrigger = m_Flags[3];
        bInvertTrigger = m_Flags[4];
        dfSamplingRate = m_Doubles[0];
        dfAMPhase = m_Doubles[1];
        dfFMPhase = m_Doubles[2];
    }

    std::vector<CParameterRamp*> m_Ramps;
    std::vector<uint32_t> m_Flags;
    std::vector<double> m_Doubles;
};
