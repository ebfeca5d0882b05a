#pragma once

class SDeviceListPanel;

// Keeps the output-device list in step with the system's endpoints. Main thread only.
namespace DeviceListRefresh
{
// Fills the list anew: "既定のオーディオ再生デバイス", then the active endpoints. The endpoint
// selected before stays selected wherever it moved, found by its ID; when it is gone, the
// default entry is selected. Either way the name display shows the selected entry.
void Refill(SDeviceListPanel& panel);

// The endpoints changed. Idle: refills now. Playing, or while a start or a stop runs (their
// message boxes dispatch the news too): the refill is put off until RefillIfDue finds
// playback idle, so that the list does not change under the device in use.
void OnEndpointsChanged(SDeviceListPanel& panel);

// After a start, a stop or a device check: the refill that was put off, once idle.
void RefillIfDue(SDeviceListPanel& panel);
}
