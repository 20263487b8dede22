#include "support/path.h"

#include <gtest/gtest.h>

#include <string>

// 表 is the bytes 0x95 0x5C in every build: its second byte is a backslash's byte.

TEST(Path, Backslashes) {
    const struct {
        const char *path;
        int first, last;
        bool trailing;
    } cases[] = {
        {"D:\\a\\b", 2, 4, false}, {"D:\\a\\", 2, 4, true}, {"表", -1, -1, false},
        {"D:\\表", 2, 2, false},   {"", -1, -1, false},     {"\\", 0, 0, true},
    };
    auto offset = [](const char *path, const char *hit) { return hit ? int(hit - path) : -1; };
    for (const auto &c : cases) {
        EXPECT_EQ(offset(c.path, pathFirstBackslash(c.path)), c.first) << c.path;
        EXPECT_EQ(offset(c.path, pathLastBackslash(c.path)), c.last) << c.path;
        EXPECT_EQ(pathEndsWithBackslash(c.path), c.trailing) << c.path;
        EXPECT_EQ(pathTrailingBackslash(c.path) != nullptr, c.trailing) << c.path;
    }
}

TEST(Path, CutExtensionAndLastComponent) {
    struct Case {
        char *(*cut)(char *);
        const char *path, *kept, *returned;
    } const cases[] = {
        {pathCutExtension, "D:\\dir.x\\file", "D:\\dir.x\\file", ""},
        {pathCutExtension, "D:\\dir\\archive.tar.gz", "D:\\dir\\archive.tar", "gz"},
        {pathCutExtension, "D:\\dir\\.profile", "D:\\dir\\", "profile"},
        {pathCutExtension, "D:\\表.txt", "D:\\表", "txt"},
        {pathCutExtension, "D:\\x.表", "D:\\x", "表"},
        {pathCutLastComponent, "D:\\dir\\prog.exe", "D:\\dir", "prog.exe"},
        {pathCutLastComponent, "D:\\prog.exe", "D:", "prog.exe"},
        {pathCutLastComponent, "prog.exe", "prog.exe", "prog.exe"},
        {pathCutLastComponent, "D:\\表", "D:", "表"},
        {pathCutLastComponent, "D:\\ソ\\x", "D:\\ソ", "x"},
        {pathCutLastComponent, "", "", ""},
    };
    for (const Case &c : cases) {
        std::string path = c.path;
        EXPECT_STREQ(c.cut(&path[0]), c.returned) << c.path;
        EXPECT_STREQ(path.c_str(), c.kept) << c.path;
    }
}

TEST(Path, Join) {
    const struct {
        std::string base, relative, joined;
        bool result;
    } cases[] = {
        {"D:\\Notes", "2024-05", "D:\\Notes\\2024-05", true},
        {"D:\\Notes\\", "2024-05", "D:\\Notes\\2024-05", true},
        {"D:\\表", "2024-05", "D:\\表\\2024-05", true},
        {"D:\\Notes\\sub", "..\\x", "D:\\Notes\\x", true},
        {"D:\\Notes\\sub", "../x", "D:\\Notes\\x", true},
        {"D:\\Notes\\", "..", "D:", true},
        {"D:\\", "..", "", true},
        {"D:\\Notes", "./a//b/", "D:\\Notes\\a\\b\\", true},
        {"D:\\Notes", "", "D:\\Notes\\", true},
        {"abc", "../d", "d", true},
        {"", "..", "", false},
        {"D:", "../../x", "", false},
        {"D:\\表", "..", "D:", true},
        {"D:", "表\\x", "D:\\表\\x", true},
        {"", "\\x", "x", true},
        {"D:", "/x", "D:\\x", true},
        {"D:", "...", "D:\\...", true},
        // Half a character ending the base would take the separator for its second byte:
        // it goes (the last base is cut to 521 bytes, ending in the lead byte 0x81).
        {"D:\\x\x81", "y", "D:\\x\\y", true},
        {"D:\\x\x81", "", "D:\\x\\", true},
        {std::string(520, 'b') + "\x81 ", "x", std::string(520, 'b') + "\\", true},
        // Joins stop at 521 bytes, and never inside a double-byte character.
        {"D:", std::string(600, 'a'), "D:\\" + std::string(518, 'a'), true},
        {std::string(521, 'b'), "x", std::string(521, 'b'), true},
        {std::string(519, 'c'), "表", std::string(519, 'c') + "\\", true},
    };
    for (const auto &c : cases) {
        std::string destination(kPathBufferSize + 1, '#');
        EXPECT_EQ(pathJoin(&destination[0], c.base.c_str(), c.relative.c_str()), c.result)
            << c.base << " + " << c.relative;
        EXPECT_EQ(std::string(destination.c_str()), c.joined) << c.base << " + " << c.relative;
        EXPECT_EQ(destination[kPathBufferSize], '#') << c.base << " + " << c.relative;
    }
    char inPlace[kPathBufferSize] = "D:\\Notes";
    EXPECT_TRUE(pathJoin(inPlace, inPlace, "x"));
    EXPECT_STREQ(inPlace, "D:\\Notes\\x");
}
