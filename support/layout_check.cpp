// The first-version layouts Jotwell hands to the shell and the common controls.
// The code uses the _V1_SIZE macros and sizeof, so x86_64 gets its own sizes;
// on i686 they must be the sizes every 32-bit Windows expects. (The tool-info
// macro is not a constant expression in C++, so its size is spelt out here.)
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>

#include <cstddef>

constexpr std::size_t kToolInfoV1Size = offsetof(TTTOOLINFOA, lpszText) + sizeof(LPSTR);

#if defined(__i386__)
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "NOTIFYICONDATAA version 1 layout");
static_assert(kToolInfoV1Size == 40, "TOOLINFOA version 1 layout");
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "SHELLEXECUTEINFOA layout");
#elif defined(__x86_64__)
static_assert(NOTIFYICONDATAA_V1_SIZE == 104, "NOTIFYICONDATAA version 1 layout");
static_assert(kToolInfoV1Size == 56, "TOOLINFOA version 1 layout");
static_assert(sizeof(SHELLEXECUTEINFOA) == 112, "SHELLEXECUTEINFOA layout");
#endif
