// Checks the hard-wired Shift-JIS rules and the path and trace functions against what
// Windows itself does with code page 932.
#include "app/trace.h"
#include "support/path.h"
#include "support/sjis.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(SjisOracle, LeadBytesMatchCodePage932) {
    for (int byte = 0; byte < 256; ++byte) {
        const bool windows = IsDBCSLeadByteEx(932, static_cast<BYTE>(byte)) != FALSE;
        EXPECT_EQ(sjisIsLead(static_cast<unsigned char>(byte)), windows)
            << "byte 0x" << std::hex << byte;
    }
}

TEST(SjisOracle, StepsMatchCharNextExA) {
    const char *const texts[] = {
        "表示の切り替え",           "ソフトウェア", "aｱ表b", "C:\\表\\ソ.txt", "文書保存フォルダ",
        "\x81\x40\x81\x7E\x81\x80", // ideographic space, ×, ÷: trails 0x40, 0x7E, 0x80
        "\x88\x9F\xEA\xA4\xFC\x4B", // 亜, the last JIS level 2 kanji, the last IBM kanji
        "ＭＳ Ｐゴシック",
    };
    for (const char *text : texts) {
        for (const char *at = text; *at != '\0';) {
            const char *expected = CharNextExA(932, at, 0);
            ASSERT_EQ(sjisNext(at), expected) << text << " at byte " << (at - text);
            at = expected;
        }
    }
}

namespace {

std::string moduleFileName() {
    char name[MAX_PATH * 2] = "";
    GetModuleFileNameA(nullptr, name, sizeof name);
    return name;
}

} // namespace

TEST(PathOracle, ModuleDirectoryIsTheExecutablesFolder) {
    const std::string file = moduleFileName();
    char full[MAX_PATH * 2];
    char *filePart = nullptr;
    ASSERT_NE(GetFullPathNameA(file.c_str(), sizeof full, full, &filePart), 0u);
    ASSERT_NE(filePart, nullptr);
    const std::string expected(full, filePart - 1); // drop the backslash before the name

    char directory[kPathBufferSize];
    EXPECT_TRUE(moduleDirectory(directory));
    EXPECT_EQ(directory, expected);
}

TEST(PathOracle, FileExists) {
    char directory[kPathBufferSize];
    moduleDirectory(directory);
    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {directory, true},
        {moduleFileName(), true},
        {std::string(directory) + "\\no-such-file.txt", false},
        {std::string(directory) + "\\no-such-dir\\x", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(fileExists(c.path.c_str()), c.exists) << c.path;
}

TEST(TraceOracle, DebugTraceReportsTheCut) {
    const std::string argument(2000, 'a');
    EXPECT_EQ(GetTraceProc()("argv[%2d]=%s\r\n", 12, argument.c_str()), -1);
    EXPECT_EQ(DebugTrace("argv[%2d]=%s\r\n", 12, "abc"), 14);
    EXPECT_EQ(DebugTrace("%s", ""), 0);
}
