#pragma once

#include <cstdint>

// The output-device list as its refill sees it: the list itself and the name display under it.
// The dialog implements it over its controls; tests implement it without a window.
class SDeviceListPanel
{
public:
    virtual uint32_t GetDeviceEntry() = 0;
    // Leaves the list without entries.
    virtual void ClearDeviceList() = 0;
    virtual void AddDeviceEntry(const wchar_t* text) = 0;
    // Selects an entry and shows its text in the name display, as the user's choice does.
    virtual void SelectDeviceEntry(uint32_t entry) = 0;

protected:
    ~SDeviceListPanel() = default;
};
