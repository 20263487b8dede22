// The platform-free logic as tables: Shift-JIS text and paths, placement, the command line,
// trace lines, hotkeys, note names and the About box's template and resources line. Built
// natively with the sanitizers and for Windows. 表 is 0x95 0x5C and ソ 0x83 0x5C: their second byte
// is a backslash's byte.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "about/about_layout.h"
#include "about/about_text.h"
#include "about/dialog_template.h"
#include "app/cmdline.h"
#include "app/hotkey.h"
#include "capture/draft_record.h"
#include "capture/note_name.h"
#include "settings/hotkey_name.h"
#include "support/path.h"
#include "support/placement.h"

static_assert(sizeof("表") == 3 && "表"[0] == '\x95' && "表"[1] == '\x5C', "CP932 literals");

TEST(Sjis, BytesAndCharacters) {
    // byte, a lead byte, a trail byte: each edge of the ranges from both sides
    const std::tuple<int, bool, bool> bytes[] = {
        {0x3F, 0, 0}, {0x40, 0, 1}, {0x7E, 0, 1}, {0x7F, 0, 0}, {0x80, 0, 1}, {0x81, 1, 1},
        {0x9F, 1, 1}, {0xA0, 0, 1}, {0xDF, 0, 1}, {0xE0, 1, 1}, {0xFC, 1, 1}, {0xFD, 0, 0}};
    for (const auto &[byte, lead, trail] : bytes)
        EXPECT_EQ(std::make_pair(sjisIsLead(byte), sjisIsTrail(byte)), std::make_pair(lead, trail))
            << "lead, trail? 0x" << std::hex << byte;
    const std::tuple<const char *, std::size_t, int> kinds[] = {
        {"a表", 2, kSjisTrail}, {"a表", 1, kSjisLead}, {"表表", 2, kSjisLead},
        {"\x81 ", 1, 0},        {"\x81\x7F", 1, 0},    {"\x95", 5, 0}};
    for (const auto &[text, index, kind] : kinds)
        EXPECT_EQ(sjisByteKind(text, index), kind) << text << " @" << index;
    // A lead byte takes the next byte along, whatever it is, but never the terminator.
    const std::tuple<const char *, int> steps[] = {
        {"ab", 1}, {"表x", 2}, {"", 0}, {"\x81", 1}, {"\x81 ", 2}, {"\xB1\x81", 1}, {"ソ\\", 2}};
    for (const auto &[text, step] : steps)
        EXPECT_EQ(sjisNext(text) - text, step) << text;
}

