#pragma once

#include "app/SControlPanel.h"
#include "app/SDeviceListPanel.h"

// The control panel as playback and the device list's refill see it, over the dialog's own
// controls.
class CDialogPanel final : public SControlPanel, public SDeviceListPanel
{
public:
    explicit CDialogPanel(HWND dialog);

    HWND GetOwnerWindow() override;
    uint32_t GetRateEntry() override;
    uint32_t GetDeviceEntry() override;
    void ClearDeviceList() override;
    void AddDeviceEntry(const wchar_t* text) override;
    void SelectDeviceEntry(uint32_t entry) override;
    void ShowRateEntry(uint32_t entry) override;
    void GetBitsText(wchar_t* text, size_t capacity) override;
    void SetBitsText(uint32_t bits) override;
    void ShowDeviceBits(uint32_t bits) override;
    void ShowIdle(bool idle) override;
    uint32_t LimitCarrierSlider(uint32_t maximum) override;
    void ShowCarrierFrequency(double frequency) override;

private:
    uint32_t GetSelection(int controlId, uint32_t fallback) const;

    HWND m_hDialog;
};
