// Every command, control, resource and private message id of Jotwell, each
// defined once. Shared by the resource script and the code.
#pragma once

// Commands: tray menu, accelerator table, global hotkey and the windows.
#define IDM_QUIT       40001
#define IDM_ABOUT      40002
#define IDM_CANCEL     40046
#define IDM_POPUP      40048
#define IDM_SETTINGS   40049
#define IDM_OPENFOLDER 40050

// Resources.
#define IDD_ABOUT_LAYOUT 126 // kept in the resources, never loaded
#define IDR_ACCELERATORS 129
#define IDR_MENU         131
#define IDD_SETTINGS     133
#define IDI_APP          136

// Main window: the tray icon's id and callback message, the watchdog timer.
#define TRAY_ICON_ID     1
#define WM_TRAYNOTIFY    0x8001
#define TRAY_WATCHDOG_ID 2
#define WM_STARTED       0x8002 // posted to itself once the window is made
#define POPUP_HOTKEY_ID  IDM_POPUP

// Popup editor: its edit control, and the timer that writes the draft.
#define IDC_NOTE_EDIT           1000
#define DRAFT_TIMER_ID          3 // a pause in the typing
#define DRAFT_DEADLINE_TIMER_ID 4 // the longest the draft falls behind

// Settings dialog.
#define IDC_HOTKEY     1035
#define IDC_IMEONSTART 1037
#define IDC_FOLDER     1040
#define IDC_BROWSE     1041

// About box (built in memory) and the unused About layout 126.
#define IDC_ABOUT_ICON      100
#define IDC_ABOUT_NAME      101
#define IDC_ABOUT_LINK      102
#define IDC_ABOUT_RESOURCES 103
#define LINK_HOVER_TIMER_ID 1

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
