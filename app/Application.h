#pragma once

#include <windows.h>

// Builds the long-lived engine objects, runs the control panel modally, then stops whatever
// still runs and tears everything down. Returns the dialog's result: 0 when the user closed
// it, -1 when it could not be created.
int RunApplication(HINSTANCE instance);
