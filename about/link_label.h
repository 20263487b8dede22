// A static control turned into a hyperlink-style label: underlined, blue, red
// while hot, with a hand cursor. It tells its parent by WM_NOTIFY when the mouse
// hovers over it, leaves it or clicks it; the parent sends LLN_HOVER and
// LLN_LEAVE back to the label unchanged, and only that reflection makes the
// label hot or normal again.
#pragma once

#include <windows.h>

constexpr UINT LLN_CLICK = 1025;
constexpr UINT LLN_LEAVE = 1026;
constexpr UINT LLN_HOVER = 1027;

// Sent as WM_NOTIFY's lParam, with the label's id as wParam.
struct LinkLabelNotify {
    NMHDR hdr;
    DWORD keyFlags; // LLN_HOVER: the WM_MOUSEMOVE's MK_ bits; otherwise 0
    DWORD position; // LLN_HOVER: the WM_MOUSEMOVE's client x (low word) and y; otherwise 0
};

// The notification the label is sending at this moment, or null: the only WM_NOTIFY of its
// that a parent (or the label, reflected) may read. Another program's could point anywhere.
const NMHDR *LinkLabelSending(HWND label);

// The control must already have its font (WM_SETFONT). False, with the control
// untouched, when the underlined font or the cursor cannot be made, or when it is a link
// label already.
bool AttachLinkLabel(HWND control);
LRESULT CALLBACK LinkLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam);
// The hover timer: sends LLN_LEAVE once the cursor is outside.
VOID CALLBACK LinkLabelTimerProc(HWND label, UINT message, UINT_PTR id, DWORD time);
