#include "device/PcmFormat.h"

#include "stream/ChannelCount.h"

#include <ks.h>
#include <ksmedia.h>

#include <cstring>
#include <limits>

namespace
{
constexpr uint32_t kDeepestBlockAlign = kChannels * 32 / 8;
constexpr uint32_t kMaxSampleBits = 32;
constexpr WORD kExtensibleExtraBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
}

WAVEFORMATEXTENSIBLE MakeStereoPcmFormat(uint32_t rate, PcmDepth depth)
{
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = static_cast<WORD>(kChannels);
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = static_cast<WORD>(depth.uiContainerBits);
    format.Format.nBlockAlign = static_cast<WORD>(kChannels * depth.uiContainerBits / 8);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * rate;
    format.Format.cbSize = kExtensibleExtraBytes;
    format.Samples.wValidBitsPerSample = static_cast<WORD>(depth.uiValidBits);
    format.dwChannelMask = KSAUDIO_SPEAKER_STEREO;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

bool IsStereoPcmRateRepresentable(uint32_t rate)
{
    return rate != 0 && rate <= std::numeric_limits<uint32_t>::max() / kDeepestBlockAlign;
}

uint32_t IntegerPcmValidBits(const void* format, size_t bytes)
{
    // Copied out field by field: a blob carries no alignment promise.
    WAVEFORMATEXTENSIBLE read{};
    if (format == nullptr || bytes < sizeof(WAVEFORMATEX))
        return 0;
    std::memcpy(&read.Format, format, sizeof(WAVEFORMATEX));
    const uint32_t container = read.Format.wBitsPerSample;
    uint32_t valid = container;
    if (read.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE)
    {
        if (read.Format.cbSize < kExtensibleExtraBytes || bytes < sizeof(WAVEFORMATEXTENSIBLE))
            return 0;
        std::memcpy(&read, format, sizeof(WAVEFORMATEXTENSIBLE));
        if (read.SubFormat != KSDATAFORMAT_SUBTYPE_PCM)
            return 0;
        valid = read.Samples.wValidBitsPerSample;
    }
    else if (read.Format.wFormatTag != WAVE_FORMAT_PCM)
        return 0;
    return valid != 0 && valid <= container && container <= kMaxSampleBits ? valid : 0;
}
