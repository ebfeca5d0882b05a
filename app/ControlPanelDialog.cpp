#include "app/ControlPanelDialog.h"

#include "app/CDialogIcons.h"
#include "app/CDialogPanel.h"
#include "app/CarrierRange.h"
#include "app/ControlValues.h"
#include "app/DeviceList.h"
#include "app/DeviceListRefresh.h"
#include "app/PlaybackControl.h"
#include "app/ProcessState.h"
#include "app/RateTable.h"
#include "app/ResourceIds.h"
#include "app/Version.h"
#include "device/CEndpointWatch.h"
#include "runtime/BoundedString.h"
#include "runtime/MessageBoxSeam.h"
#include "synth/CParameterRamp.h"

#include <commctrl.h>

#include <atomic>

namespace
{
using ControlValues::kDisplayCapacity;
constexpr size_t kDeviceNameCapacity = 128;
constexpr size_t kBitsTextCapacity = 32;
constexpr double kInitialLevel = 1e-7;
constexpr double kInitialFrequency = 1000.0;
// The level slider's bottom: -200 x log10 of the starting level 1e-7, in tenths of a dB.
constexpr uint32_t kLevelSliderBottom = 1400;
// While playing, the dialog looks now and then whether the device thread has ended by itself.
constexpr UINT_PTR kDeviceCheckTimer = 1;
// Soon enough that a lost device is reported at once, rarely enough to cost the main thread nothing.
constexpr UINT kDeviceCheckMs = 50;
// Posted by the endpoint watch's callback, from the system's thread, when the endpoints changed.
constexpr UINT kEndpointsChangedMessage = WM_APP + 1;

struct SliderBinding
{
    int iSliderId;
    double (*pfnValue)(uint32_t position);
    CParameterRamp** ppRamp;
    int iDisplayId;
    uint32_t uiDecimals;
};

const SliderBinding kHorizontalSliders[] = {
    {IDC_FREQUENCY_SLIDER, ControlValues::CarrierFrequency, &pFrequencyRamp, IDC_FREQUENCY_TEXT,
     ControlValues::kCarrierDecimals},
    {IDC_PHASE_SLIDER, ControlValues::Phase, &pPhaseRamp, IDC_PHASE_TEXT, 3},
    {IDC_AM_SLIDER, ControlValues::AMFrequency, &pAMFrequencyRamp, IDC_AM_TEXT, 2},
    {IDC_FM_SLIDER, ControlValues::FMFrequency, &pFMFrequencyRamp, IDC_FM_TEXT, 2},
    {IDC_BANDWIDTH_SLIDER, ControlValues::FMBandwidth, &pFMBandwidthRamp, IDC_BANDWIDTH_TEXT, 2},
};

struct SliderSetup
{
    int iSliderId;
    uint32_t uiMaximum;
    uint32_t uiTickFrequency;
    uint32_t uiPageSize;
    uint32_t uiPosition;
};

LRESULT SendItem(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageW(dialog, id, message, wParam, lParam);
}

bool IsChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void ShowValue(HWND dialog, int displayId, double value, uint32_t decimals)
{
    wchar_t text[kDisplayCapacity];
    ControlValues::FormatFixed(value, decimals, text, kDisplayCapacity);
    SetDlgItemTextW(dialog, displayId, text);
}

void PostSelectionChange(HWND dialog, int listId)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, listId)));
}

uint32_t SliderPosition(HWND slider)
{
    return static_cast<uint32_t>(SendMessageW(slider, TBM_GETPOS, 0, 0));
}

void SetUpSlider(HWND dialog, const SliderSetup& setup)
{
    SendItem(dialog, setup.iSliderId, TBM_SETRANGEMIN, FALSE, 0);
    SendItem(dialog, setup.iSliderId, TBM_SETRANGEMAX, TRUE, static_cast<LPARAM>(setup.uiMaximum));
    if (setup.uiTickFrequency != 0)
        SendItem(dialog, setup.iSliderId, TBM_SETTICFREQ, setup.uiTickFrequency, 0);
    SendItem(dialog, setup.iSliderId, TBM_SETPAGESIZE, 0, static_cast<LPARAM>(setup.uiPageSize));
    SendItem(dialog, setup.iSliderId, TBM_SETPOS, TRUE, static_cast<LPARAM>(setup.uiPosition));
}

void SetTitle(HWND dialog)
{
    wchar_t title[kDisplayCapacity] = L"";
    AppendWideString(title, kDisplayCapacity, L"Corvane WASAPI");
    AppendWideString(title, kDisplayCapacity, L" v");
    AppendWideString(title, kDisplayCapacity, kVersionText);
    SetWindowTextW(dialog, title);
}

void InitializeRamps()
{
    pLevelRamp->Initialize(kInitialLevel);
    pFrequencyRamp->Initialize(kInitialFrequency);
    pPhaseRamp->Initialize(0.0);
    pAMFrequencyRamp->Initialize(0.0);
    pFMFrequencyRamp->Initialize(0.0);
    pFMBandwidthRamp->Initialize(0.0);
}

