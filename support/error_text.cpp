#include "support/error_text.h"

#include "support/sjis.h"

void systemReason(DWORD error, char *reason, std::size_t size) {
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, reason, static_cast<DWORD>(size), nullptr);
    if (length == 0) {
        formatBounded(size, reason, "エラー %lu", static_cast<unsigned long>(error));
        return;
    }
    // CR, LF and space are never the second byte of a double-byte character.
    char *end = reason + length;
    while (end > reason && (end[-1] == '\r' || end[-1] == '\n' || end[-1] == ' '))
        *--end = '\0';
}
