// corvane-drive PROGRAM.exe STEP...
// Starts the program, drives its dialog by the steps on the command line, closes it and waits
// for it to end. Exits 1 with a message on the first failure (no dialog, a step that fails,
// a message box that no `answer` step expects), 2 on a malformed command line.
//
// Steps (ID: a control's number or its IDC_ name):
//   slider ID POS   check ID 0|1   select ID ENTRY   text ID TEXT   click ID   sleep MS
//   print ID        the control's text on one line
//   opened          the stream the program opened at its last Play, as it traced it ("exclusive
//                   mode, 96000 Hz, ..."), waiting up to 10 s for the trace
//   cpu             the program's user + kernel CPU seconds so far, as GetProcessTimes reports
//                   them (under Wine this fell far short of /proc's figure for the same
//                   process, so bench/realtime reads /proc instead)
//   answer          presses OK on the program's message box and prints "caption: text"
// The program inherits the caller's environment (under Wine, ALSA_CONFIG_PATH too).
#include "app/ResourceIds.h"
#include "tests/app/e2e/CDebugOutputMonitor.h"
#include "tests/app/e2e/CDialogDriver.h"
#include "tests/app/e2e/CProgramUnderTest.h"

#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace
{
constexpr DWORD kStartTimeoutMs = 120000;
constexpr DWORD kExitTimeoutMs = 60000;
constexpr DWORD kAnswerTimeoutMs = 30000;
constexpr DWORD kTraceTimeoutMs = 10000;
const char kOpenedTrace[] = "Corvane WASAPI: opened ";

struct NamedControl
{
    const wchar_t* pszName;
    int iId;
};

// Two steps, so that the name is a string literal before L is pasted onto it.
#define CORVANE_WIDE(text) L##text
#define CORVANE_CONTROL(name)                                                                                          \
    {                                                                                                                  \
        CORVANE_WIDE(#name), name                                                                                      \
    }
constexpr NamedControl kControls[] = {
    CORVANE_CONTROL(IDC_PLAY),           CORVANE_CONTROL(IDC_STOP),
    CORVANE_CONTROL(IDC_LEVEL_SLIDER),   CORVANE_CONTROL(IDC_FREQUENCY_SLIDER),
    CORVANE_CONTROL(IDC_FREQUENCY_TEXT), CORVANE_CONTROL(IDC_PHASE_SLIDER),
    CORVANE_CONTROL(IDC_PHASE_TEXT),     CORVANE_CONTROL(IDC_AM_SLIDER),
    CORVANE_CONTROL(IDC_AM_TEXT),        CORVANE_CONTROL(IDC_AM_CHECK),
    CORVANE_CONTROL(IDC_FM_SLIDER),      CORVANE_CONTROL(IDC_FM_TEXT),
    CORVANE_CONTROL(IDC_FM_CHECK),       CORVANE_CONTROL(IDC_LEVEL_TEXT),
    CORVANE_CONTROL(IDC_NOISE_CHECK),    CORVANE_CONTROL(IDC_DEVICE_LIST),
    CORVANE_CONTROL(IDC_RATE_LIST),      CORVANE_CONTROL(IDC_BANDWIDTH_SLIDER),
    CORVANE_CONTROL(IDC_BANDWIDTH_TEXT), CORVANE_CONTROL(IDC_TRIGGER_CHECK),
    CORVANE_CONTROL(IDC_INVERT_CHECK),   CORVANE_CONTROL(IDC_DEVICE_BITS_TEXT),
    CORVANE_CONTROL(IDC_BITS_EDIT),      CORVANE_CONTROL(IDC_MINIMUM_LEVEL_TEXT),
    CORVANE_CONTROL(IDC_ENHANCER_CHECK), CORVANE_CONTROL(IDC_SETTINGS),
    CORVANE_CONTROL(IDC_DEVICE_NAME),
};
#undef CORVANE_CONTROL
#undef CORVANE_WIDE

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.pop_back();
    return out;
}

bool ParseNumber(const std::wstring& text, long* value)
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long parsed = std::wcstol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != L'\0')
        return false;
    *value = parsed;
    return true;
}

