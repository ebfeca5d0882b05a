#pragma once

#include <cstddef>
#include <cstdint>

// The numbers behind the control panel's sliders and displays, free of any window code.
namespace ControlValues
{
// Wide characters of a readout's text, and the decimals the carrier frequency is shown with.
constexpr size_t kDisplayCapacity = 64;
constexpr uint32_t kCarrierDecimals = 8;

// Rounds half away from zero; NaN and values at or below 0 give 0, values beyond the range saturate.
uint64_t RoundHalfAwayNonNegative(double value);

// Slider positions to values: carrier Hz (one octave per 1000 positions, 1000 Hz at 5000),
// phase in radians, AM and FM frequency in Hz, FM bandwidth in Hz.
double CarrierFrequency(uint32_t position);
double Phase(uint32_t position);
double AMFrequency(uint32_t position);
double FMFrequency(uint32_t position);
double FMBandwidth(uint32_t position);

// Level slider position (tenths of a dB of attenuation) to linear amplitude: 0 gives 1.0.
double LevelOfAttenuation(uint32_t tenthsOfDecibel);
// Level slider position to its display, "-6.3 dB"; positions up to 9999 are exact.
void FormatAttenuation(uint32_t tenthsOfDecibel, wchar_t* text, size_t capacity);

// Prints value with the given number of decimals into text (always terminated).
void FormatFixed(double value, uint32_t decimals, wchar_t* text, size_t capacity);

// Carrier slider maximum for a maximum sampling rate in Hz: just under its Nyquist
// frequency, in steps of 100 positions.
uint32_t CarrierSliderMaximum(double samplingRate);

// Parses a leading unsigned decimal of ASCII or full-width digits, mixed as typed (saturating
// at UINT32_MAX); false when text does not start with a digit.
bool ParseUnsigned(const wchar_t* text, uint32_t* value);

// Maximum effective bits from the bits edit's text: not a number gives 32, below 2 gives 2,
// above 32 gives 32.
uint32_t EffectiveBitsFromText(const wchar_t* text);

// Logical minimum level for n effective bits ("-138.5" for 24). Returns false, with text
// emptied, when n lies outside 2 to 32.
bool FormatMinimumLevel(uint32_t effectiveBits, wchar_t* text, size_t capacity);
}
