// The system's own words for an error code, for the few messages Jotwell shows.
#pragma once

#include <windows.h>

#include <cstddef>

// The system's text for the error in the user's language, without the line break it ends
// with; "エラー N" when the system has none.
void systemReason(DWORD error, char *reason, std::size_t size);
