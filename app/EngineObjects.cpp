#include "app/EngineObjects.h"

#include "app/ProcessState.h"

#include <new>

namespace
{
// The engine whose objects the process-wide pointers name; null outside Publish..TearDown.
EngineObjects* g_pPublishedEngine = nullptr;

void StopPlaybackThreads()
{
    if (pSynthesizerThread != nullptr && pSynthesizerThread->GetState() == CWorkerThread::Running)
        pSynthesizerThread->RequestStop();
    if (pSoundBuffer != nullptr)
        pSoundBuffer->RequestStop();
    if (pSoundStream->uiState != 0)
        pSoundStream->Stop();
    if (pSynthesizerThread != nullptr)
    {
        pSynthesizerThread->Join();
        pSynthesizerThread->Release();
    }
    pSoundStream->Close();
}

void FreePlaybackObjects()
{
    pdfMultiChannelPacketBuffer = nullptr;
    pSoundBuffer = nullptr;
    pSynthesizerThread = nullptr;
    if (g_pPublishedEngine == nullptr)
        return;
    g_pPublishedEngine->MultiChannelPacketBuffer.reset();
    g_pPublishedEngine->SoundBuffer.reset();
    g_pPublishedEngine->SynthesizerThread.reset();
}

void UnpublishEngineObjects()
{
    pFMBandwidthRamp = nullptr;
    pFMFrequencyRamp = nullptr;
    pAMFrequencyRamp = nullptr;
    pPhaseRamp = nullptr;
    pFrequencyRamp = nullptr;
    pLevelRamp = nullptr;
    pMultimediaTimer = nullptr;
    pNamedValueList = nullptr;
    pSoundStream = nullptr;
    g_pPublishedEngine = nullptr;
}

// Frees owner's object, then makes a new one and publishes it (null when memory ran out).
template <typename Owner, typename Published, typename Make>
bool Replace(Owner& owner, Published*& published, Make make)
{
    published = nullptr;
    owner.reset();
    owner.reset(make());
    published = owner.get();
    return published != nullptr;
}
}

void PublishEngineObjects(EngineObjects& engine)
{
    g_pPublishedEngine = &engine;
    pSoundStream = &engine.SoundStream;
    pNamedValueList = &engine.NamedValueList;
    pMultimediaTimer = &engine.MultimediaTimer;
    bNoise = 0;
    pLevelRamp = &engine.LevelRamp;
    pFrequencyRamp = &engine.FrequencyRamp;
    pPhaseRamp = &engine.PhaseRamp;
    pAMFrequencyRamp = &engine.AMFrequencyRamp;
    pFMFrequencyRamp = &engine.FMFrequencyRamp;
    pFMBandwidthRamp = &engine.FMBandwidthRamp;
    pSynthesizerThread = engine.SynthesizerThread.get();
    pSoundBuffer = engine.SoundBuffer.get();
    pdfMultiChannelPacketBuffer = engine.MultiChannelPacketBuffer.get();
}

bool ReplaceStreamBuffer()
{
    return g_pPublishedEngine != nullptr && Replace(g_pPublishedEngine->SoundBuffer, pSoundBuffer,
                                                    [] { return new (std::nothrow) CSoundStreamBuffer(); });
}

bool ReplaceSynthesizerWorker()
{
    return g_pPublishedEngine != nullptr && Replace(g_pPublishedEngine->SynthesizerThread, pSynthesizerThread,
                                                    [] { return new (std::nothrow) CWorkerThread(); });
}

bool ReplaceMultiChannelPacketBuffer(uint64_t values)
{
    return g_pPublishedEngine != nullptr &&
           Replace(g_pPublishedEngine->MultiChannelPacketBuffer, pdfMultiChannelPacketBuffer,
                   [values] { return new (std::nothrow) double[values](); });
}

void TearDownEngine()
{
    if (pSoundStream != nullptr)
        StopPlaybackThreads();
    FreePlaybackObjects();
    UnpublishEngineObjects();
}
