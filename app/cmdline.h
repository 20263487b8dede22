// Splitting the program's own command line, and the formatting behind trace output.
// Platform-free: the text is a Shift-JIS byte string as the system hands it over.
#pragma once

#include "support/sjis.h"

#include <cstdarg>
#include <cstddef>

// Caller frees the result with free(): one block of *argc + 1 pointer slots (the last
// null) followed by the arguments' strings. Null when the block cannot be allocated.
// Argument 0 is the program name and is always present, possibly empty.
char **SplitCommandLine(const char *commandLine, int *argc);

// Size of the buffer traceFormat fills.
constexpr std::size_t kTraceBufferSize = 1024;

// Formats at most 1023 bytes into buffer and always terminates it at index 1023 at the
// latest. Returns the text's length, or -1 when it was cut.
int traceFormat(char *buffer, const char *format, va_list args) JOTWELL_PRINTF_LIKE(2, 0);
