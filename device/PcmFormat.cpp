#include "device/PcmFormat.h"

#include "stream/ChannelCount.h"

#include <ks.h>
#include <ksmedia.h>

#include <limits>

namespace
{
constexpr uint32_t kDeepestBlockAlign = kChannels * 32 / 8;
}

WAVEFORMATEXTENSIBLE MakeStereoPcmFormat(uint32_t rate, uint32_t bitCount)
{
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = static_cast<WORD>(kChannels);
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = static_cast<WORD>(bitCount);
    format.Format.nBlockAlign = static_cast<WORD>(kChannels * bitCount / 8);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * rate;
    format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = static_cast<WORD>(bitCount);
    format.dwChannelMask = 0;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

bool IsStereoPcmRateRepresentable(uint32_t rate)
{
    return rate != 0 && rate <= std::numeric_limits<uint32_t>::max() / kDeepestBlockAlign;
}
