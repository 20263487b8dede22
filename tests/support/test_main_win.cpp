// Entry point of the Windows test programs. Every text of Jotwell is Shift-JIS,
// so a run under any other ANSI code page would prove nothing: refuse it.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    if (GetACP() != 932) {
        std::fprintf(stderr,
                     "The ANSI code page is %u, not 932: run the Windows tests with "
                     "LANG=ja_JP.UTF-8 (scripts/wine-session does).\n",
                     GetACP());
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
