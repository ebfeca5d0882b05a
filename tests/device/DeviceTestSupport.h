#pragma once

#include "device/CSoundStreamWASAPI.h"
#include "tests/device/FakeAudioSystem.h"

#include <ks.h>
#include <ksmedia.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Endpoint configurations the device tests share.
FakeEndpointConfig ExclusiveEndpoint(std::vector<uint32_t> rates, std::vector<FakePcmBits> bits);
// Shared mode as Windows behaves: S_FALSE away from the mix rate, Initialize only with the
// rate-conversion flags.
FakeEndpointConfig WindowsSharedEndpoint(uint32_t mixRate, std::vector<FakePcmBits> bits = {16, 24, 32});

// An engine device format as the property store's blob: stereo integer PCM (or, given another
// subformat, floating point) as a WAVEFORMATEXTENSIBLE.
std::vector<uint8_t> IntegerDeviceFormat(uint32_t containerBits, uint32_t validBits,
                                         const GUID& subFormat = KSDATAFORMAT_SUBTYPE_PCM);

// Endpoints modelled on documented device classes, with their shared engine at 48 kHz unless
// said otherwise. A USB DAC: exclusive 32-bit containers with 24 valid bits or 16 bits from
// 44.1 to 384 kHz, buffers aligned to 32 frames; device format 24 bits in 32.
FakeEndpointConfig UsbDac();
// An HD-audio codec: exclusive 16, 24, 32 bits and 24 in 32 from 44.1 to 192 kHz.
FakeEndpointConfig HdAudioCodec();
// A Bluetooth headset: no exclusive mode, the engine at 44.1 kHz with a 16-bit device format
// and no raw mode.
FakeEndpointConfig BluetoothHeadset();
// An HDMI output: the engine mixes 5.1, exclusive mode takes stereo 16 and 24 bits.
FakeEndpointConfig HdmiOutput();

// A stream object over a fake audio system. On tear-down the stream is closed and every
// reference it took must have been released exactly once.
class StreamTest : public ::testing::Test
{
protected:
    void TearDown() override;

    FakeAudioSystem system;
    CSoundStreamWASAPI stream;
};

// Calls of `method` on `endpoint`, one recorded argument of each.
std::vector<int64_t> ArgumentsOf(const FakeEndpoint& endpoint, FakeMethod method, int64_t FakeCall::*argument);

// What this process writes with OutputDebugString while the capture lives, taken as a debugger
// takes it: the call raises a debug-print exception, which a vectored handler sees first and
// ends. One capture at a time; under a debugger, the debugger takes the lines first.
class CDebugOutputCapture
{
public:
    CDebugOutputCapture();
    ~CDebugOutputCapture();
    CDebugOutputCapture(const CDebugOutputCapture&) = delete;
    CDebugOutputCapture& operator=(const CDebugOutputCapture&) = delete;

    const std::wstring& Text() const;

private:
    void* m_pHandler = nullptr;
};
