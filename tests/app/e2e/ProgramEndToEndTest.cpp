// Starts the real program under Wine with its audio written to a WAV file by ALSA's file
// plugin in front of a test sound card that plays at the real rate, operates its dialog as a
// user would, and measures what it played. Every play names the stream it must have opened
// (the program traces it) and tolerates no gap.
#include "app/ControlValues.h"
#include "app/RateTable.h"
#include "app/ResourceIds.h"
#include "runtime/Status.h"
#include "tests/app/e2e/CDebugOutputMonitor.h"
#include "tests/app/e2e/CDialogDriver.h"
#include "tests/app/e2e/CProgramUnderTest.h"
#include "tests/app/e2e/WaveCapture.h"
#include "tests/device/CapturedAudio.h"

#include <winver.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
constexpr DWORD kStartTimeoutMs = 120000;
constexpr DWORD kExitTimeoutMs = 60000;
constexpr DWORD kPlayMs = 1500;
constexpr DWORD kTraceTimeoutMs = 10000;
const wchar_t kDefaultDevice[] = L"既定のオーディオ再生デバイス";
const char kOpenedTrace[] = "Corvane WASAPI: opened ";
// The level the dialog starts with (-140 dB).
constexpr double kStartupLevel = 1e-7;

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Frame counts stay far below 2^53: their seconds are exact.
double Seconds(uint64_t frames, double rate)
{
    return static_cast<double>(frames) / rate;
}

class ProgramEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string program = Environment("CORVANE_E2E_PROGRAM");
        m_Program.assign(program.begin(), program.end());
        m_Directory = Environment("CORVANE_E2E_DIR");
        if (m_Program.empty() || m_Directory.empty())
            GTEST_SKIP() << "CORVANE_E2E_PROGRAM and CORVANE_E2E_DIR are not set (run through tests/app/run-e2e)";
        ASSERT_TRUE(m_Trace.Start()) << "cannot listen to debug output (another listener runs)";
    }

    // Starts the program with its audio captured into <name>.wav through a test card that
    // takes what `card` allows (ALSA configuration: "rates [ 48000 ] formats [ S16_LE ]"; empty:
    // the card's own range), or with no audio endpoint at all. Every process of the run reads
    // ALSA_CONFIG_PATH's one file, so it is rewritten before each start.
    void Launch(const std::string& name, const std::string& card = "", bool withEndpoint = true)
    {
        m_CaptureUnixPath = m_Directory + "/" + name + ".wav";
        std::string configuration;
        if (withEndpoint)
        {
            configuration = CaptureConfiguration(m_CaptureUnixPath, card);
            ASSERT_NE(configuration.find(m_CaptureUnixPath), std::string::npos)
                << "no capture configuration template from run-e2e";
        }
        std::ofstream out(WindowsPathOf(m_Directory + "/alsa.conf").c_str(), std::ios::trunc);
        out << configuration;
        out.close();
        ASSERT_TRUE(out.good());
        DeleteFileW(WindowsPathOf(m_CaptureUnixPath).c_str());
        ASSERT_TRUE(m_Process.Start(m_Program));
        const ULONGLONG started = GetTickCount64();
        DWORD exitCode = 0;
        ASSERT_TRUE(m_Dialog.Attach(m_Process.ProcessId(), kProgramTitle, kStartTimeoutMs))
            << "no started dialog titled " << kProgramTitle << " after " << GetTickCount64() - started
            << " ms; program "
            << (m_Process.WaitForExit(0, &exitCode) ? "exited with " + std::to_string(exitCode) : std::string("runs"));
    }

    // Plays and checks the stream the program traced for this Play: share mode, rate and layout.
    void Play(const std::string& mode, unsigned rate, unsigned containerBits, unsigned validBits)
    {
        ASSERT_TRUE(m_Dialog.Click(IDC_PLAY))
            << "play did not finish (message box open: " << m_Dialog.HasMessageBox() << ")";
        ASSERT_TRUE(m_Dialog.IsEnabled(IDC_STOP));
        const std::string opened = kOpenedTrace + mode + " mode, " + std::to_string(rate) + " Hz, " +
                                   std::to_string(containerBits) + "-bit container with " + std::to_string(validBits) +
                                   " valid bits,";
        EXPECT_EQ(m_Trace.TakeLine(m_Process.ProcessId(), kOpenedTrace, kTraceTimeoutMs).substr(0, opened.size()),
                  opened);
        m_uiOpenedRate = rate;
        m_uiOpenedContainerBits = containerBits;
    }

    void Stop()
    {
        ASSERT_TRUE(m_Dialog.Click(IDC_STOP));
        ASSERT_TRUE(m_Dialog.Settle());
    }

    // run-e2e's capture configuration with its placeholder replaced by wavUnixPath and the
    // card's constraints added to its definition.
    std::string CaptureConfiguration(const std::string& wavUnixPath, const std::string& card)
    {
        const char kPlaceholder[] = "@CAPTURE_WAV@";
        const char kCardType[] = "type testcard";
        std::ifstream in(WindowsPathOf(m_Directory + "/alsa-capture.conf").c_str());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t at = text.find(kPlaceholder);
        if (at != std::string::npos)
            text.replace(at, sizeof kPlaceholder - 1, wavUnixPath);
        const size_t type = text.find(kCardType);
        if (type != std::string::npos && !card.empty())
            text.insert(type + sizeof kCardType - 1, " " + card);
        return text;
    }

    WaveCapture Capture()
    {
        WaveCapture capture;
        std::string error;
        EXPECT_TRUE(LoadWaveCapture(WindowsPathOf(m_CaptureUnixPath), &capture, &error)) << error;
        EXPECT_EQ(capture.uiRate, m_uiOpenedRate) << "the card took another rate than the one opened";
        return capture;
    }

    void CloseExpectingExitCode0()
    {
        m_Dialog.Close();
        DWORD exitCode = 12345;
        ASSERT_TRUE(m_Process.WaitForExit(kExitTimeoutMs, &exitCode));
        EXPECT_EQ(exitCode, 0u);
    }

    void ExpectIdleControls(bool idle)
    {
        EXPECT_EQ(m_Dialog.IsEnabled(IDC_PLAY), idle);
        EXPECT_EQ(m_Dialog.IsEnabled(IDC_STOP), !idle);
        for (int id : {IDC_DEVICE_LIST, IDC_RATE_LIST, IDC_BITS_EDIT, IDC_ENHANCER_CHECK, IDC_SETTINGS})
            EXPECT_EQ(m_Dialog.IsEnabled(id), idle) << "control " << id;
        for (int id : {IDC_LEVEL_SLIDER, IDC_FREQUENCY_SLIDER, IDC_PHASE_SLIDER, IDC_AM_SLIDER, IDC_FM_SLIDER,
                       IDC_BANDWIDTH_SLIDER, IDC_AM_CHECK, IDC_FM_CHECK, IDC_NOISE_CHECK, IDC_TRIGGER_CHECK})
            EXPECT_TRUE(m_Dialog.IsEnabled(id)) << "control " << id;
    }

    // The first Play's capture against the steady tone it must hold from its first sample to
    // the stop's fade: the level slider moved from its start-up value to levelPosition before,
    // everything else at its start-up value (the enhancer on), quantized to effectiveBits for
    // the traced stream.
    PlayComparison CompareWithSteadyTone(uint32_t levelPosition, uint32_t effectiveBits, double playedSeconds)
    {
        WavFile wav;
        EXPECT_TRUE(wav.Load(WindowsPathOf(m_CaptureUnixPath))) << "no capture";
        const double rate = TableRateOf(m_uiOpenedRate);
        // The tone outlasts the capture: what Stop waits for comes on top of the time played.
        const auto frames = static_cast<uint64_t>(rate * (playedSeconds + 2.0));
        const std::vector<double> tone = GenerateSteadyTone(
            rate, kStartupLevel, ControlValues::LevelOfAttenuation(levelPosition), 1000.0, 0.0, frames);
        CQuantizer quantizer;
        EXPECT_EQ(quantizer.Initialize(effectiveBits, m_uiOpenedContainerBits, 1), kStatusSuccess);
        const auto block = static_cast<uint64_t>(std::ceil(rate * 0.01));
        return ComparePlayedTone(wav.Samples32(), tone, block, quantizer, m_uiOpenedContainerBits);
    }

    // The rate the synthesizer generates at for a device rate in whole Hz (the table's, unrounded).
    static double TableRateOf(unsigned rate)
    {
        for (uint32_t row = 0; row < RateTable::kRowCount; ++row)
            if (RateTable::WholeHertz(row) == rate)
                return RateTable::Hertz(row);
        return 0.0;
    }

    std::wstring m_Program;
    std::string m_Directory;
    std::string m_CaptureUnixPath;
    CProgramUnderTest m_Process;
    CDialogDriver m_Dialog;
    CDebugOutputMonitor m_Trace;
    // What the last Play opened.
    unsigned m_uiOpenedRate = 0;
    unsigned m_uiOpenedContainerBits = 0;
};

