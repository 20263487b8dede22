// Debugger trace output (Windows only, trace_win.cpp).
#pragma once

#include "support/sjis.h"

typedef int (*TraceProc)(const char *format, ...);

// The current trace sink; never null.
TraceProc GetTraceProc();

// The default sink: sends the text, cut to its first 1023 bytes, to the debugger.
// Returns the text's length, or -1 when it was cut.
int DebugTrace(const char *format, ...) JOTWELL_PRINTF_LIKE(1, 2);
