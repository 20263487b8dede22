// Stands in for the optional system library rsrc32.dll in the About box tests:
// it reports 100 per cent free when asked as the About box asks (with 0).
#include <windows.h>

// Exported by fake_rsrc32.def under its 32-bit stdcall name on both targets;
// the i686 linker looks the name up with one more leading underscore.
#if defined(__x86_64__)
#define FAKE_SYMBOL "_MyGetFreeSystemResources32@4"
#else
#define FAKE_SYMBOL "__MyGetFreeSystemResources32@4"
#endif

extern "C" int WINAPI fakeFreeSystemResources(UINT kind) __asm__(FAKE_SYMBOL);

extern "C" int WINAPI fakeFreeSystemResources(UINT kind) {
    return kind == 0 ? 100 : -1;
}