WaveAnalysis::Stretch FindSound(const std::vector<double>& samples, double threshold)
{
    const WaveAnalysis::Stretch sound = WaveAnalysis::LouderThan(samples, threshold);
    EXPECT_GT(sound.uiEnd, sound.uiBegin) << "no sound captured";
    return sound;
}

// A string of a version resource's US English (Unicode) block; empty when it has none.
std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name)
{
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || value == nullptr)
        return std::wstring();
    const auto* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, std::find(text, text + length, L'\0'));
}

TEST_F(ProgramEndToEnd, StartsWithDefaultsAndListsTheDevices)
{
    ASSERT_NO_FATAL_FAILURE(Launch("defaults"));
    // What Explorer shows of the file is the version the title shows, from the same source; the
    // numeric fields read its parts as decimal numbers.
    DWORD unused = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(m_Program.c_str(), &unused));
    ASSERT_TRUE(!info.empty() &&
                GetFileVersionInfoW(m_Program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
        << "the program has no version resource";
    const std::wstring version = VersionString(info, L"ProductVersion");
    EXPECT_EQ(L"Corvane WASAPI v" + version, kProgramTitle) << "the title the dialog was found by";
    EXPECT_EQ(VersionString(info, L"FileVersion"), version);
    EXPECT_EQ(VersionString(info, L"ProductName"), L"Corvane WASAPI");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"corvane-wasapi.exe");
    EXPECT_NE(VersionString(info, L"FileDescription"), L"");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const size_t dot = version.find(L'.');
    ASSERT_NE(dot, std::wstring::npos);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), std::stoul(version.substr(0, dot)));
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), std::stoul(version.substr(dot + 1)));
    EXPECT_EQ(m_Dialog.Text(IDC_FREQUENCY_TEXT), L"1000.00000000");
    EXPECT_EQ(m_Dialog.Text(IDC_PHASE_TEXT), L"0.000");
    EXPECT_EQ(m_Dialog.Text(IDC_AM_TEXT), L"0.00");
    EXPECT_EQ(m_Dialog.Text(IDC_FM_TEXT), L"0.00");
    EXPECT_EQ(m_Dialog.Text(IDC_BANDWIDTH_TEXT), L"0.00");
    EXPECT_EQ(m_Dialog.Text(IDC_LEVEL_TEXT), L"-140.0 dB");
    EXPECT_EQ(m_Dialog.Text(IDC_MINIMUM_LEVEL_TEXT), L"-138.5");
    EXPECT_EQ(m_Dialog.Text(IDC_DEVICE_NAME), kDefaultDevice);
    EXPECT_EQ(m_Dialog.Text(IDC_RATE_LIST), L"96 kHz");
    EXPECT_EQ(m_Dialog.Text(IDC_DEVICE_BITS_TEXT), L"N/A");
    EXPECT_EQ(m_Dialog.Text(IDC_BITS_EDIT), L"24");
    EXPECT_TRUE(m_Dialog.IsChecked(IDC_ENHANCER_CHECK));
    EXPECT_EQ(m_Dialog.SliderPosition(IDC_LEVEL_SLIDER), 1400);
    EXPECT_EQ(m_Dialog.SliderPosition(IDC_FREQUENCY_SLIDER), 5000);
    EXPECT_EQ(m_Dialog.ListCount(IDC_RATE_LIST), 20);
    EXPECT_EQ(m_Dialog.ListEntryText(IDC_RATE_LIST, 16), L"288.0 kHz");
    EXPECT_EQ(m_Dialog.ListEntryText(IDC_DEVICE_LIST, 0), kDefaultDevice);
    EXPECT_GE(m_Dialog.ListCount(IDC_DEVICE_LIST), 2) << "Wine's ALSA endpoint is missing";
    m_Dialog.Select(IDC_DEVICE_LIST, 1);
    EXPECT_EQ(m_Dialog.Text(IDC_DEVICE_NAME), m_Dialog.ListEntryText(IDC_DEVICE_LIST, 1));
    m_Dialog.Select(IDC_DEVICE_LIST, 0);
    EXPECT_EQ(m_Dialog.Text(IDC_DEVICE_NAME), kDefaultDevice);
    ExpectIdleControls(true);
    for (int id : {IDC_AM_TEXT, IDC_FM_TEXT, IDC_BANDWIDTH_TEXT, IDC_INVERT_CHECK, IDC_MINIMUM_LEVEL_TEXT})
        EXPECT_FALSE(m_Dialog.IsEnabled(id)) << "control " << id;
    CloseExpectingExitCode0();
}

