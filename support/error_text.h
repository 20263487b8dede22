// The system's own words for an error code, for the few messages Jotwell shows.
#pragma once

#include <windows.h>

#include <cstddef>

// Room for a reason: the system's text and its number.
constexpr std::size_t kSystemReasonSize = 512 + 16;

// The system's text for the error in the user's language, without the line break it ends
// with ("エラー N" when the system has none), and the error's number: "text (N)".
void systemReason(DWORD error, char (&reason)[kSystemReasonSize]);
