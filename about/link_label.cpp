#include "about/link_label.h"

#include <cstdlib>
#include <cstring>

#include "about/link_cursor.h"
#include "res/resource.h"
#include "support/sjis.h"
#include "support/window.h"

namespace {

// All of a label's state; nothing is shared between labels.
constexpr char kOriginalProcProp[] = "LLPROP_ORIGINALPROC";
constexpr char kControlStateProp[] = "LLPROP_CONTROLSTATE";
constexpr char kCursorProp[] = "LLPROP_CURSOR";
constexpr char kFontProp[] = "LLPROP_FONT";
// Present while the label sends a notification: the notification itself.
constexpr char kSendingProp[] = "LLPROP_SENDING";

constexpr UINT_PTR kHotBit = 1;
constexpr COLORREF kHotColour = RGB(255, 0, 0);
constexpr COLORREF kNormalColour = RGB(0, 0, 255);

WNDPROC originalProc(HWND label) {
    return reinterpret_cast<WNDPROC>(GetPropA(label, kOriginalProcProp));
}

LRESULT forward(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC original = originalProc(label);
    if (!original)
        return DefWindowProcA(label, message, wParam, lParam);
    return CallWindowProcA(original, label, message, wParam, lParam);
}

bool isHot(HWND label) {
    return (reinterpret_cast<UINT_PTR>(GetPropA(label, kControlStateProp)) & kHotBit) != 0;
}

void setState(HWND label, UINT_PTR state) {
    SetPropA(label, kControlStateProp, reinterpret_cast<HANDLE>(state));
}

// Always the current cursor position, never the one a message carries: the
// timer has none, and a reflected notification may arrive late. A position that
// cannot be read or converted counts as outside, so the label cools down and
// no click is sent.
bool cursorInside(HWND label) {
    RECT client;
    POINT cursor;
    if (!GetClientRect(label, &client) || !GetCursorPos(&cursor) || !ScreenToClient(label, &cursor))
        return false;
    return PtInRect(&client, cursor) != 0;
}

LRESULT notifyParent(HWND label, UINT code, WPARAM keyFlags, LPARAM position) {
    LinkLabelNotify notify;
    zeroFill(&notify, sizeof notify);
    notify.hdr.hwndFrom = label;
    notify.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(label));
    notify.hdr.code = code;
    if (code == LLN_HOVER) {
        notify.keyFlags = static_cast<DWORD>(keyFlags);
        notify.position = static_cast<DWORD>(position);
    }
    SetPropA(label, kSendingProp, &notify);
    const LRESULT result = SendMessageA(GetParent(label), WM_NOTIFY, notify.hdr.idFrom,
                                        reinterpret_cast<LPARAM>(&notify));
    RemovePropA(label, kSendingProp);
    return result;
}

void paintText(HWND label, HDC dc) {
    char *text = windowTextAlloc(label);
    if (!text)
        return;
    SetTextColor(dc, isHot(label) ? kHotColour : kNormalColour);
    const auto font = reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0));
    if (font) {
        SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 0, 0, text, static_cast<int>(std::strlen(text)));
    }
    std::free(text);
}

LRESULT onPaint(HWND label) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(label, &paint);
    if (dc) {
        const int saved = SaveDC(dc);
        RECT client{};
        GetClientRect(label, &client);
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        if (GetCapture() == label && isHot(label))
            FrameRect(dc, &client, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        paintText(label, dc);
        RestoreDC(dc, saved);
    }
    EndPaint(label, &paint);
    return 0;
}

LRESULT onSetCursor(HWND label) {
    const auto cursor = static_cast<HCURSOR>(GetPropA(label, kCursorProp));
    if (cursor)
        SetCursor(cursor);
    return TRUE;
}

// A static without SS_NOTIFY is transparent to hit-testing; the label must see
// the mouse while it is over it.
LRESULT onNcHitTest(HWND label, WPARAM wParam, LPARAM lParam) {
    if (cursorInside(label))
        return HTCLIENT;
    return forward(label, WM_NCHITTEST, wParam, lParam);
}

LRESULT onMouseMove(HWND label, WPARAM wParam, LPARAM lParam) {
    if (cursorInside(label)) {
        // Re-arming replaces the running timer: one per label.
        SetTimer(label, LINK_HOVER_TIMER_ID, 0, LinkLabelTimerProc);
        notifyParent(label, LLN_HOVER, wParam, lParam);
    }
    return forward(label, WM_MOUSEMOVE, wParam, lParam);
}

LRESULT onLButtonDown(HWND label, WPARAM wParam, LPARAM lParam) {
    SetCapture(label);
    invalidateWindow(label);
    return forward(label, WM_LBUTTONDOWN, wParam, lParam);
}

