#include "app/DeviceListRefresh.h"

#include "app/DeviceList.h"
#include "app/PlaybackControl.h"
#include "app/SDeviceListPanel.h"

#include <string>

namespace
{
const wchar_t kDefaultDeviceText[] = L"既定のオーディオ再生デバイス";

bool g_bRefillDue = false;

void AddEntry(const wchar_t* name, void* context)
{
    static_cast<SDeviceListPanel*>(context)->AddDeviceEntry(name);
}
}

namespace DeviceListRefresh
{
void Refill(SDeviceListPanel& panel)
{
    g_bRefillDue = false;
    // Copied: the enumeration below replaces the listed IDs.
    const wchar_t* const selectedId = DeviceList::EndpointId(static_cast<int32_t>(panel.GetDeviceEntry()) - 1);
    const std::wstring kept = selectedId != nullptr ? selectedId : L"";
    panel.ClearDeviceList();
    panel.AddDeviceEntry(kDefaultDeviceText);
    DeviceList::EnumerateEndpointNames(AddEntry, &panel);
    panel.SelectDeviceEntry(static_cast<uint32_t>(DeviceList::FindEndpoint(kept.c_str()) + 1));
}

void OnEndpointsChanged(SDeviceListPanel& panel)
{
    g_bRefillDue = true;
    RefillIfDue(panel);
}

void RefillIfDue(SDeviceListPanel& panel)
{
    if (g_bRefillDue && !PlaybackControl::IsBusy())
        Refill(panel);
}
}