// Unpacked into Downloads, the program shares its folder with whatever else was downloaded: a
// winmm.dll and a control.exe beside it leave a trace if they run.
TEST_F(ProgramEndToEnd, FilesPlantedBesideTheProgramNeverRun)
{
    // Wine reads it from the Unix environment, which run-e2e sets for every process of the run.
    ASSERT_NE(Environment("WINEDLLOVERRIDES").find("winmm=n,b"), std::string::npos);
    const std::wstring folder = WindowsPathOf(m_Directory + "/planted") + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring planted[] = {L"winmm.dll", L"control.exe"};
    for (const std::wstring& name : planted)
    {
        ASSERT_TRUE(
            CopyFileW((WindowsPathOf(CORVANE_PLANTED_DIR) + L"\\" + name).c_str(), (folder + name).c_str(), FALSE));
        DeleteFileW((folder + name + L".ran").c_str());
    }
    ASSERT_TRUE(CopyFileW(m_Program.c_str(), (folder + L"corvane-wasapi.exe").c_str(), FALSE));
    m_Program = folder + L"corvane-wasapi.exe";
    ASSERT_NO_FATAL_FAILURE(Launch("planted"));

    ASSERT_TRUE(m_Process.TrackStartedProcesses());
    ASSERT_TRUE(m_Dialog.Click(IDC_SETTINGS));
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring started = m_Process.WaitForStartedProcess(L"\\control.exe", 30000);
    EXPECT_EQ(lstrcmpiW(started.c_str(), (std::wstring(system) + L"\\control.exe").c_str()), 0)
        << std::string(started.begin(), started.end());
    CloseExpectingExitCode0();
    for (const std::wstring& name : planted)
        EXPECT_EQ(GetFileAttributesW((folder + name + L".ran").c_str()), INVALID_FILE_ATTRIBUTES)
            << "the planted " << std::string(name.begin(), name.end()) << " ran";
}

// Without an audio endpoint, Play reports it and the dialog stays usable: each display follows
// its control (one wiring row each; ControlValuesTest has the values).
TEST_F(ProgramEndToEnd, WithoutAnyEndpointPlayReportsAndTheDisplaysFollowTheirControls)
{
    ASSERT_NO_FATAL_FAILURE(Launch("no-endpoint", "", false));
    EXPECT_EQ(m_Dialog.ListCount(IDC_DEVICE_LIST), 1);
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        EXPECT_FALSE(m_Dialog.Click(IDC_PLAY)) << "no message box appeared";
        std::wstring caption;
        std::wstring text;
        ASSERT_TRUE(m_Dialog.AnswerMessageBox(kStartTimeoutMs, &caption, &text));
        EXPECT_EQ(caption, L"エラー");
        EXPECT_EQ(text, L"出力先のオーディオデバイスを初期化できませんでした。");
        ASSERT_TRUE(m_Dialog.WaitForClick());
        EXPECT_FALSE(m_Dialog.HasMessageBox());
        ExpectIdleControls(true);
        EXPECT_EQ(m_Dialog.Text(IDC_DEVICE_BITS_TEXT), L"N/A");
    }

    const struct
    {
        int iSlider;
        long lPosition;
        int iDisplay;
        const wchar_t* pszText;
    } sliders[] = {
        {IDC_FREQUENCY_SLIDER, 5500, IDC_FREQUENCY_TEXT, L"1414.21356237"},
        {IDC_PHASE_SLIDER, 1234, IDC_PHASE_TEXT, L"1.234"},
        {IDC_AM_SLIDER, 999, IDC_AM_TEXT, L"49.95"},
        {IDC_FM_SLIDER, 57, IDC_FM_TEXT, L"5.70"},
        {IDC_BANDWIDTH_SLIDER, 40000, IDC_BANDWIDTH_TEXT, L"40000.00"},
        {IDC_LEVEL_SLIDER, 63, IDC_LEVEL_TEXT, L"-6.3 dB"},
    };
    for (const auto& slider : sliders)
    {
        m_Dialog.DragSlider(slider.iSlider, slider.lPosition);
        EXPECT_EQ(m_Dialog.Text(slider.iDisplay), slider.pszText)
            << "slider " << slider.iSlider << " at " << slider.lPosition;
    }

    // An edit that holds no number leaves the minimum level as it was.
    m_Dialog.SetText(IDC_BITS_EDIT, L"16");
    EXPECT_EQ(m_Dialog.Text(IDC_MINIMUM_LEVEL_TEXT), L"-90.3");
    m_Dialog.SetText(IDC_BITS_EDIT, L"");
    EXPECT_EQ(m_Dialog.Text(IDC_MINIMUM_LEVEL_TEXT), L"-90.3");

    // Unchecking a modulation disables its display only: its slider stays usable.
    const struct
    {
        int iCheck;
        int iDependent;
        int iSlider;
    } checks[] = {{IDC_AM_CHECK, IDC_AM_TEXT, IDC_AM_SLIDER},
                  {IDC_FM_CHECK, IDC_FM_TEXT, IDC_FM_SLIDER},
                  {IDC_TRIGGER_CHECK, IDC_INVERT_CHECK, IDC_LEVEL_SLIDER}};
    for (const auto& check : checks)
    {
        ASSERT_TRUE(m_Dialog.Click(check.iCheck));
        EXPECT_TRUE(m_Dialog.IsChecked(check.iCheck));
        EXPECT_TRUE(m_Dialog.IsEnabled(check.iDependent)) << "control " << check.iDependent;
        ASSERT_TRUE(m_Dialog.Click(check.iCheck));
        EXPECT_FALSE(m_Dialog.IsChecked(check.iCheck));
        EXPECT_FALSE(m_Dialog.IsEnabled(check.iDependent)) << "control " << check.iDependent;
        EXPECT_TRUE(m_Dialog.IsEnabled(check.iSlider)) << "control " << check.iSlider;
    }
    m_Dialog.DragSlider(IDC_AM_SLIDER, 20);
    EXPECT_EQ(m_Dialog.Text(IDC_AM_TEXT), L"1.00");
    EXPECT_FALSE(m_Dialog.IsEnabled(IDC_BANDWIDTH_TEXT));

    // The carrier slider's top follows the chosen maximum rate; narrowed, it pulls the thumb in,
    // and the readout follows.
    m_Dialog.Select(IDC_RATE_LIST, 19);
    m_Dialog.DragSlider(IDC_FREQUENCY_SLIDER, m_Dialog.SliderMaximum(IDC_FREQUENCY_SLIDER));
    ASSERT_EQ(m_Dialog.Text(IDC_FREQUENCY_TEXT), L"181019.33598376");
    m_Dialog.Select(IDC_RATE_LIST, 0);
    EXPECT_EQ(m_Dialog.SliderMaximum(IDC_FREQUENCY_SLIDER), 6900);
    EXPECT_EQ(m_Dialog.SliderPosition(IDC_FREQUENCY_SLIDER), 6900);
    EXPECT_EQ(m_Dialog.Text(IDC_FREQUENCY_TEXT), L"3732.13196615");
    CloseExpectingExitCode0();
}

