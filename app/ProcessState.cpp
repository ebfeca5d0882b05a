#include "app/ProcessState.h"

CSoundStreamWASAPI* pSoundStream = nullptr;
CNamedValueList* pNamedValueList = nullptr;
CMultimediaTimer* pMultimediaTimer = nullptr;

CWorkerThread* pSynthesizerThread = nullptr;
double* pdfMultiChannelPacketBuffer = nullptr;

uint64_t uiBufferSizeToWrite = 0;
uint32_t uiRateIndex = 8;
uint32_t uiMaxEffectiveBits = 24;
uint32_t bEnableResolutionEnhancer = 1;
