#include "app/trace.h"

#include "app/cmdline.h"

#include <windows.h>

namespace {

TraceProc traceHook = DebugTrace;

} // namespace

TraceProc GetTraceProc() {
    return traceHook ? traceHook : DebugTrace;
}

int DebugTrace(const char *format, ...) {
    char buffer[kTraceBufferSize];
    va_list args;
    va_start(args, format);
    const int length = traceFormat(buffer, format, args);
    va_end(args);
    OutputDebugStringA(buffer);
    return length;
}
