#pragma once

#include <windows.h>

// Every worker thread is created through CreateSuspendedThread, so that tests can install a
// creator that fails the way CreateThread fails (null handle) on a chosen call.
using ThreadCreator = HANDLE (*)(LPTHREAD_START_ROUTINE entry, void* parameter, DWORD* threadId);

// A suspended thread with default security and stack size, through the installed creator or
// CreateThread when none is installed. Null when it could not be created.
HANDLE CreateSuspendedThread(LPTHREAD_START_ROUTINE entry, void* parameter, DWORD* threadId);

// Installs creator (nullptr restores CreateThread) and returns the previous one.
ThreadCreator SetThreadCreator(ThreadCreator creator);
