// SplitCommandLine: the block is exactly (argc + 1) slots plus every argument and its
// terminator, the filling pass writes exactly what the measuring pass counted, nothing
// is read past the command line's terminator, and the arguments are those of the
// quoting rules, walked here a second, independent way.
//
// Input: the command line, up to its first NUL byte.
#include "app/cmdline.h"

#include "fuzz/check.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool isLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The quoting rules over a std::string, by index. A lead byte takes the next byte along
// unless the text ends there.
std::vector<std::string> referenceSplit(const std::string &s) {
    const std::size_t n = s.size();
    auto step = [&](std::size_t i) { return isLeadByte(s[i]) && i + 1 < n ? 2 : 1; };
    std::vector<std::string> args;
    std::size_t i = 0;
    if (n > 0 && s[0] == '"') {
        std::size_t end = 1;
        while (end < n && s[end] != '"')
            end += step(end);
        args.push_back(s.substr(1, end - 1));
        i = end < n ? end + 1 : end;
    } else {
        while (i < n && !isBlank(s[i]))
            i += step(i);
        args.push_back(s.substr(0, i));
    }
    for (;;) {
        while (i < n && isBlank(s[i]))
            ++i;
        if (i == n)
            break;
        std::string arg;
        bool quoted = false;
        for (;;) {
            std::size_t backslashes = 0;
            while (i < n && s[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && s[i] == '"') {
                arg.append(backslashes / 2, '\\');
                ++i;
                if (backslashes % 2 == 1) {
                    arg += '"';
                    continue;
                }
                if (quoted && i < n && s[i] == '"') {
                    arg += '"';
                    ++i;
                }
                quoted = !quoted;
                continue;
            }
            arg.append(backslashes, '\\');
            if (i == n || (!quoted && isBlank(s[i])))
                break;
            const std::size_t length = step(i);
            arg.append(s, i, length);
            i += length;
        }
        args.push_back(arg);
    }
    return args;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    // Exactly sized, so any read past the terminator is an overflow AddressSanitizer sees.
    char *commandLine = static_cast<char *>(std::malloc(length + 1));
    std::memcpy(commandLine, data, length);
    commandLine[length] = '\0';

    int argc = -1;
    std::size_t blockSize = 0;
    char **argv = SplitCommandLine(commandLine, &argc, &blockSize);
    FUZZ_CHECK(argv != nullptr, "no block for a command line of %zu bytes", length);
    FUZZ_CHECK(argc >= 1, "argc %d", argc);
    FUZZ_CHECK(argv[argc] == nullptr, "slot %d (argc) is not null", argc);

    // The strings lie back to back right after the slots and end at the block's end.
    const char *expected = reinterpret_cast<const char *>(argv + argc + 1);
    std::size_t stringBytes = 0;
    for (int i = 0; i < argc; ++i) {
        FUZZ_CHECK(argv[i] == expected, "argument %d at offset %td, expected %td", i,
                   argv[i] - reinterpret_cast<const char *>(argv),
                   expected - reinterpret_cast<const char *>(argv));
        const std::size_t argLength = std::strlen(argv[i]);
        stringBytes += argLength + 1;
        expected += argLength + 1;
    }
    const std::size_t formula = (static_cast<std::size_t>(argc) + 1) * sizeof(char *) + stringBytes;
    FUZZ_CHECK(blockSize == formula, "block of %zu bytes, the formula gives %zu", blockSize,
               formula);
    FUZZ_CHECK(expected == reinterpret_cast<const char *>(argv) + blockSize,
               "filled %td bytes of a measured %zu",
               expected - reinterpret_cast<const char *>(argv), blockSize);

    const std::vector<std::string> reference = referenceSplit(std::string(commandLine, length));
    FUZZ_CHECK(reference.size() == static_cast<std::size_t>(argc),
               "%d arguments, the rules give %zu", argc, reference.size());
    for (int i = 0; i < argc; ++i)
        FUZZ_CHECK(reference[i] == argv[i], "argument %d is \"%s\", the rules give \"%s\"", i,
                   printable(argv[i]).c_str(), printable(reference[i]).c_str());

    std::free(argv);
    std::free(commandLine);
    return 0;
}