TEST(Path, CutsAndJoins) {
    const std::tuple<char *(*)(char *), const char *, const char *, const char *> cuts[] = {
        {pathCutExtension, "D:\\dir.x\\file", "D:\\dir.x\\file", ""},
        {pathCutExtension, "D:\\dir\\a.tar.gz", "D:\\dir\\a.tar", "gz"},
        {pathCutLastComponent, "prog.exe", "prog.exe", "prog.exe"},
        {pathCutLastComponent, "E:\\jotwell.exe", "E:", "jotwell.exe"}, // a drive's root: "E:"
        {pathCutLastComponent, "D:\\ソ\\表", "D:\\ソ", "表"}};
    for (const auto &[cut, path, kept, returned] : cuts) {
        std::string buffer = path;
        EXPECT_STREQ(cut(&buffer[0]), returned) << path;
        EXPECT_STREQ(buffer.c_str(), kept) << path;
    }
    const std::string b520(520, 'b'), c519(519, 'c');
    const std::tuple<std::string, std::string, std::string, bool> joins[] = {
        {"D:\\Notes\\", "2024-05", "D:\\Notes\\2024-05", true},
        {"D:\\表", "2024-05", "D:\\表\\2024-05", true},
        {"D:\\Notes", "./a//b/", "D:\\Notes\\a\\b\\", true},
        {"D:", "../../x", "", false},
        // Half a character ending the base would take the separator for its second byte.
        {"D:\\x\x81", "y", "D:\\x\\y", true},
        {b520 + "\x81 ", "x", b520 + "\\", true},
        // Joins stop at 521 bytes, never inside a double-byte character.
        {"D:", std::string(600, 'a'), "D:\\" + std::string(518, 'a'), true},
        {c519, "表", c519 + "\\", true}};
    for (const auto &[base, relative, joined, result] : joins) {
        std::string destination(kPathBufferSize + 1, '#');
        EXPECT_EQ(pathJoin(&destination[0], base.c_str(), relative.c_str()), result) << relative;
        EXPECT_EQ(std::string(destination.c_str()), joined) << base << " + " << relative;
        EXPECT_EQ(destination[kPathBufferSize], '#') << base << " + " << relative;
    }
    // A folder as a setting or the platform writes it, from the program's folder: never from
    // the current directory. Rows: program's folder, setting, folder ("!" invalid, "+" too long).
    const std::string n519(519, 'n');
    const std::tuple<const char *, std::string, std::string> resolves[] = {
        {"c:", "", "C:\\"}, // the program at a drive's root, the default
        {"D:\\Tools", "e:\\", "E:\\"},
        {"D:\\Tools", "D:/Notes", "D:\\Notes"},
        {"D:\\Tools", "D:\\Notes/2026\\", "D:\\Notes\\2026"},
        {"D:\\Tools", "D:\\\\Notes\\\\.\\x", "D:\\Notes\\x"},
        {"D:\\Tools", "\\\\server\\share\\メモ\\", "\\\\server\\share\\メモ"},
        {"D:\\Tools", "//server/share", "\\\\server\\share\\"},
        {"D:\\Tools", "\\\\srv\\表", "\\\\srv\\表\\"},
        // Half a character last: no separator after it, which would be its second byte.
        {"D:\\Tools", "\\\\srv\\s\x82", "\\\\srv\\s\x82"},
        {"E:", "notes\x82", "E:\\notes\x82"},
        {"D:\\表", "..\\notes", "D:\\notes"}, // 表's 0x5C is no separator
        {"D:\\Tools", "\\notes", "D:\\notes"},
        {"\\\\server\\share\\Tools", "\\notes", "\\\\server\\share\\notes"},
        {"\\\\server\\share\\Tools", "..", "\\\\server\\share\\"},
        {"\\\\?\\D:\\Tools", "\\\\?\\D:\\Notes", "\\\\?\\D:\\Notes"},
        {"D:\\Tools", "E:notes", "!"}, // on drive E:'s current folder, whatever that is
        {"D:\\Tools", "..\\..\\x", "!"},
        {"D:\\Tools", "\\\\server", "!"},
        {"Tools", "notes", "!"},
        {"D:\\Tools", "\\" + n519, "+"},
        {"D:\\Tools", "\\" + n519.substr(2), "D:\\" + n519.substr(2)}};
    for (const auto &[base, path, expected] : resolves) {
        char destination[kPathBufferSize] = "x";
        const PathResolution result = pathResolve(destination, base, path.c_str());
        const char *const shown[] = {destination, "!", "+"}; // resolved, invalid, too long
        EXPECT_EQ(shown[result], expected) << base << " + " << path;
        EXPECT_TRUE(result == kPathResolved || !*destination) << "left in the destination";
        char again[kPathBufferSize] = "";
        EXPECT_TRUE(result ||
                    (!pathResolve(again, base, destination) && !strcmp(again, destination)))
            << destination << " resolves to " << again;
    }
}

