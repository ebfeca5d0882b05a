#include "stream/BufferCallbackFunction.h"

#include "runtime/CNamedValueList.h"
#include "runtime/Status.h"
#include "stream/CSoundStreamBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{
constexpr double kRate = 4800.0; // 48-frame blocks
constexpr uint64_t kBlock = 48;
const double kUntouched = std::numeric_limits<double>::quiet_NaN();

class BufferCallbackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        double duration = 0.01;
        ASSERT_EQ(buffer.Initialize(kRate, &duration), kStatusSuccess);
        ASSERT_EQ(buffer.GetBlockFrames(), kBlock);
        previous = pSoundBuffer;
        pSoundBuffer = &buffer;
        packetBuffer.assign(kBlock * 2, 0.0);
        ASSERT_EQ(list.SetPacketBuffer(reinterpret_cast<uintptr_t>(packetBuffer.data())), kStatusSuccess);
        WriteTone(40 * kBlock);
        // Draining ignores the queue's watermarks: every read takes exactly one block.
        ASSERT_EQ(buffer.RequestStop(), kStatusSuccess);
    }
    void TearDown() override { pSoundBuffer = previous; }

    void WriteTone(uint64_t frames)
    {
        std::vector<double> values(frames * 2);
        for (uint64_t i = 0; i < values.size(); ++i)
            values[i] = 0.5 * std::sin(0.01 * static_cast<double>(i) + 0.1);
        uint64_t count = frames;
        ASSERT_EQ(buffer.Write(values.data(), &count), kStatusSuccess);
        ASSERT_EQ(count, frames);
    }

    // A render packet of `capacity` frames whose samples and valid count show what was written.
    void MakePacket(uint64_t capacity, uint32_t kind = SoundStreamPacketRender, uint32_t channels = 2)
    {
        samples.assign(capacity * channels + 8, kUntouched);
        packet = SoundStreamPacket{nullptr, kind, channels, capacity, 12345, samples.data()};
    }

    // Calls the callback until the stream buffer hands out audio (after its leading silence).
    intptr_t CallUntilAudio()
    {
        for (int i = 0; i < 20; ++i)
        {
            const intptr_t result = BufferCallbackFunction(&packet, &list);
            if (result != 1 || packetBuffer[kBlock] != 0.0)
                return result;
        }
        return -1;
    }

    uint64_t QueuedFrames() { return buffer.GetQueueStatus().uiFillLevel; }

    CSoundStreamBuffer buffer;
    CSoundStreamBuffer* previous = nullptr;
    CNamedValueList list;
    std::vector<double> packetBuffer;
    std::vector<double> samples;
    SoundStreamPacket packet{};
};
}

TEST_F(BufferCallbackTest, PacketReceivesTheBlockThenZerosUpToItsCapacity)
{
    for (const uint64_t capacity : {kBlock, kBlock + 10})
    {
        MakePacket(capacity);
        ASSERT_EQ(CallUntilAudio(), 1);
        EXPECT_EQ(packet.uiValidFrames, kBlock);
        for (uint64_t i = 0; i < capacity * 2; ++i)
            ASSERT_EQ(samples[i], i < kBlock * 2 ? packetBuffer[i] : 0.0) << capacity << " frames, value " << i;
        EXPECT_TRUE(std::isnan(samples[capacity * 2])) << "nothing written past the capacity";
    }
}

// Nothing is written and the stream ends. A packet that cannot hold a block leaves the stream
// buffer where it was; a packet or list that cannot take the block lets it advance by one.
TEST_F(BufferCallbackTest, PacketsThatCannotTakeTheBlockGetNothing)
{
    struct Case
    {
        uint64_t capacity;
        uint32_t kind;
        uint32_t channels;
        void* user;
        uint64_t taken;
    };
    CNamedValueList empty;
    MakePacket(kBlock);
    ASSERT_EQ(CallUntilAudio(), 1);
    for (const Case c :
         {Case{kBlock - 1, SoundStreamPacketRender, 2, &list, 0}, Case{kBlock, SoundStreamPacketNone, 2, &list, 0},
          Case{kBlock, SoundStreamPacketCapture, 2, &list, kBlock},
          Case{kBlock, SoundStreamPacketRender, 1, &list, kBlock},
          Case{kBlock, SoundStreamPacketRender, 2, &empty, kBlock},
          Case{kBlock, SoundStreamPacketRender, 2, nullptr, kBlock}})
    {
        MakePacket(c.capacity, c.kind, c.channels);
        const uint64_t queued = QueuedFrames();
        EXPECT_EQ(BufferCallbackFunction(&packet, c.user), 0) << "kind " << c.kind << " channels " << c.channels;
        EXPECT_EQ(QueuedFrames(), queued - c.taken) << "kind " << c.kind << " capacity " << c.capacity;
        EXPECT_EQ(packet.uiValidFrames, 12345u);
        EXPECT_TRUE(std::isnan(samples[0]));
    }
}

TEST_F(BufferCallbackTest, ElementWithTheSameCodeUnitSumIsTakenForThePacketBuffer)
{
    CNamedValueList anagram;
    std::vector<double> other(kBlock * 2, 0.0);
    const auto append = [&](const wchar_t* name, double* address) {
        uint64_t index = 0;
        ASSERT_EQ(anagram.Append(&index), kStatusSuccess);
        CNamedValue* element = anagram.At(index);
        element->SetName(name);
        element->uiType = CNamedValue::Integer64B;
        element->uiInteger64 = reinterpret_cast<uintptr_t>(address);
    };
    append(L"reffuBtekcaPlennahCitluMfdp", other.data());
    append(L"pdfMultiChannelPacketBuffer", packetBuffer.data());

    MakePacket(kBlock);
    for (int i = 0; i < 20 && other[kBlock] == 0.0; ++i)
        ASSERT_EQ(BufferCallbackFunction(&packet, &anagram), 1);
    EXPECT_NE(other[kBlock], 0.0) << "the anagram's buffer received the audio";
    EXPECT_EQ(packetBuffer[kBlock], 0.0);
    EXPECT_EQ(samples[kBlock], other[kBlock]);
}

TEST_F(BufferCallbackTest, ReleasedOrAbsentStreamBufferEndsTheStream)
{
    MakePacket(kBlock);
    buffer.Release();
    EXPECT_EQ(BufferCallbackFunction(&packet, &list), 0);
    EXPECT_EQ(packet.uiValidFrames, 12345u);
    EXPECT_TRUE(std::isnan(samples[0]));
    pSoundBuffer = nullptr;
    EXPECT_EQ(BufferCallbackFunction(&packet, &list), 0);
    EXPECT_EQ(BufferCallbackFunction(nullptr, &list), 0);
}
