#include "runtime/CMmcssRegistration.h"

#include "runtime/CSystemLibrary.h"

#include <avrt.h>

namespace
{
// avrt.dll is not among the DLLs Windows always takes from the system folder.
struct SchedulerService
{
    CSystemLibrary Library{L"avrt.dll"};
    decltype(&AvSetMmThreadCharacteristicsW) pfnRegister =
        Library.Find<decltype(&AvSetMmThreadCharacteristicsW)>("AvSetMmThreadCharacteristicsW");
    decltype(&AvRevertMmThreadCharacteristics) pfnRevert =
        Library.Find<decltype(&AvRevertMmThreadCharacteristics)>("AvRevertMmThreadCharacteristics");
};

const SchedulerService& Avrt()
{
    static const SchedulerService service;
    return service;
}

thread_local bool bThreadRegistered = false;
}

CMmcssRegistration::CMmcssRegistration() : m_hTask(nullptr)
{
    const SchedulerService& avrt = Avrt();
    // A registration that could not be reverted would outlive its owner.
    if (avrt.pfnRegister == nullptr || avrt.pfnRevert == nullptr)
        return;
    DWORD taskIndex = 0;
    m_hTask = avrt.pfnRegister(L"Pro Audio", &taskIndex);
    bThreadRegistered = m_hTask != nullptr;
}

CMmcssRegistration::~CMmcssRegistration()
{
    if (m_hTask != nullptr && Avrt().pfnRevert(m_hTask))
        bThreadRegistered = false;
}

bool CMmcssRegistration::IsThreadRegistered()
{
    return bThreadRegistered;
}
