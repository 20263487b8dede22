// The process's run: single instance, settings, main window and message loop.
#pragma once

#include <windows.h>

// Null when another instance holds the name or the mutex cannot be made.
HANDLE AcquireInstanceMutex();
int RunApplication(HINSTANCE instance);
void RequestQuit();
