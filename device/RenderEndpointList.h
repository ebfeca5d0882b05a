#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One active render endpoint as the device list shows it: its friendly name, cut to
// kEndpointNameCapacity - 1 characters ("Unknown" when unreadable), and its ID
// (IMMDevice::GetId; empty when unreadable), by which it is opened later.
struct RenderEndpointEntry
{
    std::wstring Name;
    std::wstring Id;
};

constexpr size_t kEndpointNameCapacity = 64;

// Replaces *entries with the active render endpoints in enumeration order. False (and no
// entries) when the enumerator or the endpoint collection cannot be obtained.
bool ListRenderEndpoints(std::vector<RenderEndpointEntry>* entries);
