#include "synth/SynthesizerInputs.h"

#include "runtime/CWorkerInputReader.h"
#include "runtime/Status.h"
#include "stream/ChannelCount.h"

int32_t PublishSynthesizerInputs(CWorkerThread& worker, CSoundStreamBuffer* soundBuffer, CMultimediaTimer* timer,
                                 const uint64_t* framesPerBlock)
{
    using namespace SynthesizerInput;
    const struct
    {
        const wchar_t* pszName;
        const void* pAddress;
    } parameters[] = {
        {kSoundBuffer, soundBuffer},
        {kMultimediaTimer, timer},
        {kBufferSizeToWrite, framesPerBlock},
    };
    int32_t status = kStatusFailure;
    for (const auto& parameter : parameters)
    {
        status = worker.SetParameter(parameter.pszName, reinterpret_cast<uintptr_t>(parameter.pAddress));
        if (status < 0)
            return status;
    }
    return status;
}

const wchar_t* ReadSynthesizerInputs(CWorkerThread& worker, SynthesizerInputs* inputs)
{
    using namespace SynthesizerInput;
    CWorkerInputReader reader(worker);
    void* block = nullptr;
    uint64_t bytes = 0;
    if (reader.Address(kSoundBuffer, &inputs->pSoundBuffer) && reader.Address(kMultimediaTimer, &inputs->pTimer) &&
        reader.Copy(kBufferSizeToWrite, &inputs->uiFrames))
    {
        // An empty block would make the loop spin without ever pausing.
        if (inputs->uiFrames == 0)
            reader.Refuse(kBufferSizeToWrite);
        else if (worker.GetMultichannelBuffer(&block, &bytes) != kStatusSuccess || block == nullptr ||
                 inputs->uiFrames > bytes / (kChannels * sizeof(double)))
            reader.Refuse(kMultiChannelBuffer);
    }
    inputs->pdfBlock = static_cast<double*>(block);
    return reader.Missing();
}
