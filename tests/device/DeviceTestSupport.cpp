#include "tests/device/DeviceTestSupport.h"

#include "device/PcmFormat.h"

FakeEndpointConfig ExclusiveEndpoint(std::vector<uint32_t> rates, std::vector<FakePcmBits> bits)
{
    FakeEndpointConfig config;
    config.exclusiveRates = std::move(rates);
    config.exclusiveBits = std::move(bits);
    return config;
}

FakeEndpointConfig WindowsSharedEndpoint(uint32_t mixRate, std::vector<FakePcmBits> bits)
{
    FakeEndpointConfig config;
    config.windowsSharedMode = true;
    config.mixRate = mixRate;
    config.sharedBits = std::move(bits);
    return config;
}

std::vector<uint8_t> IntegerDeviceFormat(uint32_t containerBits, uint32_t validBits, const GUID& subFormat)
{
    WAVEFORMATEXTENSIBLE format = MakeStereoPcmFormat(48000, {containerBits, validBits});
    format.SubFormat = subFormat;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&format);
    return std::vector<uint8_t>(bytes, bytes + sizeof format);
}

FakeEndpointConfig UsbDac()
{
    FakeEndpointConfig config = WindowsSharedEndpoint(48000);
    config.exclusiveRates = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
    config.exclusiveBits = {{32, 24}, 16};
    config.exclusiveAlignment = 32;
    config.engineDeviceFormat = IntegerDeviceFormat(32, 24);
    return config;
}

FakeEndpointConfig HdAudioCodec()
{
    FakeEndpointConfig config = WindowsSharedEndpoint(48000);
    config.exclusiveRates = {44100, 48000, 88200, 96000, 176400, 192000};
    config.exclusiveBits = {32, {32, 24}, 24, 16};
    config.engineDeviceFormat = IntegerDeviceFormat(24, 24);
    return config;
}

FakeEndpointConfig BluetoothHeadset()
{
    FakeEndpointConfig config = WindowsSharedEndpoint(44100);
    config.engineDeviceFormat = IntegerDeviceFormat(16, 16);
    config.rawModeAnswer = AUDCLNT_E_RAW_MODE_UNSUPPORTED;
    return config;
}

FakeEndpointConfig HdmiOutput()
{
    FakeEndpointConfig config = WindowsSharedEndpoint(48000);
    config.mixChannels = 6;
    config.exclusiveRates = {32000, 44100, 48000, 88200, 96000, 176400, 192000};
    config.exclusiveBits = {24, 16};
    config.engineDeviceFormat = IntegerDeviceFormat(32, 32, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    return config;
}

void StreamTest::TearDown()
{
    stream.Close();
    EXPECT_EQ(system.OutstandingReferences(), 0);
    EXPECT_EQ(system.Misuses(), 0);
}

std::vector<int64_t> ArgumentsOf(const FakeEndpoint& endpoint, FakeMethod method, int64_t FakeCall::*argument)
{
    std::vector<int64_t> values;
    for (const FakeCall& call : endpoint.CallsOf(method))
        values.push_back(call.*argument);
    return values;
}

namespace
{
std::wstring g_DebugOutput;

LONG CALLBACK TakeDebugPrint(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C)
        g_DebugOutput += reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]);
    else if (record.ExceptionCode == DBG_PRINTEXCEPTION_C)
        for (auto* c = reinterpret_cast<const unsigned char*>(record.ExceptionInformation[1]); *c != 0; ++c)
            g_DebugOutput += static_cast<wchar_t>(*c);
    else
        return EXCEPTION_CONTINUE_SEARCH;
    return EXCEPTION_CONTINUE_EXECUTION;
}
}

CDebugOutputCapture::CDebugOutputCapture()
{
    g_DebugOutput.clear();
    m_pHandler = AddVectoredExceptionHandler(1, TakeDebugPrint);
}

CDebugOutputCapture::~CDebugOutputCapture()
{
    if (m_pHandler != nullptr)
        RemoveVectoredExceptionHandler(m_pHandler);
}

const std::wstring& CDebugOutputCapture::Text() const
{
    return g_DebugOutput;
}
