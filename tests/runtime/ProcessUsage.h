#pragma once

#include <cstdint>

// Handles and committed private memory of this process, for leak checks.
struct ProcessUsage
{
    uint64_t uiHandles = 0;
    uint64_t uiPrivateBytes = 0;
};

// GetProcessHandleCount and PROCESS_MEMORY_COUNTERS_EX::PrivateUsage; where the system reports
// 0 for them (Wine does), the handle table of the process and the commit charge instead.
ProcessUsage MeasureProcessUsage();
