// The command-line splitter and the Shift-JIS and path functions on any bytes, every text
// in an exactly sized block, so that the sanitizers see any read or write past one. The
// splitter's strings lie back to back after its slots and fill its block; copies and joins
// stay within their buffers and terminated, a copy is cut between characters, and a path
// is cut at a real backslash.
//
// Input: one byte (a buffer size and a character), then text A up to a NUL byte, then text
// B. A is the command line, the text operated on and the join's base; B is the relative
// path and the byte set.
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/cmdline.h"
#include "support/path.h"

#define CHECK(condition)                                                                           \
    if (!(condition))                                                                              \
    __builtin_trap()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const unsigned number = data[0];
    const std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::string a = rest.c_str(),
                      b = a.size() < rest.size() ? rest.c_str() + a.size() + 1 : "";
    char *textA = strdup(a.c_str()), *textB = strdup(b.c_str()); // exactly sized

    int argc = -1;
    char **argv = SplitCommandLine(textA, &argc);
    CHECK(argv && argc >= 1 && argv[argc] == nullptr);
    const char *next = reinterpret_cast<const char *>(argv + argc + 1);
    for (int i = 0; i < argc; next = argv[i] + std::strlen(argv[i]) + 1, ++i)
        CHECK(argv[i] == next);
    CHECK(next == reinterpret_cast<const char *>(argv) + malloc_usable_size(argv));
    std::free(argv);

    sjisFindChar(textA, number * 0x101u);
    sjisEqualN(textA, textB, number);
    CHECK(sjisSpan(textB, textA) <= a.size() && sjisCSpan(textB, textA) <= a.size());

    char *copy = static_cast<char *>(std::malloc(number + 1));
    sjisCopyBounded(number + 1, copy, textA);
    const std::size_t copied = std::strlen(copy), fit = std::min<std::size_t>(a.size(), number);
    CHECK(std::strncmp(copy, textA, copied) == 0);
    CHECK(copied == fit || (copied + 1 == fit && sjisByteKind(textA, fit) == kSjisTrail));
    CHECK(formatBounded(number + 1, copy, "%s/%s", textA, textB) <= int(number));
    std::free(copy);

    char *joined = static_cast<char *>(std::malloc(kPathBufferSize));
    if (pathJoin(joined, textA, textB))
        CHECK(std::strlen(joined) < kPathBufferSize);
    std::free(joined);

    char *cut = strdup(textA);
    sjisToLowerAscii(cut);
    const char *component = pathCutLastComponent(cut); // only at a real backslash
    CHECK(component == cut || sjisByteKind(textA, component - cut - 1) != kSjisTrail);
    pathCutExtension(cut);
    std::free(cut);
    std::free(textA);
    std::free(textB);
    return 0;
}