LRESULT onLButtonUp(HWND label, WPARAM wParam, LPARAM lParam) {
    // A press that began elsewhere, or a release after moving off, is no click.
    if (GetCapture() == label) {
        ReleaseCapture();
        if (cursorInside(label))
            notifyParent(label, LLN_CLICK, 0, 0);
    }
    return forward(label, WM_LBUTTONUP, wParam, lParam);
}

LRESULT onReflectedNotify(HWND label, WPARAM wParam, LPARAM lParam) {
    // Only its own notification, reflected by the parent: another program's could point
    // anywhere, and goes on to the static unread.
    const NMHDR *header = LinkLabelSending(label);
    if (reinterpret_cast<LPARAM>(header) != lParam)
        header = nullptr;
    if (header && header->code == LLN_LEAVE) {
        setState(label, 0);
        invalidateWindow(label);
        return 0;
    }
    if (header && header->code == LLN_HOVER) {
        if (cursorInside(label))
            setState(label, kHotBit);
        invalidateWindow(label);
        return 0;
    }
    return forward(label, WM_NOTIFY, wParam, lParam);
}

// Puts the static back as it was and frees what attaching made. A running hover
// timer goes with the window.
LRESULT onDestroy(HWND label, WPARAM wParam, LPARAM lParam) {
    const WNDPROC original = originalProc(label);
    if (original)
        SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropA(label, kOriginalProcProp);
    RemovePropA(label, kControlStateProp);
    RemovePropA(label, kSendingProp);
    if (const auto font = static_cast<HFONT>(RemovePropA(label, kFontProp)))
        DeleteObject(font);
    if (const auto cursor = static_cast<HCURSOR>(RemovePropA(label, kCursorProp)))
        DestroyCursor(cursor);
    if (!original)
        return DefWindowProcA(label, WM_DESTROY, wParam, lParam);
    return CallWindowProcA(original, label, WM_DESTROY, wParam, lParam);
}

// Caller deletes the font (DeleteObject). Null when the control has no font.
HFONT underlinedFontOf(HWND control) {
    const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    if (!font)
        return nullptr;
    LOGFONTA logFont;
    if (GetObjectA(font, sizeof logFont, &logFont) != static_cast<int>(sizeof logFont))
        return nullptr;
    logFont.lfUnderline = 1;
    return CreateFontIndirectA(&logFont);
}

void removeProps(HWND control) {
    for (const char *name : {kOriginalProcProp, kControlStateProp, kCursorProp, kFontProp})
        RemovePropA(control, name);
}

} // namespace

bool AttachLinkLabel(HWND control) {
    // Attached again, the label would forward every message to itself.
    if (originalProc(control))
        return false;
    HFONT font = underlinedFontOf(control);
    if (!font)
        return false;
    HCURSOR cursor =
        CreateCursor(GetModuleHandleA(nullptr), kHandCursorHotX, kHandCursorHotY, kHandCursorSize,
                     kHandCursorSize, kHandCursorAnd.data(), kHandCursorXor.data());
    if (!cursor) {
        DeleteObject(font);
        return false;
    }
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkLabelProc)));
    const bool propsSet =
        previous && SetPropA(control, kOriginalProcProp, reinterpret_cast<HANDLE>(previous)) &&
        SetPropA(control, kControlStateProp, nullptr) && SetPropA(control, kCursorProp, cursor) &&
        SetPropA(control, kFontProp, font);
    if (!propsSet) {
        // A label without its state would forward nothing and leak: undo it all.
        if (previous)
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        removeProps(control);
        DestroyCursor(cursor);
        DeleteObject(font);
        return false;
    }
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return true;
}

const NMHDR *LinkLabelSending(HWND label) {
    return static_cast<const NMHDR *>(GetPropA(label, kSendingProp));
}

LRESULT CALLBACK LinkLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: return onPaint(label);
    case WM_SETCURSOR: return onSetCursor(label);
    case WM_NCHITTEST: return onNcHitTest(label, wParam, lParam);
    case WM_MOUSEMOVE: return onMouseMove(label, wParam, lParam);
    case WM_LBUTTONDOWN: return onLButtonDown(label, wParam, lParam);
    case WM_LBUTTONUP: return onLButtonUp(label, wParam, lParam);
    case WM_NOTIFY: return onReflectedNotify(label, wParam, lParam);
    case WM_DESTROY: return onDestroy(label, wParam, lParam);
    default: return forward(label, message, wParam, lParam);
    }
}

VOID CALLBACK LinkLabelTimerProc(HWND label, UINT, UINT_PTR id, DWORD) {
    if (cursorInside(label))
        return;
    KillTimer(label, id);
    notifyParent(label, LLN_LEAVE, 0, 0);
}