// A level change arrives while playing, and a second Play while playing changes nothing
// (Windows and Wine deliver a click to the disabled button too): the tone plays on without a
// gap. How it fades in and out is the card models' exact comparison.
TEST_F(ProgramEndToEnd, PlaysToneThatFollowsTheLevelLiveAndIgnoresASecondPlay)
{
    ASSERT_NO_FATAL_FAILURE(Launch("tone"));
    m_Dialog.DragSlider(IDC_LEVEL_SLIDER, 60);
    ASSERT_NO_FATAL_FAILURE(Play("exclusive", 96000, 32, 32));
    ExpectIdleControls(false);
    Sleep(kPlayMs);
    EXPECT_TRUE(m_Dialog.Click(IDC_PLAY)) << "a message box opened";
    EXPECT_TRUE(m_Dialog.IsEnabled(IDC_STOP));
    m_Dialog.DragSlider(IDC_LEVEL_SLIDER, 200);
    Sleep(kPlayMs);
    ASSERT_NO_FATAL_FAILURE(Stop());
    ExpectIdleControls(true);
    EXPECT_EQ(m_Dialog.Text(IDC_DEVICE_BITS_TEXT), L"N/A");

    const WaveCapture capture = Capture();
    EXPECT_EQ(capture.uiBits, 32u);
    const WaveAnalysis::Stretch sound = FindSound(capture.Left, 1e-3);
    const size_t rate = capture.uiRate;
    ASSERT_GT(sound.uiEnd, sound.uiBegin + 2 * rate) << "less than 2 s of sound captured";
    EXPECT_EQ(WaveAnalysis::SoundingStretches(capture.Left, sound.uiBegin, sound.uiEnd, 1e-3, rate / 2000).size(), 1u)
        << "the tone has a gap";
    EXPECT_LT(Seconds(sound.uiEnd - sound.uiBegin, capture.uiRate), 2 * kPlayMs / 1000.0 + 0.5)
        << "the card did not play at the real rate";
    // The last half second before the stop's fade is 14 dB below the -6 dB the card models
    // check, on both channels; medians over 50 ms blocks (50 whole periods).
    const size_t block50ms = rate / 20;
    const size_t quietEnd = sound.uiEnd - rate / 10;
    const size_t quietBegin = quietEnd - rate / 2;
    for (const std::vector<double>* channel : {&capture.Left, &capture.Right})
        EXPECT_NEAR(WaveAnalysis::ToneComponentDb(*channel, quietBegin, quietEnd, block50ms, 1000.0, capture.uiRate),
                    -20.0, 0.02);
    EXPECT_NEAR(WaveAnalysis::Frequency(capture.Left, quietBegin, quietEnd, block50ms, capture.uiRate), 1000.0, 0.01);
    CloseExpectingExitCode0();
}