void ShowAttenuation(HWND dialog, uint32_t tenthsOfDecibel)
{
    wchar_t text[kDisplayCapacity];
    ControlValues::FormatAttenuation(tenthsOfDecibel, text, kDisplayCapacity);
    SetDlgItemTextW(dialog, IDC_LEVEL_TEXT, text);
}

void SetUpSliders(HWND dialog)
{
    SetUpSlider(dialog, {IDC_FREQUENCY_SLIDER, 10500, 1000, 500, 5000});
    SetUpSlider(dialog, {IDC_PHASE_SLIDER, 2000, 100, 100, 0});
    SetUpSlider(dialog, {IDC_AM_SLIDER, 1000, 100, 20, 0});
    SetUpSlider(dialog, {IDC_FM_SLIDER, 100, 5, 5, 0});
    SetUpSlider(dialog, {IDC_LEVEL_SLIDER, kLevelSliderBottom, 0, 50, kLevelSliderBottom});
    SetUpSlider(dialog, {IDC_BANDWIDTH_SLIDER, 40000, 2000, 50, 0});
    // Each display starts with its slider's value: 1000 Hz for the carrier at 5000, else 0.
    for (const SliderBinding& binding : kHorizontalSliders)
        ShowValue(dialog, binding.iDisplayId, binding.pfnValue(SliderPosition(GetDlgItem(dialog, binding.iSliderId))),
                  binding.uiDecimals);
    ShowAttenuation(dialog, kLevelSliderBottom);
}

// The watch of the dialog that runs; it ends with the dialog, before the engine is torn down.
CEndpointWatch& EndpointWatch()
{
    static CEndpointWatch watch;
    return watch;
}

void PostEndpointsChanged(void* context)
{
    PostMessageW(static_cast<HWND>(context), kEndpointsChangedMessage, 0, 0);
}

void FillLists(HWND dialog)
{
    // Watching before the enumeration, so that no change falls between the two. Without the
    // watch (registration refused), the list is simply not refreshed.
    EndpointWatch().Start(PostEndpointsChanged, dialog);
    CDialogPanel panel(dialog);
    DeviceListRefresh::Refill(panel);

    for (uint32_t entry = 0; entry < RateTable::kRowCount; ++entry)
        SendItem(dialog, IDC_RATE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(RateTable::ListText(entry)));
    SendItem(dialog, IDC_RATE_LIST, CB_SETCURSEL, RateTable::EntryOfRow(uiRateIndex), 0);
    PostSelectionChange(dialog, IDC_DEVICE_LIST);
    PostSelectionChange(dialog, IDC_RATE_LIST);
}

// Kept for the dialog's lifetime: the dialog only shows them.
CDialogIcons& Icons()
{
    static CDialogIcons icons;
    return icons;
}

void Initialize(HWND dialog)
{
    SetDefaultMessageBoxOwner(dialog);
    Icons().Show(dialog);
    bAM = 0;
    bFM = 0;
    bTrigger = 0;
    InitializeRamps();
    SetTitle(dialog);
    SetUpSliders(dialog);
    FillLists(dialog);
    SetDlgItemInt(dialog, IDC_BITS_EDIT, uiMaxEffectiveBits, FALSE);
    if (bEnableResolutionEnhancer != 0)
    {
        CheckDlgButton(dialog, IDC_ENHANCER_CHECK, BST_CHECKED);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_ENHANCER_CHECK, 0), 0);
    }
    CDialogPanel(dialog).ShowIdle(true);
    SetTimer(dialog, kDeviceCheckTimer, kDeviceCheckMs, nullptr);
}

void OnHorizontalScroll(HWND dialog, HWND slider)
{
    for (const SliderBinding& binding : kHorizontalSliders)
    {
        if (slider == nullptr || slider != GetDlgItem(dialog, binding.iSliderId))
            continue;
        const double value = binding.pfnValue(SliderPosition(slider));
        (*binding.ppRamp)->SetTarget(value);
        ShowValue(dialog, binding.iDisplayId, value, binding.uiDecimals);
    }
}

void OnVerticalScroll(HWND dialog, HWND slider)
{
    if (slider == nullptr || slider != GetDlgItem(dialog, IDC_LEVEL_SLIDER))
        return;
    const uint32_t position = SliderPosition(slider);
    ShowAttenuation(dialog, position);
    pLevelRamp->SetTarget(ControlValues::LevelOfAttenuation(position));
}

// A check box that drives a flag and, when it has one, enables its dependent control.
void OnCheckBox(HWND dialog, int id, std::atomic<uint32_t>& flag, int dependentId)
{
    const bool checked = IsChecked(dialog, id);
    if (dependentId != 0)
        EnableWindow(GetDlgItem(dialog, dependentId), checked ? TRUE : FALSE);
    flag = checked ? 1u : 0u;
}

void OnMaximumRateChange(HWND dialog)
{
    const LRESULT entry = SendItem(dialog, IDC_RATE_LIST, CB_GETCURSEL, 0, 0);
    if (entry == CB_ERR || static_cast<uint32_t>(entry) >= RateTable::kRowCount)
        return;
    dfSamplingRate = RateTable::Hertz(RateTable::RowOfEntry(static_cast<uint32_t>(entry)));
    CDialogPanel panel(dialog);
    CarrierRange::ApplyRate(panel, dfSamplingRate);
}

