#include "app/cmdline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Splits a copy of the text held in an exactly sized heap block, so that reading past
// its terminator is caught by AddressSanitizer, and checks the block's layout: slots,
// then every argument's string back to back, ending exactly at the reported size.
std::vector<std::string> split(const std::string &name, const char *commandLine) {
    const std::size_t length = std::strlen(commandLine) + 1;
    char *exact = static_cast<char *>(std::malloc(length));
    std::memcpy(exact, commandLine, length);
    int argc = -1;
    std::size_t size = 0;
    char **argv = SplitCommandLine(exact, &argc, &size);
    std::free(exact);
    std::vector<std::string> args;
    EXPECT_NE(argv, nullptr) << name;
    if (!argv)
        return args;
    const char *expected = reinterpret_cast<const char *>(argv + argc + 1);
    for (int i = 0; i < argc; ++i) {
        EXPECT_EQ(argv[i], expected) << name << ": argument " << i << " misplaced";
        args.push_back(argv[i]);
        expected = argv[i] + args.back().size() + 1;
    }
    EXPECT_EQ(argv[argc], nullptr) << name;
    EXPECT_EQ(expected, reinterpret_cast<const char *>(argv) + size)
        << name << ": measured size differs from what was filled";
    std::free(argv);
    return args;
}

using Args = std::vector<std::string>;

} // namespace

TEST(SplitCommandLine, QuotingRules) {
    struct Case {
        const char *name, *commandLine;
        Args args;
    } const cases[] = {
        {"empty", "", {""}},
        {"leading space empties the name", " C:\\x.exe a", {"", "C:\\x.exe", "a"}},
        {"quoted name keeps spaces",
         "\"C:\\Program Files\\Memo\\memo.exe\" -x",
         {"C:\\Program Files\\Memo\\memo.exe", "-x"}},
        {"unclosed quoted name", "\"C:\\a b\\c d", {"C:\\a b\\c d"}},
        {"text right after the quoted name", "\"C:\\x.exe\"abc def", {"C:\\x.exe", "abc", "def"}},
        {"quote inside unquoted name", "C:\\x.exe\"a b\"", {"C:\\x.exe\"a", "b"}},
        {"blanks of any mix", "p \t a\t\t b \t ", {"p", "a", "b"}},
        {"backslashes without quote", "p a\\b a\\\\b", {"p", "a\\b", "a\\\\b"}},
        {"three backslashes and quote", "p a\\\\\\\"b", {"p", "a\\\"b"}},
        {"two backslashes and quote", "p a\\\\\"b c\"", {"p", "a\\b c"}},
        {"two backslashes and quote at end", "p \\\\\"", {"p", "\\"}},
        {"four backslashes then quoted", "p \\\\\\\\\"a b\"", {"p", "\\\\a b"}},
        {"two quotes alone", "p \"\"", {"p", ""}},
        {"two quotes then x", "p \"\" x", {"p", "", "x"}},
        {"three quotes alone", "p \"\"\"", {"p", "\""}},
        {"doubled quote inside", "p \"a\"\"b\"", {"p", "a\"b"}},
        {"doubled quote ends the part", "p \"a\"\" b\"", {"p", "a\"", "b"}},
        {"escaped quote inside quotes", "p \"a\\\"b c\"", {"p", "a\"b c"}},
        {"表 does not escape a quote", "p 表\"a b\"", {"p", "表a b"}},
        {"表 in a quoted name", "\"C:\\表\" x", {"C:\\表", "x"}},
        // 0x95 is a lead byte; standing last it must not take the terminator along.
        {"lone lead byte last", "p a\x95", {"p", "a\x95"}},
        {"lone lead byte in quotes", "p \"\x95", {"p", "\x95"}},
        {"lone lead byte as name", "\x95", {"\x95"}},
        {"lone lead byte in quoted name", "\"\x95", {"\x95"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(split(c.name, c.commandLine), c.args) << c.name;
}

TEST(SplitCommandLine, BlockIsSlotsThenStrings) {
    int argc = 0;
    std::size_t size = 0;
    char **argv = SplitCommandLine("memo.exe \"a b\" c", &argc, &size);
    ASSERT_NE(argv, nullptr);
    EXPECT_EQ(argc, 3);
    EXPECT_EQ(size, 4 * sizeof(char *) + 15);
    std::free(argv);
}

static int traceInto(char *buffer, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int length = traceFormat(buffer, format, args);
    va_end(args);
    return length;
}

TEST(TraceFormat, CutsAt1023Bytes) {
    const struct {
        int index;
        std::size_t argumentLength;
        int result;
        std::string text;
    } cases[] = {
        {0, 3, 14, "argv[ 0]=aaa\r\n"},
        {12, 1012, 1023, "argv[12]=" + std::string(1012, 'a') + "\r\n"},
        {12, 1013, -1, "argv[12]=" + std::string(1013, 'a') + "\r"},
        {12, 2000, -1, "argv[12]=" + std::string(1014, 'a')},
    };
    for (const auto &c : cases) {
        // Exactly the documented size, so a write past it is caught.
        char *buffer = static_cast<char *>(std::malloc(kTraceBufferSize));
        const std::string argument(c.argumentLength, 'a');
        EXPECT_EQ(traceInto(buffer, "argv[%2d]=%s\r\n", c.index, argument.c_str()), c.result)
            << "argument of " << c.argumentLength;
        EXPECT_EQ(std::string(buffer), c.text) << "argument of " << c.argumentLength;
        std::free(buffer);
    }
}
