#pragma once

#include "synth/CParameterRamp.h"
#include "synth/CRandomMT.h"
#include "synth/SignalGenerator.h"
#include "synth/SynthState.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

// Gives the signal generator six fresh ramps and a known process-wide state (tone mode, every
// switch off, 48 kHz) and restores whatever the process held before.
class SynthStateFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::array<CParameterRamp*, 6> ramps{&Level,       &Frequency,   &Phase,
                                                   &AMFrequency, &FMFrequency, &FMBandwidth};
        for (size_t i = 0; i < ramps.size(); ++i)
        {
            m_SavedRamps[i] = std::exchange(*RampSlots()[i], ramps[i]);
            ramps[i]->Initialize(0.0);
        }
        Level.Initialize(1.0);
        Frequency.Initialize(1000.0);
        for (size_t i = 0; i < m_SavedFlags.size(); ++i)
            m_SavedFlags[i] = Flags()[i]->exchange(0);
        m_SavedDoubles = {std::exchange(dfSamplingRate, 48000.0), std::exchange(dfAMPhase, 0.0),
                          std::exchange(dfFMPhase, 0.0)};
    }

    void TearDown() override
    {
        for (size_t i = 0; i < m_SavedRamps.size(); ++i)
            *RampSlots()[i] = m_SavedRamps[i];
        for (size_t i = 0; i < m_SavedFlags.size(); ++i)
            Flags()[i]->store(m_SavedFlags[i]);
        dfSamplingRate = m_SavedDoubles[0];
        dfAMPhase = m_SavedDoubles[1];
        dfFMPhase = m_SavedDoubles[2];
    }

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
    static std::array<CParameterRamp**, 6> RampSlots()
    {
        return {&pLevelRamp, &pFrequencyRamp, &pPhaseRamp, &pAMFrequencyRamp, &pFMFrequencyRamp, &pFMBandwidthRamp};
    }
    static std::array<std::atomic<uint32_t>*, 5> Flags() { return {&bAM, &bFM, &bNoise, &bTrigger, &bInvertTrigger}; }

    std::array<CParameterRamp*, 6> m_SavedRamps{};
    std::array<uint32_t, 5> m_SavedFlags{};
    std::array<double, 3> m_SavedDoubles{};
};
