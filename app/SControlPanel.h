#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// What playback start and stop need from the control panel: the choices the user made and the
// few displays they update. The dialog implements it over its window; tests implement it
// without one.
class SControlPanel
{
public:
    // Owner of the message boxes; may be null.
    virtual HWND GetOwnerWindow() = 0;
    // Selected entries of the rate list and the device list.
    virtual uint32_t GetRateEntry() = 0;
    virtual uint32_t GetDeviceEntry() = 0;
    // Shows a rate list entry without announcing the change.
    virtual void ShowRateEntry(uint32_t entry) = 0;
    virtual void GetBitsText(wchar_t* text, size_t capacity) = 0;
    virtual void SetBitsText(uint32_t bits) = 0;
    // The device's bits per sample; 0 shows that no device is in use.
    virtual void ShowDeviceBits(uint32_t bits) = 0;
    // Idle: play and the settings are usable; playing: only stop and the live controls.
    virtual void ShowIdle(bool idle) = 0;
    // Sets the carrier slider's range to 0..maximum; a thumb above it is pulled to the top, as
    // a trackbar does. Returns the thumb's position.
    virtual uint32_t LimitCarrierSlider(uint32_t maximum) = 0;
    // Shows the carrier frequency (Hz) in its readout.
    virtual void ShowCarrierFrequency(double frequency) = 0;

protected:
    ~SControlPanel() = default;
};