TEST(Placement, CentredOnTheCursorInsideTheWorkArea) {
    const PlaceRect screen{0, 0, 1024, 768}, left{-1280, 0, 0, 1024}, lowered{0, 40, 1024, 768};
    // cursor, width, height, work area, top-left corner
    const std::tuple<PlacePoint, int, int, PlaceRect, PlacePoint> cases[] = {
        {{500, 400}, 641, 101, screen, {180, 350}}, // centred, halves cut
        {{1000, 400}, 640, 100, screen, {384, 350}}, {{500, 50}, 640, 100, lowered, {180, 40}},
        {{500, 400}, 1200, 900, screen, {0, 0}},       // too big: left and top win
        {{-700, 500}, 641, 100, left, {-1020, 450}},   // a monitor left of the primary
        {{-1270, 500}, 640, 100, left, {-1280, 450}}}; // pushed past its left edge
    for (const auto &[cursor, width, height, area, expected] : cases) {
        const PlacePoint p = placeCentredInArea(cursor, width, height, area);
        EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(expected.x, expected.y))
            << cursor.x << "," << cursor.y << " " << width << "x" << height;
    }
}

using Args = std::vector<std::string>;

// Splits a copy in an exactly sized block: a read past it is an overflow the sanitizers see.
static Args split(const char *commandLine) {
    char *exact = strdup(commandLine);
    int argc = -1;
    char **argv = SplitCommandLine(exact, &argc);
    std::free(exact); // the arguments are the split's own copies
    const Args args(argv, argv + argc);
    EXPECT_EQ(argv[argc], nullptr) << commandLine;
    std::free(argv);
    return args;
}

TEST(SplitCommandLine, QuotingRules) {
    const std::tuple<const char *, Args> cases[] = {
        {"", {""}},
        {" C:\\x.exe a", {"", "C:\\x.exe", "a"}},
        {"\"C:\\Program Files\\memo.exe\" -x", {"C:\\Program Files\\memo.exe", "-x"}},
        {"\"C:\\a b\\c d", {"C:\\a b\\c d"}},
        {"C:\\x.exe\"a b\"", {"C:\\x.exe\"a", "b"}},
        {"p a\\b a\\\\b", {"p", "a\\b", "a\\\\b"}},
        {"p a\\\\\\\"b a\\\\\"b c\"", {"p", "a\\\"b", "a\\b c"}},
        {"p \"\" \"\"\"", {"p", "", "\""}},
        {"p \"a\"\" b\"", {"p", "a\"", "b"}},
        {"\"C:\\表\" 表\"a b\"", {"C:\\表", "表a b"}}, // 表's 0x5C escapes nothing
        // A lead byte standing last must not take the terminator along.
        {"p a\x95", {"p", "a\x95"}},
        {"\"\x95", {"\x95"}}};
    for (const auto &[commandLine, args] : cases)
        EXPECT_EQ(split(commandLine), args) << commandLine;
}

// Traces into a block of exactly the buffer's size: the length and the line.
static std::pair<int, std::string> trace(const char *format, ...) {
    char *buffer = static_cast<char *>(std::malloc(kTraceBufferSize));
    va_list args;
    va_start(args, format);
    const std::pair<int, std::string> traced{traceFormat(buffer, format, args), buffer};
    va_end(args);
    std::free(buffer);
    return traced;
}

TEST(TraceFormat, CutsAt1023Bytes) {
    const std::string fits(1012, 'a'), longer(2000, 'a');
    EXPECT_EQ(trace("argv[%2d]=%s\r\n", 12, fits.c_str()),
              std::make_pair(1023, "argv[12]=" + fits + "\r\n"));
    EXPECT_EQ(trace("argv[%2d]=%s\r\n", 12, longer.c_str()),
              std::make_pair(-1, "argv[12]=" + std::string(1014, 'a')));
}