TEST_F(ProgramEndToEnd, PlaysAMWithTriggerAndNoiseAndExitsWhenClosedWhilePlaying)
{
    ASSERT_NO_FATAL_FAILURE(Launch("modulation"));
    m_Dialog.Select(IDC_RATE_LIST, 8);
    m_Dialog.DragSlider(IDC_LEVEL_SLIDER, 60);
    m_Dialog.DragSlider(IDC_AM_SLIDER, 200); // 10 Hz
    ASSERT_TRUE(m_Dialog.Click(IDC_AM_CHECK));
    ASSERT_TRUE(m_Dialog.Click(IDC_TRIGGER_CHECK));
    ASSERT_NO_FATAL_FAILURE(Play("exclusive", 44100, 32, 32));
    Sleep(kPlayMs);
    ASSERT_NO_FATAL_FAILURE(Stop());
    EXPECT_EQ(m_Dialog.Text(IDC_RATE_LIST), L"44.1 kHz");

    WaveCapture capture = Capture();
    // The right channel carries nothing but one-sample positive pulses. Full-height ones are the
    // trigger; a pulse that falls into the fade at the stop is scaled with it and counted apart.
    const auto silentRight = [&](size_t i) { return i >= capture.Right.size() || std::fabs(capture.Right[i]) <= 1e-5; };
    std::vector<size_t> pulses;
    size_t fadedPulses = 0;
    size_t strayRight = 0;
    for (size_t i = 0; i < capture.Right.size(); ++i)
    {
        if (silentRight(i))
            continue;
        if (capture.Right[i] < 0.0 || (i > 0 && !silentRight(i - 1)) || !silentRight(i + 1))
            ++strayRight;
        else if (capture.Right[i] > 0.99)
            pulses.push_back(i);
        else
            ++fadedPulses;
    }
    EXPECT_EQ(strayRight, 0u) << "the right channel carries only the trigger pulses";
    ASSERT_GE(pulses.size(), 6u);
    // One pulse per AM period (4410 samples at 10 Hz), at the envelope's peak, from the first to
    // the last: the sound has no gap (silence far longer than the envelope's own dip).
    const double amplitude = std::pow(10.0, -6.0 / 20.0);
    EXPECT_EQ(WaveAnalysis::SoundingStretches(capture.Left, pulses.front(), pulses.back() + 1, 1e-4, 400).size(), 1u)
        << "the sound has a gap";
    EXPECT_LE(fadedPulses, 1u) << "only the fade at the stop scales a pulse";
    // The spacing from the first pulse is left out: the stream fades in over the start.
    for (size_t k = 2; k < pulses.size(); ++k)
    {
        EXPECT_NEAR(static_cast<double>(pulses[k] - pulses[k - 1]), 4410.0, 1.0) << "pulse at " << pulses[k];
        EXPECT_GT(WaveAnalysis::PeakMagnitude(capture.Left, pulses[k] - 30, pulses[k] + 30), amplitude * 0.97);
        EXPECT_LT(WaveAnalysis::PeakMagnitude(capture.Left, pulses[k] - 2205 - 30, pulses[k] - 2205 + 30),
                  amplitude * 0.01);
    }

    ASSERT_TRUE(m_Dialog.Click(IDC_TRIGGER_CHECK));
    ASSERT_TRUE(m_Dialog.Click(IDC_AM_CHECK));
    ASSERT_TRUE(m_Dialog.Click(IDC_NOISE_CHECK));
    m_Dialog.DragSlider(IDC_LEVEL_SLIDER, 200);
    ASSERT_NO_FATAL_FAILURE(Play("exclusive", 44100, 32, 32));
    Sleep(kPlayMs);
    ASSERT_NO_FATAL_FAILURE(Stop());
    capture = Capture();
    const WaveAnalysis::Stretch sound = FindSound(capture.Left, 1e-3);
    EXPECT_EQ(WaveAnalysis::SoundingStretches(capture.Left, sound.uiBegin, sound.uiEnd, 1e-4, 100).size(), 1u)
        << "the noise has a gap";
    ASSERT_GT(sound.uiEnd - sound.uiBegin, capture.uiRate * 3 / 4) << "less than 0.75 s of noise";
    // Skip the fade-in, then take at most one second.
    const size_t begin = sound.uiBegin + capture.uiRate / 20;
    const size_t end = std::min(sound.uiEnd, begin + capture.uiRate);
    EXPECT_NEAR(WaveAnalysis::Mean(capture.Left, begin, end), 0.0, 0.002);
    EXPECT_NEAR(WaveAnalysis::Rms(capture.Left, begin, end), 0.1, 0.003) << "the standard deviation is the level";
    EXPECT_NEAR(WaveAnalysis::Kurtosis(capture.Left, begin, end), 3.0, 0.15);
    double largestDifference = 0.0;
    for (size_t i = begin; i < end; ++i)
        largestDifference = std::fmax(largestDifference, std::fabs(capture.Left[i] - capture.Right[i]));
    EXPECT_LT(largestDifference, 1e-6) << "both channels carry the same noise";

    ASSERT_NO_FATAL_FAILURE(Play("exclusive", 44100, 32, 32));
    Sleep(kPlayMs / 3);
    CloseExpectingExitCode0();
}

