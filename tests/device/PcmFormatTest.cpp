#include "device/PcmFormat.h"

#include <ks.h>
#include <ksmedia.h>

#include <gtest/gtest.h>

// A device format read from a property blob: only whole, consistent integer PCM counts.
TEST(PcmFormat, ValidBitsOfABlobAreReadOnlyFromWholeIntegerPcm)
{
    const WAVEFORMATEXTENSIBLE padded = MakeStereoPcmFormat(48000, {32, 24});
    WAVEFORMATEXTENSIBLE plain = MakeStereoPcmFormat(48000, {16, 16});
    plain.Format.wFormatTag = WAVE_FORMAT_PCM;
    WAVEFORMATEXTENSIBLE floating = padded;
    floating.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    WAVEFORMATEXTENSIBLE overlong = padded;
    overlong.Samples.wValidBitsPerSample = 33;
    struct Case
    {
        const WAVEFORMATEXTENSIBLE* format;
        size_t bytes;
        uint32_t valid;
    };
    const Case cases[] = {
        {&padded, sizeof padded, 24},
        {&plain, sizeof plain.Format, 16},
        {&floating, sizeof floating, 0},
        {&overlong, sizeof overlong, 0},
        {&padded, sizeof padded - 1, 0},
        {&plain, 17, 0},
        {nullptr, 40, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntegerPcmValidBits(c.format, c.bytes), c.valid) << &c - cases;
}

TEST(PcmFormat, RatesWhoseByteRateOverflowsAreNotRepresentable)
{
    EXPECT_FALSE(IsStereoPcmRateRepresentable(0));
    EXPECT_TRUE(IsStereoPcmRateRepresentable(536870911));
    EXPECT_FALSE(IsStereoPcmRateRepresentable(536870912));
}
