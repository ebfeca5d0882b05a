#include "app/Application.h"

#include "app/ControlPanelDialog.h"
#include "app/EngineObjects.h"
#include "app/ResourceIds.h"

#include <commctrl.h>

int RunApplication(HINSTANCE instance)
{
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    INT_PTR result = -1;
    {
        EngineObjects engine;
        PublishEngineObjects(engine);
        result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONTROL_PANEL), nullptr, ControlPanelDialogProc,
                                 reinterpret_cast<LPARAM>(instance));
        TearDownEngine();
    }
    return static_cast<int>(result);
}
