#include "app/DeviceList.h"

#include "device/AudioEndpoint.h"
#include "device/ComHolder.h"
#include "device/RenderEndpointList.h"
#include "runtime/BoundedString.h"
#include "runtime/CHandleHolder.h"
#include "runtime/Status.h"

#include <climits>
#include <string>
#include <vector>

namespace
{
// The IDs of the listed endpoints, by list position; main thread only.
std::vector<std::wstring>& ListedIds()
{
    static std::vector<std::wstring> ids;
    return ids;
}

constexpr size_t kProgramPathCapacity = MAX_PATH;

// program is a full path: with none, CreateProcessW would look for the command line's first
// word in the program's own folder and the current directory before the system folder.
void StartDetached(const wchar_t* program, wchar_t* commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        // Never waited for: both handles go at once.
        const CHandleHolder thread(process.hThread);
        const CHandleHolder started(process.hProcess);
    }
}
}

namespace DeviceList
{
bool EnumerateEndpointNames(NameSink sink, void* context)
{
    std::vector<RenderEndpointEntry> endpoints;
    const bool listed = ListRenderEndpoints(&endpoints);
    ListedIds().clear();
    for (const RenderEndpointEntry& endpoint : endpoints)
    {
        ListedIds().push_back(endpoint.Id);
        if (sink != nullptr)
            sink(endpoint.Name.c_str(), context);
    }
    return listed;
}

int32_t FindEndpoint(const wchar_t* endpointId)
{
    if (endpointId == nullptr || endpointId[0] == L'\0')
        return -1;
    const std::vector<std::wstring>& ids = ListedIds();
    for (size_t index = 0; index < ids.size(); ++index)
    {
        if (ids[index] == endpointId)
            return static_cast<int32_t>(index);
    }
    return -1;
}

const wchar_t* EndpointId(int32_t deviceIndex)
{
    if (deviceIndex == -1)
        return nullptr;
    const std::vector<std::wstring>& ids = ListedIds();
    if (deviceIndex < 0 || static_cast<size_t>(deviceIndex) >= ids.size())
        return L"";
    return ids[static_cast<size_t>(deviceIndex)].c_str();
}

void BuildSettingsCommandLine(const wchar_t* endpointId, wchar_t* commandLine, size_t capacity)
{
    if (commandLine == nullptr || capacity == 0)
        return;
    commandLine[0] = L'\0';
    AppendWideString(commandLine, capacity, L"\"control.exe\" mmsys.cpl,,");
    if (endpointId != nullptr)
        AppendWideString(commandLine, capacity, endpointId);
    AppendWideString(commandLine, capacity, L",advanced");
}

bool SystemControlPanelPath(wchar_t* path, size_t capacity)
{
    if (path == nullptr || capacity == 0)
        return false;
    const UINT room = capacity < UINT_MAX ? static_cast<UINT>(capacity) : UINT_MAX;
    const UINT length = GetSystemDirectoryW(path, room);
    if (length == 0 || length >= capacity)
    {
        path[0] = L'\0';
        return false;
    }
    return AppendWideString(path, capacity, L"\\control.exe") == kStatusSuccess;
}

int32_t OpenSoundSettings(int32_t deviceIndex)
{
    CComHolder<IMMDevice> device;
    const int32_t status = GetAudioEndpoint(EndpointId(deviceIndex), device.Put());
    if (status < 0)
        return status;
    CCoTaskMemHolder<wchar_t> id;
    device->GetId(id.Put());
    wchar_t commandLine[kCommandLineCapacity];
    BuildSettingsCommandLine(id.Get(), commandLine, kCommandLineCapacity);
    wchar_t program[kProgramPathCapacity];
    if (SystemControlPanelPath(program, kProgramPathCapacity))
        StartDetached(program, commandLine);
    return status;
}
}