TEST(Hotkey, RegistrationAndName) {
    constexpr std::uint32_t kShift = 0x100, kCtrl = 0x200, kAlt = 0x400, kExt = 0x800;
    // The control's word to RegisterHotKey's modifiers (Alt 1, Ctrl 2, Shift 4) and key; the
    // last, -5, from a hand-edited file.
    // clang-format off
    const std::tuple<std::uint32_t, unsigned, unsigned> keys[] = {{kCtrl | kShift | 0x70, 6, 0x70},
        {kAlt | 'A', 1, 'A'}, {kExt | 0x2E, 0, 0x2E}, {0xFFFFFFFB, 7, 0xFB}};
    // clang-format on
    for (const auto &[value, modifiers, key] : keys) {
        EXPECT_EQ(hotkeyRegistration(value).modifiers, modifiers) << std::hex << value;
        EXPECT_EQ(hotkeyRegistration(value).virtualKey, key) << std::hex << value;
    }
    // Without Ctrl or Alt, a key used for typing is refused: each edge of the typing keys
    // from both sides (Backspace, Tab, Enter, Space, digits, letters, the number pad, the
    // punctuation up to the Japanese @ key 0xC0, from [ to the eighth, the 102nd key).
    // clang-format off
    const std::uint32_t refused[] = {0x08, 0x09, 0x0D, 0x20, 0x30, 0x39, 0x41, 0x5A, 0x60, 0x6F,
                                     0xBA, 0xC0, 0xDB, 0xDF, 0xE2, kShift | 'Z'},
                        taken[] = {0x07, 0x0A, 0x0C, 0x0E, 0x1F, 0x21, 0x2F, 0x3A, 0x40, 0x5B,
                                   0x5F, 0x70, 0xB9, 0xC1, 0xDA, 0xE0, 0xE1, 0xE3, 0x1B, 0,
                                   kCtrl | 'A', kAlt | 0x20, kShift | 0x70};
    // clang-format on
    for (const std::uint32_t key : refused)
        EXPECT_TRUE(hotkeyTakesTypingKey(key)) << "refused: 0x" << std::hex << key;
    for (const std::uint32_t key : taken)
        EXPECT_FALSE(hotkeyTakesTypingKey(key)) << "taken: 0x" << std::hex << key;
    std::string longName; // 90 bytes of double-byte characters
    for (int i = 0; i < 45; ++i)
        longName += "変";
    // hotkey, the platform's key name, the name, whether the platform's name is needed
    const std::tuple<std::uint32_t, const char *, std::string, bool> names[] = {
        {kAlt | kShift | kCtrl | 'A', nullptr, "Ctrl + Shift + Alt + A", false},
        {kAlt | 0x88, "F25?", "Alt + F25?", true},
        {kCtrl | 0xBA, "", "Ctrl + 0xBA", true},
        {0, nullptr, "なし", false},
        // 89 bytes would fit, but the 89th is the first half of a character.
        {kAlt | 0xBA, longName.c_str(), "Alt + " + longName.substr(0, 88), true}};
    for (const auto &[hotkey, keyName, expected, needsKeyName] : names) {
        char name[kHotkeyNameSize];
        hotkeyName(hotkey, keyName, name);
        EXPECT_EQ(name, expected);
        EXPECT_EQ(hotkeyNeedsKeyName(hotkey), needsKeyName) << expected;
    }
}