TEST_F(ProgramEndToEnd, EnhancerCarriesAToneBelowOneStepOnEachChannel)
{
    ASSERT_NO_FATAL_FAILURE(Launch("enhancer"));
    m_Dialog.Select(IDC_RATE_LIST, 9);
    m_Dialog.SetText(IDC_BITS_EDIT, L"16");
    m_Dialog.DragSlider(IDC_LEVEL_SLIDER, 1000); // -100.0 dB
    ASSERT_NO_FATAL_FAILURE(Play("exclusive", 48000, 32, 32));
    Sleep(kPlayMs);
    ASSERT_NO_FATAL_FAILURE(Stop());

    const WaveCapture capture = Capture();
    // One 16-bit step is about 3e-5 of full scale: the tone below it is a pattern of steps.
    const WaveAnalysis::Stretch sound = FindSound(capture.Left, 1e-5);
    ASSERT_GT(sound.uiEnd, sound.uiBegin + capture.uiRate / 2) << "less than 0.5 s of sound captured";
    const size_t begin = sound.uiBegin + capture.uiRate / 5;
    const size_t end = sound.uiEnd - capture.uiRate / 10;
    const size_t block100ms = capture.uiRate / 10;
    for (const std::vector<double>* channel : {&capture.Left, &capture.Right})
    {
        // Error feedback without dither settles into a pattern that depends on how the level
        // arrived: after the start's fade-in this tone reads about 0.7 dB low, where one that
        // starts at once reads 0.3 dB low (docs/resolution-enhancer.md).
        EXPECT_NEAR(WaveAnalysis::ToneComponentDb(*channel, begin, end, block100ms, 1000.0, 48000.0), -100.0, 1.0);
        EXPECT_LE(WaveAnalysis::ToneErrorBelowDb(*channel, begin, end, block100ms, 1000.0, 48000.0, 1e-5, 4000.0),
                  -117.0)
            << "the error below 4 kHz";
    }
    CloseExpectingExitCode0();
}

TEST_F(ProgramEndToEnd, FiftyPlayStopCyclesLeaveItResponsiveWithoutHandleGrowth)
{
    ASSERT_NO_FATAL_FAILURE(Launch("cycles"));
    long handlesAfterFirst = -1;
    for (int cycle = 0; cycle < 50; ++cycle)
    {
        ASSERT_NO_FATAL_FAILURE(Play("exclusive", 96000, 32, 32)) << "cycle " << cycle;
        ASSERT_TRUE(m_Dialog.Click(IDC_STOP)) << "cycle " << cycle;
        ASSERT_TRUE(m_Dialog.IsEnabled(IDC_PLAY)) << "cycle " << cycle;
        if (cycle == 0)
            handlesAfterFirst = m_Process.HandleCount();
    }
    ASSERT_GT(handlesAfterFirst, 0) << "the handle count cannot be read";
    EXPECT_LE(m_Process.HandleCount(), handlesAfterFirst);
    ASSERT_TRUE(m_Dialog.Settle(5000));
    m_Dialog.DragSlider(IDC_PHASE_SLIDER, 1000);
    EXPECT_EQ(m_Dialog.Text(IDC_PHASE_TEXT), L"1.000");
    CloseExpectingExitCode0();
}

