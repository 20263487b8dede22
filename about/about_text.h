// The About box's texts, formatted into its fixed buffers. Platform-free.
// Every text is Shift-JIS; every result is terminated.
#pragma once

#include <cstddef>

// The product name and version and the formatted lines live in buffers of this
// size; formatting into them stops at 521 bytes.
constexpr std::size_t kAboutTextSize = 522;
constexpr std::size_t kAboutFormatBound = 521;
// The free-resources line's buffer: "システムリソース： 100 ％使用可能" and its terminator.
constexpr std::size_t kFreeResourcesLineSize = 34;

// "Jotwell ver. 0.04"
void formatNameLine(char line[kAboutTextSize], const char *name, const char *version);
// "Jotwell について"
void formatAboutCaption(char caption[kAboutTextSize], const char *name);
// Never ends in half a double-byte character, whatever the number.
void formatFreeResourcesLine(char line[kFreeResourcesLineSize], int percent);
// "\\StringFileInfo\\041104b0\\ProductName": language and code page as four
// lower-case hex digits each.
void formatVersionKeyPath(char path[kAboutTextSize], unsigned language, unsigned codePage,
                          const char *key);
// The product name, or the file description when the version resource names no product.
const char *aboutProductName(const char *productName, const char *fileDescription);
