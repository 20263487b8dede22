// The system's own words for an error code, for the few messages Jotwell shows.
#pragma once

#include <windows.h>

#include <cstddef>

// Room for a reason: the system's text and its number.
constexpr std::size_t kSystemReasonSize = 512 + 16;

// Jotwell's own reasons, in the range the system leaves to programs (bit 29 set).
constexpr DWORD kErrorDraftIsLink = 0x20000001;        // a link, or a file with other names too
constexpr DWORD kErrorDraftHasNul = 0x20000002;        // bytes that no typed text holds
constexpr DWORD kErrorSettingsUnreadable = 0x20000003; // read at start it could not be
constexpr DWORD kErrorSettingsUtf8 = 0x20000004;       // saved as UTF-8: none of its names match
constexpr DWORD kErrorRecordElsewhere =
    0x20000005; // a draft's record names a file outside the notes

// The text for the error in the user's language, without the line break the system ends it
// with, and the error's number: "text (N)"; "エラー N" when there is no text for it.
void systemReason(DWORD error, char (&reason)[kSystemReasonSize]);