void OnDeviceChange(HWND dialog)
{
    wchar_t name[kDeviceNameCapacity] = L"";
    GetDlgItemTextW(dialog, IDC_DEVICE_LIST, name, static_cast<int>(kDeviceNameCapacity));
    SetDlgItemTextW(dialog, IDC_DEVICE_NAME, name);
}

void OnBitsChange(HWND dialog)
{
    wchar_t text[kBitsTextCapacity] = L"";
    GetDlgItemTextW(dialog, IDC_BITS_EDIT, text, static_cast<int>(kBitsTextCapacity));
    uint32_t bits = 0;
    if (!ControlValues::ParseUnsigned(text, &bits))
        return;
    wchar_t level[kDisplayCapacity];
    ControlValues::FormatMinimumLevel(bits, level, kDisplayCapacity);
    SetDlgItemTextW(dialog, IDC_MINIMUM_LEVEL_TEXT, level);
}

void OnPlay(HWND dialog)
{
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    CDialogPanel panel(dialog);
    PlaybackControl::Start(panel);
    DeviceListRefresh::RefillIfDue(panel);
    SetCursor(previous);
}

void OnStop(HWND dialog)
{
    CDialogPanel panel(dialog);
    PlaybackControl::StopAndShowIdle(panel);
    DeviceListRefresh::RefillIfDue(panel);
}

void OnTimer(HWND dialog, UINT_PTR timer)
{
    if (timer != kDeviceCheckTimer)
        return;
    CDialogPanel panel(dialog);
    PlaybackControl::StopIfDeviceEnded(panel);
    DeviceListRefresh::RefillIfDue(panel);
}

void OnEndpointsChanged(HWND dialog)
{
    // Plugging a device in brings a burst of notifications: one refill answers all queued.
    MSG queued;
    while (PeekMessageW(&queued, dialog, kEndpointsChangedMessage, kEndpointsChangedMessage, PM_REMOVE))
    {
    }
    CDialogPanel panel(dialog);
    DeviceListRefresh::OnEndpointsChanged(panel);
}

// The watch and the icons go with the window, before the engine is torn down.
void OnDestroy()
{
    EndpointWatch().Stop();
    Icons().Remove();
}

void OnCommand(HWND dialog, int id, UINT notification)
{
    switch (id)
    {
    case IDCANCEL:
        EndpointWatch().Stop();
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 0);
        KillTimer(dialog, kDeviceCheckTimer);
        SetDefaultMessageBoxOwner(nullptr);
        EndDialog(dialog, 0);
        break;
    case IDC_PLAY:
        OnPlay(dialog);
        break;
    case IDC_STOP:
        OnStop(dialog);
        break;
    case IDC_AM_CHECK:
        OnCheckBox(dialog, id, bAM, IDC_AM_TEXT);
        break;
    case IDC_FM_CHECK:
        OnCheckBox(dialog, id, bFM, IDC_FM_TEXT);
        break;
    case IDC_NOISE_CHECK:
        OnCheckBox(dialog, id, bNoise, 0);
        break;
    case IDC_TRIGGER_CHECK:
        OnCheckBox(dialog, id, bTrigger, IDC_INVERT_CHECK);
        break;
    case IDC_INVERT_CHECK:
        OnCheckBox(dialog, id, bInvertTrigger, 0);
        break;
    case IDC_ENHANCER_CHECK:
        bEnableResolutionEnhancer = IsChecked(dialog, id) ? 1 : 0;
        break;
    case IDC_DEVICE_LIST:
        if (notification == CBN_SELCHANGE)
            OnDeviceChange(dialog);
        break;
    case IDC_RATE_LIST:
        if (notification == CBN_SELCHANGE)
            OnMaximumRateChange(dialog);
        break;
    case IDC_BITS_EDIT:
        if (notification == EN_CHANGE)
            OnBitsChange(dialog);
        break;
    case IDC_SETTINGS:
        DeviceList::OpenSoundSettings(static_cast<int32_t>(CDialogPanel(dialog).GetDeviceEntry()) - 1);
        break;
    default:
        break;
    }
}
}

INT_PTR CALLBACK ControlPanelDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        Initialize(dialog);
        break;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_HSCROLL:
        OnHorizontalScroll(dialog, reinterpret_cast<HWND>(lParam));
        break;
    case WM_VSCROLL:
        OnVerticalScroll(dialog, reinterpret_cast<HWND>(lParam));
        break;
    case WM_TIMER:
        OnTimer(dialog, wParam);
        break;
    case kEndpointsChangedMessage:
        OnEndpointsChanged(dialog);
        break;
    // Moved to a monitor of other scaling: the dialog manager rescales the layout, the icons are
    // loaded anew at the sizes for the new DPI.
    case WM_DPICHANGED:
        Icons().Show(dialog, LOWORD(wParam));
        break;
    // Also when the dialog ends other than through its close box.
    case WM_DESTROY:
        OnDestroy();
        break;
    default:
        break;
    }
    return FALSE;
}
