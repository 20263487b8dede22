#include "support/error_text.h"

#include "support/sjis.h"

void systemReason(DWORD error, char (&reason)[kSystemReasonSize]) {
    char text[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    if (length == 0) {
        formatBounded(sizeof text, text, "エラー %lu", static_cast<unsigned long>(error));
    } else {
        // CR, LF and space are never the second byte of a double-byte character.
        char *end = text + length;
        while (end > text && (end[-1] == '\r' || end[-1] == '\n' || end[-1] == ' '))
            *--end = '\0';
    }
    formatBounded(sizeof reason, reason, "%s (%lu)", text, static_cast<unsigned long>(error));
}
