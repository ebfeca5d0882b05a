#include "app/CarrierRange.h"

#include "app/ControlValues.h"
#include "app/SControlPanel.h"
#include "synth/CParameterRamp.h"
#include "synth/SynthState.h"

namespace CarrierRange
{
void ApplyRate(SControlPanel& panel, double samplingRate)
{
    const uint32_t position = panel.LimitCarrierSlider(ControlValues::CarrierSliderMaximum(samplingRate));
    const double frequency = ControlValues::CarrierFrequency(position);
    if (pFrequencyRamp != nullptr)
        pFrequencyRamp->SetTarget(frequency);
    panel.ShowCarrierFrequency(frequency);
}
}
