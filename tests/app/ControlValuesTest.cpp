#include "app/ControlValues.h"
#include "app/RateTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{
std::wstring Attenuation(uint32_t position)
{
    wchar_t text[64];
    ControlValues::FormatAttenuation(position, text, 64);
    return text;
}

std::wstring Fixed(double value, uint32_t decimals)
{
    wchar_t text[64];
    ControlValues::FormatFixed(value, decimals, text, 64);
    return text;
}

std::wstring MinimumLevel(uint32_t bits)
{
    wchar_t text[64] = L"unchanged";
    ControlValues::FormatMinimumLevel(bits, text, 64);
    return text;
}

TEST(ControlValues, SlidersMapToTheirValues)
{
    EXPECT_DOUBLE_EQ(ControlValues::CarrierFrequency(0), 31.25);
    EXPECT_DOUBLE_EQ(ControlValues::CarrierFrequency(5000), 1000.0);
    EXPECT_DOUBLE_EQ(ControlValues::CarrierFrequency(6000), 2000.0);
    EXPECT_EQ(Fixed(ControlValues::CarrierFrequency(10500), 8), L"45254.83399594");
    EXPECT_DOUBLE_EQ(ControlValues::Phase(2000), 2.0);
    EXPECT_DOUBLE_EQ(ControlValues::AMFrequency(1000), 50.0);
    EXPECT_DOUBLE_EQ(ControlValues::FMFrequency(100), 10.0);
    EXPECT_DOUBLE_EQ(ControlValues::FMBandwidth(40000), 40000.0);
    EXPECT_DOUBLE_EQ(ControlValues::LevelOfAttenuation(0), 1.0);
    EXPECT_NEAR(ControlValues::LevelOfAttenuation(1400), 1e-7, 1e-20);
    EXPECT_NEAR(ControlValues::LevelOfAttenuation(60), 0.501187233627, 1e-12);
}

TEST(ControlValues, AttenuationTextHasOneDecimalAndNoLeadingZeros)
{
    EXPECT_EQ(Attenuation(0), L"-0.0 dB");
    EXPECT_EQ(Attenuation(5), L"-0.5 dB");
    EXPECT_EQ(Attenuation(63), L"-6.3 dB");
    EXPECT_EQ(Attenuation(100), L"-10.0 dB");
    EXPECT_EQ(Attenuation(1400), L"-140.0 dB");
    EXPECT_EQ(Attenuation(9999), L"-999.9 dB");
}

TEST(ControlValues, DisplaysPrintTheirDecimalCount)
{
    EXPECT_EQ(Fixed(1000.0, 8), L"1000.00000000");
    EXPECT_EQ(Fixed(0.0, 3), L"0.000");
    EXPECT_EQ(Fixed(0.05, 2), L"0.05");
    EXPECT_EQ(Fixed(40000.0, 2), L"40000.00");
    wchar_t small[4];
    ControlValues::FormatFixed(45254.833, 8, small, 4);
    EXPECT_LT(std::wstring(small).size(), 4u) << "a short buffer stays terminated";
}

TEST(ControlValues, CarrierSliderTopSitsJustBelowNyquist)
{
    const struct
    {
        double dfRate;
        uint32_t uiMaximum;
    } rows[] = {{8000.0, 6900},   {44100.0, 9400},   {48000.0, 9500},
                {96000.0, 10500}, {192000.0, 11500}, {384000.0, 12500}};
    for (const auto& row : rows)
        EXPECT_EQ(ControlValues::CarrierSliderMaximum(row.dfRate), row.uiMaximum) << row.dfRate;
    EXPECT_LT(ControlValues::CarrierFrequency(6900), 4000.0);
    EXPECT_EQ(ControlValues::CarrierSliderMaximum(0.0), 0u);
    EXPECT_EQ(ControlValues::CarrierSliderMaximum(std::nan("")), 0u);
    EXPECT_LE(ControlValues::CarrierSliderMaximum(std::numeric_limits<double>::infinity()),
              static_cast<uint32_t>(std::numeric_limits<int32_t>::max()));
}

TEST(ControlValues, BitsTextIsReadAsAnUnsignedDecimal)
{
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"0"), 2u);
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"1"), 2u);
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"\xFF11\xFF16"), 16u) << "full-width digits";
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"2\xFF14"), 24u) << "mixed widths";
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"\xFF0F"), 32u) << "the character before the full-width 0";
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"40"), 32u);
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L""), 32u);
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"x5"), 32u);
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"99999999999999999999"), 32u);
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(L"16"), 16u);
    EXPECT_EQ(ControlValues::EffectiveBitsFromText(nullptr), 32u);
    uint32_t value = 7;
    EXPECT_FALSE(ControlValues::ParseUnsigned(L"", &value));
    EXPECT_EQ(value, 7u);
    EXPECT_TRUE(ControlValues::ParseUnsigned(L"12abc", &value));
    EXPECT_EQ(value, 12u);
}

TEST(ControlValues, MinimumLevelCoversTwoToThirtyTwoBits)
{
    EXPECT_EQ(MinimumLevel(24), L"-138.5");
    EXPECT_EQ(MinimumLevel(16), L"-90.3");
    EXPECT_EQ(MinimumLevel(2), L"-6.0");
    EXPECT_EQ(MinimumLevel(32), L"-186.6");
    EXPECT_EQ(MinimumLevel(1), L"");
    EXPECT_EQ(MinimumLevel(0), L"");
    EXPECT_EQ(MinimumLevel(33), L"");
}

TEST(RateTable, ListRunsFromEightTo384KilohertzOverRowsInDescendingOrder)
{
    EXPECT_STREQ(RateTable::ListText(0), L"8 kHz");
    EXPECT_STREQ(RateTable::ListText(2), L"11.025 kHz");
    EXPECT_STREQ(RateTable::ListText(11), L"96 kHz");
    EXPECT_STREQ(RateTable::ListText(16), L"288.0 kHz");
    EXPECT_STREQ(RateTable::ListText(19), L"384 kHz");
    EXPECT_EQ(RateTable::ListText(20), nullptr);
    EXPECT_EQ(RateTable::RowOfEntry(11), 8u);
    for (uint32_t row = 1; row < RateTable::kRowCount; ++row)
        EXPECT_LT(RateTable::Kilohertz(row), RateTable::Kilohertz(row - 1));
    EXPECT_EQ(RateTable::WholeHertz(RateTable::RowOfEntry(2)), 11025u);
    EXPECT_EQ(RateTable::WholeHertz(RateTable::RowOfEntry(5)), 22050u);
    EXPECT_EQ(RateTable::WholeHertz(RateTable::RowOfEntry(8)), 44100u);
    EXPECT_EQ(RateTable::WholeHertz(RateTable::RowOfEntry(17)), 308700u);
    EXPECT_DOUBLE_EQ(RateTable::Hertz(RateTable::RowOfEntry(1)), 9.6 * 1000.0);
    EXPECT_EQ(RateTable::WholeHertz(20), 0u);
}
}
