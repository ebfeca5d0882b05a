#pragma once

#include "stream/CFrameQueue.h"

#include <cstdint>

// The hand-over point between the synthesizer thread (Write) and the device thread (Read).
// Output runs one block behind the queue, so that a shortage fades out over the last block of
// audio and returning data (also the first) fades in; after RequestStop the queue drains and the output falls
// silent.
class CSoundStreamBuffer
{
public:
    CSoundStreamBuffer();
    ~CSoundStreamBuffer();
    CSoundStreamBuffer(const CSoundStreamBuffer&) = delete;
    CSoundStreamBuffer& operator=(const CSoundStreamBuffer&) = delete;

    // `duration` holds the wanted block duration in seconds and receives the one used.
    // 1; -1; -2 an array could not be allocated; -4; -5; or the queue's set-up status.
    int32_t Initialize(double rate, double* duration);
    // Maximum queue capacity in frames (0 = no limit). 1 or -1.
    int32_t LimitCapacity(uint64_t frames);
    // `count` holds the frames offered and receives the frames accepted. 1, 0 when stopping,
    // or a negative status (-4 for a null pointer). Synthesizer thread only.
    int32_t Write(const double* frames, uint64_t* count);
    // Writes exactly one block (audio, faded audio or silence) to `destination` (may be null).
    // 1, or -1 when not set up. Device thread only.
    int32_t Read(double* destination);
    // 1 when the stop flag was set, else 0.
    int32_t RequestStop();
    int32_t Release();
    uint64_t GetBlockFrames() const;
    // Seconds of audio held at the working point: one block plus the queue's middle watermark.
    double GetLatency();
    uint64_t GetChannels() const { return m_uiChannels; }

    // A copy of the queue's fields (for diagnostics and tests).
    FrameQueueStatus GetQueueStatus() { return m_Queue.GetStatus(); }

private:
    int32_t AllocateArrays(uint64_t blockFrames);
    void FreeArrays();
    void FadeOut(uint64_t framesObtained);
    void FadeIn();
    void SilenceCurrentBlock(uint64_t fromFrame);
    void Output(double* destination);

    int32_t m_iState;
    double m_dfSamplingRate;
    uint64_t m_uiChannels;
    double m_dfBlockDuration;
    uint64_t m_uiBlockFrames;
    CFrameQueue m_Queue;
    double* m_pdfFadeRamp;
    int32_t m_bFaded;
    double* m_pdfCurrentBlock;
    double* m_pdfHeldBlock;
};
