#pragma once

class SControlPanel;

namespace CarrierRange
{
// Fits the carrier to a sampling rate in Hz: the slider's top just under the rate's Nyquist
// frequency, the thumb pulled inside, and the thumb's frequency to the carrier ramp and its
// readout, so that the tone never lies above what the rate can carry. The one place that does
// so, for a change of the rate list and for the rate a search accepted.
void ApplyRate(SControlPanel& panel, double samplingRate);
}