TEST(NoteName, ZeroPaddedFromTheClock) {
    // time, sequence (the token of the temporary name too), "month\day\file temporary"; out
    // of range, no names
    const std::tuple<NoteTime, int, std::string> cases[] = {
        {{2024, 5, 7, 9, 5, 2}, 1, "2024-05\\07\\090502.txt ~090502-00000001.tmp"},
        {{2024, 1, 1, 0, 1, 0}, 2, "2024-01\\01\\000100_2.txt ~000100-00000002.tmp"},
        {{2000, 2, 29, 23, 59, 59}, 999, "2000-02\\29\\235959_999.txt ~235959-000003E7.tmp"},
        {{999, 10, 10, 10, 10, 10}, 10, "0999-10\\10\\101010_10.txt ~101010-0000000A.tmp"},
        {{99999, 12, 31, 0, 0, 0}, -1, "99999-12\\31\\ ~000000-FFFFFFFF.tmp"},
        {{2024, 5, 7, 9, 5, 2}, 1000, "2024-05\\07\\ ~090502-000003E8.tmp"},
        {{1900, 2, 29, 9, 5, 2}, 1, "\\\\ "},
        {{2024, 5, 7, 9, 60, -1}, 1, "\\\\ "}};
    for (const auto &[time, sequence, expected] : cases) {
        char month[kNoteNameSize], day[kNoteNameSize], file[kNoteNameSize], temp[kNoteNameSize];
        const bool named = noteMonthFolderName(time, month) & noteDayFolderName(time, day) &
                           noteFileName(time, sequence, file);
        noteTemporaryFileName(time, static_cast<unsigned>(sequence), temp);
        EXPECT_EQ(std::string(month) + "\\" + day + "\\" + file + " " + temp, expected);
        EXPECT_EQ(named, expected.find(".txt") != std::string::npos) << expected;
        EXPECT_TRUE(!temp[0] || isNoteTemporaryName(temp)) << temp;
    }
    // The drafts' names; only these are ever taken back as a note.
    const std::tuple<int, std::string> drafts[] = {
        {1, "~jotwell-draft.txt ~jotwell-draft.tmp"},
        {99, "~jotwell-draft_99.txt ~jotwell-draft_99.tmp"},
        {100, " "}};
    for (const auto &[sequence, names] : drafts) {
        char file[kNoteNameSize], temp[kNoteNameSize];
        EXPECT_EQ(draftFileName(sequence, file) & draftTemporaryName(sequence, temp),
                  sequence < 100);
        EXPECT_EQ(std::string(file) + " " + temp, names);
        EXPECT_EQ(draftSequenceOf(file), sequence < 100 ? sequence : 0) << names;
    }
    for (const char *other : {"~jotwell-draft.tmp", "~jotwell-draft_1.txt",
                              "~jotwell-draft-old.txt", "~jotwell-draft_2.txt.txt"})
        EXPECT_EQ(draftSequenceOf(other), 0) << other;
    char record[kNoteNameSize];
    EXPECT_TRUE(draftRecordName(7, record) && draftRecordSequenceOf(record) == 7 &&
                draftTemporarySequenceOf("~jotwell-draft_7.tmp") == 7 &&
                std::string(record) == "~jotwell-draft_7.rec");
    // Only the names of a save's temporary file are ever removed as what a save left.
    for (const char *name : {"~090502.tmp", "~235959_999.tmp"}) // as earlier versions named them
        EXPECT_TRUE(isNoteTemporaryName(name)) << name;
    for (const char *name : {"~090502_1.tmp", "~090502_02.tmp", "~090502_1000.tmp", "~246000.tmp",
                             "~090502.tmp.txt", "090502.tmp", "~notes.tmp", "~090502-1a2b3c4d.tmp",
                             "~090502-1A2B3C4.tmp", "~090502- 1A2B3C4.tmp", "~jw1A.tmp"})
        EXPECT_FALSE(isNoteTemporaryName(name)) << name;
    for (const char *name : {"~jw1A.tmp", "~jwFFFF.TMP", "~jwa.tmp"})
        EXPECT_TRUE(isScratchName(name)) << name;
    for (const char *name : {"~jw.tmp", "~jw12345.tmp", "~jwx.tmp", "~jw1.tmp.txt"})
        EXPECT_FALSE(isScratchName(name)) << name;
    int days = 0; // of 32 a month in 2023 and 2024, those that are
    for (int i = 0; i < 2 * 12 * 32; ++i)
        days += noteTimeIsValid({2023 + i / 384, i / 32 % 12 + 1, i % 32 + 1, 12, 0, 0});
    EXPECT_EQ(days, 365 + 366);
}