bool ParseControl(const std::wstring& text, int* id)
{
    for (const NamedControl& control : kControls)
    {
        if (text == control.pszName)
        {
            *id = control.iId;
            return true;
        }
    }
    long number = 0;
    if (!ParseNumber(text, &number) || number <= 0 || number > 0xFFFF)
        return false;
    *id = static_cast<int>(number);
    return true;
}

double SecondsOf(const FILETIME& time)
{
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<double>(ticks) / 1e7;
}

// One run: the program, its dialog and the steps still to do.
class CDriveRun
{
public:
    explicit CDriveRun(std::vector<std::wstring> arguments) : m_Arguments(std::move(arguments)) {}

    int Run();

private:
    bool Fail(const std::string& message);
    bool Start(const std::wstring& program);
    bool Step();
    bool NextArgument(const wchar_t* what, std::wstring* value);
    bool NextControl(int* id);
    bool NextNumber(const wchar_t* what, long* value);
    bool CheckControl(int id);
    bool ClickControl(int id);
    bool Answer();
    bool Cpu();
    bool Opened();
    bool Finish();

    std::vector<std::wstring> m_Arguments;
    size_t m_uiNext = 1;
    std::wstring m_Step;
    CProgramUnderTest m_Process;
    CDialogDriver m_Dialog;
    CDebugOutputMonitor m_Trace;
    bool m_bTracing = false;
    bool m_bClickPending = false;
};

bool CDriveRun::Fail(const std::string& message)
{
    std::fprintf(stderr, "corvane-drive: %s%s%s\n", m_Step.empty() ? "" : Utf8(m_Step).c_str(),
                 m_Step.empty() ? "" : ": ", message.c_str());
    return false;
}

bool CDriveRun::NextArgument(const wchar_t* what, std::wstring* value)
{
    if (m_uiNext >= m_Arguments.size())
        return Fail("missing " + Utf8(what));
    *value = m_Arguments[m_uiNext++];
    return true;
}

bool CDriveRun::NextControl(int* id)
{
    std::wstring text;
    if (!NextArgument(L"control ID", &text))
        return false;
    if (!ParseControl(text, id))
        return Fail("not a control ID: " + Utf8(text));
    if (GetDlgItem(m_Dialog.Window(), *id) == nullptr)
        return Fail("the dialog has no control " + std::to_string(*id));
    return true;
}

bool CDriveRun::NextNumber(const wchar_t* what, long* value)
{
    std::wstring text;
    if (!NextArgument(what, &text))
        return false;
    return ParseNumber(text, value) || Fail("not a number: " + Utf8(text));
}

bool CDriveRun::Start(const std::wstring& program)
{
    const std::wstring path = !program.empty() && program[0] == L'/' ? WindowsPathOf(Utf8(program)) : program;
    m_bTracing = m_Trace.Start();
    if (!m_Process.Start(path))
        return Fail("cannot start " + Utf8(path) + " (error " + std::to_string(GetLastError()) + ")");
    if (!m_Dialog.Attach(m_Process.ProcessId(), kProgramTitle, kStartTimeoutMs))
    {
        DWORD exitCode = 0;
        return Fail(m_Process.WaitForExit(0, &exitCode) ? "the program exited with " + std::to_string(exitCode)
                                                        : std::string("no dialog after 120 s"));
    }
    return true;
}

bool CDriveRun::CheckControl(int id)
{
    long state = 0;
    if (!NextNumber(L"0 or 1", &state))
        return false;
    if (state != 0 && state != 1)
        return Fail("a check state is 0 or 1");
    return m_Dialog.IsChecked(id) == (state == 1) || ClickControl(id);
}

bool CDriveRun::ClickControl(int id)
{
    if (m_Dialog.Click(id))
        return true;
    if (!m_Dialog.HasMessageBox())
        return Fail("the program did not handle the click");
    // Completes once the next step answers the box.
    m_bClickPending = true;
    return true;
}

bool CDriveRun::Answer()
{
    std::wstring caption;
    std::wstring text;
    if (!m_Dialog.AnswerMessageBox(kAnswerTimeoutMs, &caption, &text))
        return Fail("no message box to answer");
    std::printf("%s: %s\n", Utf8(caption).c_str(), Utf8(text).c_str());
    if (m_bClickPending)
    {
        m_bClickPending = false;
        if (!m_Dialog.WaitForClick())
            return Fail("the click did not finish after the box");
    }
    return true;
}

