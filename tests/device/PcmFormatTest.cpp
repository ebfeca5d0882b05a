#include "device/PcmFormat.h"

#include <ks.h>
#include <ksmedia.h>

#include <gtest/gtest.h>

TEST(PcmFormat, FieldsFollowTheContainerDepth)
{
    struct Case { uint32_t bits; WORD blockAlign; };
    for (const Case c : {Case{32, 8}, Case{24, 6}, Case{16, 4}})
    {
        const WAVEFORMATEXTENSIBLE format = MakeStereoPcmFormat(96000, c.bits);
        EXPECT_EQ(format.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
        EXPECT_EQ(format.Format.nChannels, 2);
        EXPECT_EQ(format.Format.nSamplesPerSec, 96000u);
        EXPECT_EQ(format.Format.wBitsPerSample, c.bits);
        EXPECT_EQ(format.Format.nBlockAlign, c.blockAlign);
        EXPECT_EQ(format.Format.nAvgBytesPerSec, c.blockAlign * 96000u);
        EXPECT_EQ(format.Format.cbSize, 22);
        EXPECT_EQ(format.Samples.wValidBitsPerSample, c.bits);
        EXPECT_EQ(format.dwChannelMask, 0u);
        EXPECT_TRUE(format.SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
    }
}

TEST(PcmFormat, RatesWhoseByteRateOverflowsAreNotRepresentable)
{
    EXPECT_FALSE(IsStereoPcmRateRepresentable(0));
    EXPECT_TRUE(IsStereoPcmRateRepresentable(384000));
    EXPECT_TRUE(IsStereoPcmRateRepresentable(536870911));
    EXPECT_FALSE(IsStereoPcmRateRepresentable(536870912));
}
