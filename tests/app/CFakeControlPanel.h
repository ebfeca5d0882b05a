#pragma once

#include "app/SControlPanel.h"
#include "app/SDeviceListPanel.h"

#include <algorithm>
#include <string>
#include <vector>

// A control panel without a window: holds the user's choices and records what playback and the
// device list's refill show.
class CFakeControlPanel final : public SControlPanel, public SDeviceListPanel
{
public:
    HWND GetOwnerWindow() override { return nullptr; }
    uint32_t GetRateEntry() override { return uiRateEntry; }
    uint32_t GetDeviceEntry() override { return uiDeviceEntry; }
    void ClearDeviceList() override { deviceEntries.clear(); }
    void AddDeviceEntry(const wchar_t* text) override { deviceEntries.push_back(text); }
    void SelectDeviceEntry(uint32_t entry) override
    {
        uiDeviceEntry = entry;
        shownDeviceNames.push_back(entry < deviceEntries.size() ? deviceEntries[entry] : L"(none)");
    }
    void ShowRateEntry(uint32_t entry) override { shownRateEntries.push_back(entry); }
    void GetBitsText(wchar_t* text, size_t capacity) override { text[bitsText.copy(text, capacity - 1)] = L'\0'; }
    void SetBitsText(uint32_t bits) override { bitsText = std::to_wstring(bits); }
    void ShowDeviceBits(uint32_t bits) override { deviceBits.push_back(bits); }
    void ShowIdle(bool idle) override { idleStates.push_back(idle); }
    // A trackbar: the thumb stays inside the range.
    uint32_t LimitCarrierSlider(uint32_t maximum) override
    {
        uiCarrierMaximum = maximum;
        uiCarrierPosition = std::min(uiCarrierPosition, maximum);
        return uiCarrierPosition;
    }
    void ShowCarrierFrequency(double frequency) override { carrierFrequencies.push_back(frequency); }

    uint32_t uiRateEntry = 11;
    uint32_t uiDeviceEntry = 0;
    std::vector<std::wstring> deviceEntries;
    // The name display after each selection by a refill.
    std::vector<std::wstring> shownDeviceNames;
    std::wstring bitsText = L"24";
    std::vector<uint32_t> shownRateEntries;
    std::vector<uint32_t> deviceBits;
    std::vector<bool> idleStates;
    uint32_t uiCarrierMaximum = 10500;
    uint32_t uiCarrierPosition = 5000;
    std::vector<double> carrierFrequencies;
};
