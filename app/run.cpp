// The run: single instance, the settings record, the hidden main window and
// the one message loop.
#include "app/run.h"

#include "app/main_window.h"
#include "capture/note_popup.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "support/window.h"

static const char kInstanceName[] = "quillomat";

HANDLE AcquireInstanceMutex() {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kInstanceName);
    if (!mutex)
        return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex;
}

void RequestQuit() {
    PostQuitMessage(0);
}

bool TranslateEditorAccelerator(HACCEL accelerators, MSG *msg) {
    if (!editorWindow)
        return false;
    // While Japanese is being converted, Esc cancels the conversion in the input method.
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE &&
        notePopupIsComposing(editorWindow))
        return false;
    return TranslateAcceleratorW(editorWindow, accelerators, msg) != 0;
}

int RunApplication(HINSTANCE instance) {
    HANDLE mutex = AcquireInstanceMutex();
    if (!mutex)
        return 0;

    AppSettings settings;
    LoadSettings(settings);

    registerAppWindowClass(instance, kInstanceName, MainWindowProc);
    HWND mainWindow = CreateWindowExA(0, kInstanceName, kInstanceName, WS_POPUP | WS_MINIMIZE,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      nullptr, nullptr, instance, &settings);
    if (!mainWindow) {
        CloseHandle(mutex);
        return 0;
    }

    // An installer's Restart Manager that ends Jotwell starts it again afterwards.
    registerForRestart();
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

    // The loop runs on the wide message functions although every window is
    // ANSI: they hand typed double-byte characters to the ANSI edit control
    // whole, where the narrow ones can split them into single bytes.
    MSG msg{};
    BOOL got = 0;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        if (TranslateEditorAccelerator(accelerators, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (got < 0) {
        // The queue has failed and no message can come: the program ends as a quit ends it
        // (icon removed, hotkey released), and an open note waits as its draft for the next
        // start, since no box could be answered.
        if (editorWindow && IsWindow(editorWindow))
            keepNotePopupDraft(editorWindow);
        DestroyWindow(mainWindow);
        msg.wParam = 0;
    }

    CloseHandle(mutex);
    return static_cast<int>(msg.wParam);
}
