// Jotwell's entry point: trace the command line, prepare the process, run.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>

#include "app/cmdline.h"
#include "app/run.h"
#include "app/trace.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A DLL planted in the current directory must never be loaded.
    SetDllDirectoryA("");
    // A drive without its medium (a card pulled from its reader) fails the call that asks for
    // it, instead of showing the system's "insert a disk" box, which would hold the only
    // thread. The rest of the mode the process was started with stays.
    const UINT inherited = SetErrorMode(SEM_FAILCRITICALERRORS);
    SetErrorMode(inherited | SEM_FAILCRITICALERRORS);

    int argc = 0;
    char **argv = SplitCommandLine(GetCommandLineA(), &argc);
    if (!argv)
        return 1;
    for (int i = 0; i < argc; ++i)
        GetTraceProc()("argv[%2d]=%s\r\n", i, argv[i]);

    InitCommonControls();
    CoInitialize(nullptr);
    const int result = RunApplication(instance);
    CoUninitialize();
    std::free(argv);
    return result;
}
