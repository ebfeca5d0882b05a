#include "app/EngineObjects.h"

#include "runtime/CWorkerThread.h"
#include "runtime/ProcessState.h"
#include "stream/CSoundStreamBuffer.h"

namespace
{
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
    delete[] pdfMultiChannelPacketBuffer;
    pdfMultiChannelPacketBuffer = nullptr;
    delete pSoundBuffer;
    pSoundBuffer = nullptr;
    delete pSynthesizerThread;
    pSynthesizerThread = nullptr;
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
}
}

void PublishEngineObjects(EngineObjects& engine)
{
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
}

void TearDownEngine()
{
    if (pSoundStream != nullptr)
        StopPlaybackThreads();
    FreePlaybackObjects();
    UnpublishEngineObjects();
}