// A draft's record reads as it was written, known answers for the text's hash and the text
// (what this version writes, the next reads), and a record cut short anywhere says nothing.
TEST(DraftRecord, WholeOrNothing) {
    EXPECT_EQ(textHash("メモ", 4), 0x462d05b58659def4u);
    const NoteTime at{2024, 5, 7, 9, 5, 10};
    const std::pair<DraftRecord, std::string> records[] = {
        {{DraftRecord::kDraftFirst, 7, textHash("unnamed", 7), at, "D:\\表\\~x.tmp"},
         "saving 7 8cdb6af9c367e25f 2024 5 7 9 5 10\r\nD:\\表\\~x.tmp"},
        {{DraftRecord::kNoteFirst, 7, 1, at, "D:\\~x.tmp"},
         "saved 7 0000000000000001 2024 5 7 9 5 10\r\nD:\\~x.tmp"},
        {{DraftRecord::kErased, 0, textHash("", 0), {}, ""}, "erased 0 cbf29ce484222325"}};
    for (const auto &[record, says] : records) {
        char text[kDraftRecordSize];
        DraftRecord read{};
        ASSERT_TRUE(formatDraftRecord(record, text) && parseDraftRecord(text, &read));
        EXPECT_EQ(text, "Jotwell draft record\r\n" + says + "\r\nend\r\n");
        char again[kDraftRecordSize]; // what was read, written again
        EXPECT_TRUE(formatDraftRecord(read, again) && std::string(again) == text) << again;
        for (std::size_t cut = 0; cut < std::strlen(text); ++cut)
            EXPECT_FALSE(parseDraftRecord(std::string(text, cut).c_str(), &read)) << cut;
    }
}

// The template as the dialog manager reads it: DLGTEMPLATE's style, extended style, 5 items;
// no menu, the default class, empty title; 9 point "ＭＳ Ｐゴシック". Then DLGITEMTEMPLATEs,
// each on a DWORD: style, extended style, id; class ordinal, text, no creation data. Where
// each lies (xy: x, y, cx and cy) is the layout's own. Natively under AddressSanitizer,
// which sees a word written or read past the block.
TEST(About, TheTemplateIsWhatTheDialogManagerReads) {
    constexpr std::uint16_t xy = 0xEEEE;
    // clang-format off
    const std::vector<std::uint16_t> expected = {
        0x20C2, 0x90C8, 0, 0, 5, xy, xy, xy, xy, 0, 0, 0,
        9, 0xFF2D, 0xFF33, 0x0020, 0xFF30, 0x30B4, 0x30B7, 0x30C3, 0x30AF, 0,
        0x0003, 0x5000, 0, 0, xy, xy, xy, xy, 100, 0xFFFF, 0x82, 0, 0, 0,
        0x0000, 0x5000, 0, 0, xy, xy, xy, xy, 101, 0xFFFF, 0x82, 0, 0, 0,
        0x0000, 0x5000, 0, 0, xy, xy, xy, xy, 102, 0xFFFF, 0x82, 0, 0, 0,
        0x0000, 0x5000, 0, 0, xy, xy, xy, xy, 103, 0xFFFF, 0x82, 0, 0, 0,
        1, 0x5002, 0, 0, xy, xy, xy, xy, 1, 0xFFFF, 0x80, 'O', 'K', 0, 0};
    // clang-format on
    auto *words = static_cast<std::uint16_t *>(buildAboutTemplate());
    ASSERT_NE(words, nullptr);
    for (std::size_t i = 0; i < expected.size(); ++i)
        words[i] = expected[i] == xy ? xy : words[i];
    EXPECT_EQ(std::vector<std::uint16_t>(words, words + expected.size()), expected);
    FreeDialogTemplate(words);
}

TEST(About, TheResourcesLineFits) {
    const std::string prefix = "システムリソース： ";
    const std::tuple<int, std::string> lines[] = {
        {100, prefix + "100 ％使用可能"}, // exactly fills the buffer
        {1000, prefix + "1000 ％使用可"}, // cut between characters, never inside 能
        {-2147483647 - 1, prefix + "-2147483648 ％"}};
    for (const auto &[percent, expected] : lines) {
        char line[kFreeResourcesLineSize + 1];
        line[kFreeResourcesLineSize] = 'X';
        formatFreeResourcesLine(line, percent);
        EXPECT_EQ(line, expected);
        EXPECT_EQ(line[kFreeResourcesLineSize], 'X') << percent;
    }
}
