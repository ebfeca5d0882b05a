// A control.exe as a downloaded file beside the program could be: it leaves a trace and ends.
#include "tests/app/e2e/planted/PlantedTrace.h"

int main()
{
    LeaveTrace(nullptr, L"control.exe");
    return 0;
}
