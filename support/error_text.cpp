#include "support/error_text.h"

#include "support/sjis.h"

namespace {

const char *ownReason(DWORD error) {
    switch (error) {
    case kErrorDraftIsLink:
        return "リンクか、ほかの名前も持つファイルなので、読み込みませんでした。";
    case kErrorDraftHasNul:
        return "文字として読めないバイト (NUL) を含むので、読み込みませんでした。";
    case kErrorRecordElsewhere:
        return "書きかけの記録が、メモのフォルダにない一時ファイルを指しているので、従いませんでし"
               "た。";
    case kErrorSettingsUnreadable:
        return "起動したときに読み込めなかった設定ファイルは、上書きしません。";
    case kErrorSettingsUtf8:
        return "設定ファイルが UTF-8 で保存されていて、読み込めません。"
               "メモ帳で開き、文字コードを「ANSI」にして保存し直してください。";
    default: return nullptr;
    }
}

} // namespace

void systemReason(DWORD error, char (&reason)[kSystemReasonSize]) {
    if (const char *own = ownReason(error)) {
        sjisCopyBounded(sizeof reason, reason, own);
        return;
    }
    char text[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    if (length == 0) {
        formatBounded(sizeof reason, reason, "エラー %lu", static_cast<unsigned long>(error));
        return;
    }
    // CR, LF and space are never the second byte of a double-byte character.
    char *end = text + length;
    while (end > text && (end[-1] == '\r' || end[-1] == '\n' || end[-1] == ' '))
        *--end = '\0';
    formatBounded(sizeof reason, reason, "%s (%lu)", text, static_cast<unsigned long>(error));
}