// A sound card as the test card models it, and what a Play at -6.0 dB with the start-up
// choices (but the maximum rate and the bits edit) must open on it, show, and play.
struct CardModel
{
    const char* pszName;
    const char* pszCard;        // the card's ALSA constraints; empty: every rate and format
    int iRateEntry;             // the maximum rate chosen in the list; -1 keeps 96 kHz
    const wchar_t* pszBitsEdit; // typed into the bits edit; nullptr keeps 24
    const char* pszMode;
    unsigned uiRate;
    unsigned uiContainerBits;
    unsigned uiValidBits;
    const wchar_t* pszRateText; // the rate list while playing
    const wchar_t* pszBitsText; // the device's bits
    unsigned uiEffectiveBits;   // the bits edit while playing: what the samples are quantized to
    long lCarrierMaximum;       // the carrier slider's top while playing
};

const CardModel kCardModels[] = {
    {"any", "", -1, nullptr, "exclusive", 96000, 32, 32, L"96 kHz", L"32", 24, 10500},
    {"cd_dat_16bit", "rates [ 44100 48000 ] formats [ S16_LE ]", -1, nullptr, "exclusive", 48000, 16, 16, L"48 kHz",
     L"16", 16, 9500},
    {"packed24", "formats [ S24_3LE ]", -1, nullptr, "exclusive", 96000, 24, 24, L"96 kHz", L"24", 24, 10500},
    {"only8k", "rates [ 8000 ]", 0, nullptr, "exclusive", 8000, 32, 32, L"8 kHz", L"32", 24, 6900},
    {"only384k", "rates [ 384000 ]", 19, nullptr, "exclusive", 384000, 32, 32, L"384 kHz", L"32", 24, 12500},
    {"only44k1_upward", "rates [ 44100 ]", 0, nullptr, "exclusive", 44100, 32, 32, L"44.1 kHz", L"32", 24, 9400},
    // 0 is read as 2 bits (ControlValuesTest has the table), written back and played.
    {"bits_edit_0", "", -1, L"0", "exclusive", 96000, 32, 32, L"96 kHz", L"32", 2, 10500},
};

class CardModelEndToEnd : public ProgramEndToEnd, public ::testing::WithParamInterface<CardModel>
{
};

// The rate search lands where the card allows, the readouts and the carrier's range follow it,
// and the capture is exactly the tone's arithmetic from its first sample to the stop's fade.
TEST_P(CardModelEndToEnd, PlaysExactlyWhatTheCardTakes)
{
    const CardModel& card = GetParam();
    ASSERT_NO_FATAL_FAILURE(Launch(std::string("card-") + card.pszName, card.pszCard));
    constexpr uint32_t kLevelPosition = 60;
    m_Dialog.DragSlider(IDC_LEVEL_SLIDER, kLevelPosition);
    if (card.iRateEntry >= 0)
        m_Dialog.Select(IDC_RATE_LIST, card.iRateEntry);
    if (card.pszBitsEdit != nullptr)
        m_Dialog.SetText(IDC_BITS_EDIT, card.pszBitsEdit);
    ASSERT_NO_FATAL_FAILURE(Play(card.pszMode, card.uiRate, card.uiContainerBits, card.uiValidBits));
    EXPECT_EQ(m_Dialog.Text(IDC_RATE_LIST), card.pszRateText);
    EXPECT_EQ(m_Dialog.Text(IDC_DEVICE_BITS_TEXT), card.pszBitsText);
    EXPECT_EQ(m_Dialog.Text(IDC_BITS_EDIT), std::to_wstring(card.uiEffectiveBits));
    EXPECT_EQ(m_Dialog.SliderMaximum(IDC_FREQUENCY_SLIDER), card.lCarrierMaximum);
    const ULONGLONG started = GetTickCount64();
    Sleep(1000);
    const double playedSeconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
    ASSERT_NO_FATAL_FAILURE(Stop());

    const PlayComparison comparison = CompareWithSteadyTone(kLevelPosition, card.uiEffectiveBits, playedSeconds);
    const double rate = card.uiRate;
    EXPECT_TRUE(comparison.bExact) << "the capture departs from the tone "
                                   << Seconds(comparison.uiMatched, rate) * 1000.0 << " ms after its first sample";
    EXPECT_GT(Seconds(comparison.uiEnd, rate), playedSeconds * 0.9) << "the tone ended early";
    EXPECT_LT(Seconds(comparison.uiEnd, rate), playedSeconds + 0.5) << "the card did not play at the real rate";
    CloseExpectingExitCode0();
}

INSTANTIATE_TEST_SUITE_P(Cards, CardModelEndToEnd, ::testing::ValuesIn(kCardModels),
                         [](const ::testing::TestParamInfo<CardModel>& model) {
                             return std::string(model.param.pszName);
                         });
}
