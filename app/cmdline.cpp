#include "app/cmdline.h"

#include "support/sjis.h"

#include <cstdlib>

namespace {

// One walk serves both passes: measuring (no slots, no output) and filling. Sharing it
// is what guarantees the filling pass writes exactly the measured number of bytes.
struct Walk {
    char **slots;
    char *out;
    std::size_t bytes;
    int argc;
};

void copyBytes(Walk &walk, const char *from, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (walk.out)
            *walk.out++ = from[i];
    }
    walk.bytes += count;
}

void copyByte(Walk &walk, char byte) {
    copyBytes(walk, &byte, 1);
}

void startArgument(Walk &walk) {
    if (walk.slots)
        walk.slots[walk.argc] = walk.out;
}

// Returns the position after the program name; the name has no escapes.
const char *walkProgramName(Walk &walk, const char *at) {
    startArgument(walk);
    if (*at == '"') {
        ++at;
        const std::size_t length = sjisCSpan("\"", at);
        copyBytes(walk, at, length);
        at += length;
        if (*at == '"')
            ++at;
    } else {
        const std::size_t length = sjisCSpan(" \t", at);
        copyBytes(walk, at, length);
        at += length;
    }
    copyByte(walk, '\0');
    return at;
}

const char *walkArgument(Walk &walk, const char *at) {
    bool quoted = false;
    for (;;) {
        const std::size_t backslashes = sjisSpan("\\", at);
        const char *run = at;
        at += backslashes;
        if (*at == '"') {
            copyBytes(walk, run, backslashes / 2);
            if (backslashes % 2 == 1) {
                copyByte(walk, '"');
                ++at;
                continue;
            }
            ++at;
            if (quoted && *at == '"') {
                copyByte(walk, '"');
                ++at;
            }
            quoted = !quoted;
            continue;
        }
        copyBytes(walk, run, backslashes);
        if (*at == '\0' || (!quoted && (*at == ' ' || *at == '\t')))
            break;
        // A lead byte right before the terminator stays as the argument's last byte
        // rather than taking the terminator along as its second byte.
        const std::size_t length =
            sjisIsLead(static_cast<unsigned char>(*at)) && at[1] != '\0' ? 2 : 1;
        copyBytes(walk, at, length);
        at += length;
    }
    copyByte(walk, '\0');
    return at;
}

void walkCommandLine(Walk &walk, const char *commandLine) {
    walk.argc = 0;
    const char *at = walkProgramName(walk, commandLine);
    for (;;) {
        ++walk.argc;
        at += sjisSpan(" \t", at);
        if (*at == '\0')
            break;
        startArgument(walk);
        at = walkArgument(walk, at);
    }
    if (walk.slots)
        walk.slots[walk.argc] = nullptr;
}

std::size_t blockBytes(const Walk &walk) {
    return (static_cast<std::size_t>(walk.argc) + 1) * sizeof(char *) + walk.bytes;
}

} // namespace

char **SplitCommandLine(const char *commandLine, int *argc) {
    Walk measure = {nullptr, nullptr, 0, 0};
    walkCommandLine(measure, commandLine);
    const std::size_t size = blockBytes(measure);
    *argc = measure.argc;

    char **slots = static_cast<char **>(std::malloc(size));
    if (!slots)
        return nullptr;
    Walk fill = {slots, reinterpret_cast<char *>(slots + measure.argc + 1), 0, 0};
    walkCommandLine(fill, commandLine);

    *argc = fill.argc;
    return slots;
}

int traceFormat(char *buffer, const char *format, va_list args) {
    const int length = vformatBounded(kTraceBufferSize, buffer, format, args);
    buffer[kTraceBufferSize - 1] = '\0';
    return length;
}
