#pragma once

// The default system beep, through a replaceable hook so that tests and the host build can
// observe it. On Windows the default sounds MessageBeep(0); elsewhere it does nothing.
using SystemBeepHook = void (*)();

void SoundSystemBeep();
// Returns the previous hook; nullptr restores the platform default.
SystemBeepHook SetSystemBeepHook(SystemBeepHook hook);
