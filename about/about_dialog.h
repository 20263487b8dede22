// The About box, built from a template in memory.
#pragma once

#include <windows.h>

#include "support_url.h"

// The support site the About box links to, as the build was configured (JOTWELL_SUPPORT_URL).
constexpr char kSupportAddress[] = JOTWELL_SUPPORT_URL;

struct AboutInfo {
    const char *address; // the support-site address shown as the link
};

// Runs the modal About box; a request while one is open brings it forward.
// Always true.
bool ShowAboutBox(HWND owner, const AboutInfo *info);
// The same, reporting how the box ended: 1 (OK or the link), 2 (Esc or the close
// box), 0 when none was run (one was open already, or no template could be
// built), or -1 when the platform could not create it.
INT_PTR RunAboutBox(HWND owner, const AboutInfo *info);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
