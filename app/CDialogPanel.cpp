#include "app/CDialogPanel.h"

#include "app/ControlValues.h"
#include "app/ProcessState.h"
#include "app/RateTable.h"
#include "app/ResourceIds.h"

#include <commctrl.h>

CDialogPanel::CDialogPanel(HWND dialog) : m_hDialog(dialog) {}

HWND CDialogPanel::GetOwnerWindow()
{
    return m_hDialog;
}

uint32_t CDialogPanel::GetSelection(int controlId, uint32_t fallback) const
{
    const LRESULT selection = SendDlgItemMessageW(m_hDialog, controlId, CB_GETCURSEL, 0, 0);
    return selection == CB_ERR ? fallback : static_cast<uint32_t>(selection);
}

uint32_t CDialogPanel::GetRateEntry()
{
    const uint32_t entry = GetSelection(IDC_RATE_LIST, RateTable::EntryOfRow(uiRateIndex));
    return entry < RateTable::kRowCount ? entry : RateTable::EntryOfRow(uiRateIndex);
}

uint32_t CDialogPanel::GetDeviceEntry()
{
    return GetSelection(IDC_DEVICE_LIST, 0);
}

void CDialogPanel::ClearDeviceList()
{
    SendDlgItemMessageW(m_hDialog, IDC_DEVICE_LIST, CB_RESETCONTENT, 0, 0);
}

void CDialogPanel::AddDeviceEntry(const wchar_t* text)
{
    SendDlgItemMessageW(m_hDialog, IDC_DEVICE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void CDialogPanel::SelectDeviceEntry(uint32_t entry)
{
    const HWND list = GetDlgItem(m_hDialog, IDC_DEVICE_LIST);
    SendMessageW(list, CB_SETCURSEL, entry, 0);
    // Setting the selection does not notify: tell the dialog as the user's choice does, so
    // that the name display follows.
    SendMessageW(m_hDialog, WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void CDialogPanel::ShowRateEntry(uint32_t entry)
{
    SendDlgItemMessageW(m_hDialog, IDC_RATE_LIST, CB_SETCURSEL, entry, 0);
}

void CDialogPanel::GetBitsText(wchar_t* text, size_t capacity)
{
    if (text == nullptr || capacity == 0)
        return;
    text[0] = L'\0';
    GetDlgItemTextW(m_hDialog, IDC_BITS_EDIT, text, static_cast<int>(capacity));
}

void CDialogPanel::SetBitsText(uint32_t bits)
{
    SetDlgItemInt(m_hDialog, IDC_BITS_EDIT, bits, FALSE);
}

void CDialogPanel::ShowDeviceBits(uint32_t bits)
{
    if (bits == 0)
        SetDlgItemTextW(m_hDialog, IDC_DEVICE_BITS_TEXT, L"N/A");
    else
        SetDlgItemInt(m_hDialog, IDC_DEVICE_BITS_TEXT, bits, FALSE);
}

void CDialogPanel::ShowIdle(bool idle)
{
    const HWND stop = GetDlgItem(m_hDialog, IDC_STOP);
    const HWND focus = GetFocus();
    const bool hadFocus = focus != nullptr && IsChild(m_hDialog, focus);
    const int idleControls[] = {IDC_PLAY,      IDC_DEVICE_LIST,    IDC_RATE_LIST,
                                IDC_BITS_EDIT, IDC_ENHANCER_CHECK, IDC_SETTINGS};
    for (int id : idleControls)
        EnableWindow(GetDlgItem(m_hDialog, id), idle ? TRUE : FALSE);
    EnableWindow(stop, idle ? FALSE : TRUE);
    // A disabled control loses the focus; hand it to the button that now makes sense, so that
    // the keyboard keeps working.
    if (hadFocus && GetFocus() == nullptr)
    {
        const HWND next = idle ? GetDlgItem(m_hDialog, IDC_PLAY) : stop;
        SendMessageW(m_hDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
    }
}

uint32_t CDialogPanel::LimitCarrierSlider(uint32_t maximum)
{
    SendDlgItemMessageW(m_hDialog, IDC_FREQUENCY_SLIDER, TBM_SETRANGEMAX, TRUE, static_cast<LPARAM>(maximum));
    return static_cast<uint32_t>(SendDlgItemMessageW(m_hDialog, IDC_FREQUENCY_SLIDER, TBM_GETPOS, 0, 0));
}

void CDialogPanel::ShowCarrierFrequency(double frequency)
{
    wchar_t text[ControlValues::kDisplayCapacity];
    ControlValues::FormatFixed(frequency, ControlValues::kCarrierDecimals, text, ControlValues::kDisplayCapacity);
    SetDlgItemTextW(m_hDialog, IDC_FREQUENCY_TEXT, text);
}
