#include "app/Application.h"

#include "app/ControlPanelDialog.h"
#include "app/ResourceIds.h"
#include "device/CSoundStreamWASAPI.h"
#include "runtime/CMultimediaTimer.h"
#include "runtime/CNamedValueList.h"
#include "runtime/CWorkerThread.h"
#include "runtime/ProcessState.h"
#include "stream/CSoundStreamBuffer.h"
#include "synth/CParameterRamp.h"

#include <commctrl.h>

namespace
{
// The long-lived objects, constructed in this order (the stream first: it enters the main
// thread into its COM apartment) and destroyed in the reverse one.
struct EngineObjects
{
    CSoundStreamWASAPI SoundStream;
    CNamedValueList NamedValueList;
    CMultimediaTimer MultimediaTimer;
    CParameterRamp LevelRamp;
    CParameterRamp FrequencyRamp;
    CParameterRamp PhaseRamp;
    CParameterRamp AMFrequencyRamp;
    CParameterRamp FMFrequencyRamp;
    CParameterRamp FMBandwidthRamp;
};

void Publish(EngineObjects& engine)
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

void Unpublish()
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

// Ends every thread before anything it uses is freed, then frees the per-playback objects.
// Normally the dialog's close has stopped playback already; this covers any other ending.
void TearDownPlayback()
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

    delete[] pdfMultiChannelPacketBuffer;
    pdfMultiChannelPacketBuffer = nullptr;
    delete pSoundBuffer;
    pSoundBuffer = nullptr;
    delete pSynthesizerThread;
    pSynthesizerThread = nullptr;
}
}

int RunApplication(HINSTANCE instance)
{
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    INT_PTR result = -1;
    {
        EngineObjects engine;
        Publish(engine);
        result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONTROL_PANEL), nullptr, ControlPanelDialogProc,
                                 reinterpret_cast<LPARAM>(instance));
        TearDownPlayback();
        Unpublish();
    }
    return static_cast<int>(result);
}