bool CDriveRun::Cpu()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(m_Process.Process(), &created, &exited, &kernel, &user))
        return Fail("cannot read the program's CPU time");
    std::printf("%.3f\n", SecondsOf(kernel) + SecondsOf(user));
    return true;
}

bool CDriveRun::Opened()
{
    if (!m_bTracing)
        return Fail("cannot hear the program's trace (another debug-output listener runs)");
    // The last open of the run so far: the rate search traces only the one that succeeded.
    std::string line;
    for (std::string next = m_Trace.TakeLine(m_Process.ProcessId(), kOpenedTrace, kTraceTimeoutMs); !next.empty();
         next = m_Trace.TakeLine(m_Process.ProcessId(), kOpenedTrace, 0))
        line = next;
    if (line.empty())
        return Fail("the program traced no opened stream");
    std::printf("%s\n", line.c_str() + sizeof kOpenedTrace - 1);
    return true;
}

bool CDriveRun::Step()
{
    m_Step = m_Arguments[m_uiNext++];
    if (m_Step != L"answer" && m_Dialog.HasMessageBox())
    {
        std::wstring caption;
        std::wstring text;
        m_Dialog.AnswerMessageBox(kAnswerTimeoutMs, &caption, &text);
        return Fail("unexpected message box: " + Utf8(caption) + ": " + Utf8(text));
    }
    int id = 0;
    long value = 0;
    std::wstring text;
    if (m_Step == L"slider")
    {
        if (!NextControl(&id) || !NextNumber(L"position", &value))
            return false;
        m_Dialog.DragSlider(id, value);
    }
    else if (m_Step == L"check")
    {
        if (!NextControl(&id) || !CheckControl(id))
            return false;
    }
    else if (m_Step == L"select")
    {
        if (!NextControl(&id) || !NextNumber(L"entry", &value))
            return false;
        if (value < 0 || value >= m_Dialog.ListCount(id))
            return Fail("no entry " + std::to_string(value) + " in the list");
        m_Dialog.Select(id, static_cast<int>(value));
    }
    else if (m_Step == L"text")
    {
        if (!NextControl(&id) || !NextArgument(L"text", &text))
            return false;
        m_Dialog.SetText(id, text.c_str());
    }
    else if (m_Step == L"click")
    {
        if (!NextControl(&id) || !ClickControl(id))
            return false;
    }
    else if (m_Step == L"sleep")
    {
        if (!NextNumber(L"milliseconds", &value))
            return false;
        if (value < 0)
            return Fail("a pause is not negative");
        Sleep(static_cast<DWORD>(value));
    }
    else if (m_Step == L"print")
    {
        if (!NextControl(&id))
            return false;
        std::printf("%s\n", Utf8(m_Dialog.Text(id)).c_str());
    }
    else if (m_Step == L"cpu")
    {
        return Cpu();
    }
    else if (m_Step == L"opened")
    {
        return Opened();
    }
    else if (m_Step == L"answer")
    {
        return Answer();
    }
    else
    {
        return Fail("unknown step");
    }
    return m_bClickPending || m_Dialog.Settle() || Fail("the dialog does not answer");
}

bool CDriveRun::Finish()
{
    m_Step = L"close";
    if (m_bClickPending || m_Dialog.HasMessageBox())
        return Fail("a message box is still open");
    m_Dialog.Close();
    DWORD exitCode = 0;
    if (!m_Process.WaitForExit(kExitTimeoutMs, &exitCode))
        return Fail("the program did not end within 60 s");
    return exitCode == 0 || Fail("the program exited with " + std::to_string(exitCode));
}

int CDriveRun::Run()
{
    if (m_Arguments.size() < 2)
    {
        std::fprintf(stderr, "usage: corvane-drive PROGRAM.exe STEP...\n");
        return 2;
    }
    if (!Start(m_Arguments[m_uiNext++]))
        return 1;
    while (m_uiNext < m_Arguments.size())
    {
        if (!Step())
            return 1;
        std::fflush(stdout);
    }
    return Finish() ? 0 : 1;
}

std::vector<std::wstring> CommandLineArguments()
{
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    if (list == nullptr)
        return arguments;
    arguments.assign(list, list + count);
    LocalFree(list);
    return arguments;
}
}

int main()
{
    return CDriveRun(CommandLineArguments()).Run();
}
