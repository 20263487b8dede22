// The program a test URL scheme runs: shell_recorder OUTPUT ADDRESS writes
// ADDRESS to OUTPUT, so a test sees what the shell was asked to open without a
// browser.
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    FILE *out = std::fopen(argv[1], "wb");
    if (!out)
        return 1;
    const bool written = std::fwrite(argv[2], 1, std::strlen(argv[2]), out) == std::strlen(argv[2]);
    return std::fclose(out) == 0 && written ? 0 : 1;
}
