// The process's run: single instance, settings, main window and message loop.
#pragma once

#include <windows.h>

// Null when another instance holds the name or the mutex cannot be made.
HANDLE AcquireInstanceMutex();
int RunApplication(HINSTANCE instance);
void RequestQuit();

// The Esc accelerator of the loop: turns the message into the editor's IDM_CANCEL and says
// so, while an editor exists and the input method is not converting in it.
bool TranslateEditorAccelerator(HACCEL accelerators, MSG *msg);
