#include "about/about_text.h"

#include "support/sjis.h"

void formatNameLine(char line[kAboutTextSize], const char *name, const char *version) {
    formatBounded(kAboutFormatBound, line, "%s ver. %s", name, version);
}

void formatAboutCaption(char caption[kAboutTextSize], const char *name) {
    formatBounded(kAboutFormatBound, caption, "%s について", name);
}

void formatFreeResourcesLine(char line[kFreeResourcesLineSize], int percent) {
    // A byte-wise cut at 34 could leave a lone lead byte (a number of four or
    // more digits from the library); the bounded copy cuts between characters.
    char formatted[kAboutTextSize];
    formatBounded(kAboutFormatBound, formatted, "システムリソース： %d ％使用可能", percent);
    sjisCopyBounded(kFreeResourcesLineSize, line, formatted);
}

void formatVersionKeyPath(char path[kAboutTextSize], unsigned language, unsigned codePage,
                          const char *key) {
    formatBounded(kAboutFormatBound, path, "\\StringFileInfo\\%04x%04x\\%s", language, codePage,
                  key);
}

const char *aboutProductName(const char *productName, const char *fileDescription) {
    return productName[0] != '\0' ? productName : fileDescription;
}
