#include "about/about_layout.h"

#include "about/dialog_template.h"
#include "res/resource.h"

AboutLineGrowth aboutLineGrowth(const std::array<int, kAboutLineCount> &textWidth,
                                const std::array<int, kAboutLineCount> &lineWidth) {
    AboutLineGrowth result{};
    for (int i = 0; i < kAboutLineCount; ++i) {
        const int growth = textWidth[i] - lineWidth[i];
        result.growth[i] = growth > 0 ? growth : 0;
        if (result.growth[i] > result.largest)
            result.largest = result.growth[i];
    }
    return result;
}

int centredButtonShift(int dialogWidth, int buttonWidth, int buttonLeft) {
    // C++ division truncates toward zero, as the layout wants for a button wider
    // than the dialog too.
    return (dialogWidth - buttonWidth) / 2 - buttonLeft;
}

void *buildAboutTemplate() {
    static constexpr char16_t kEmpty[] = u"";
    static constexpr std::uintptr_t kButtonClass = 0x0080, kStaticClass = 0x0082;
    const std::uintptr_t empty = dialogString(kEmpty);
    const DialogSpec header = {kAboutDialogStyle,  0, 5, 0, 0, 38, 56, 0, kEmpty, 0,
                               u"ＭＳ Ｐゴシック", 9};
    // The OK button starts outside the dialog: the auto-size step centres it.
    const DialogItemSpec items[] = {
        {kStaticClass, empty, kAboutLineStyle | kAboutIconStyle, 0, 7, 7, 20, 21, IDC_ABOUT_ICON},
        {kStaticClass, empty, kAboutLineStyle, 0, 30, 7, 1, 8, IDC_ABOUT_NAME},
        {kStaticClass, empty, kAboutLineStyle, 0, 30, 16, 1, 8, IDC_ABOUT_LINK},
        {kStaticClass, empty, kAboutLineStyle, 0, 30, 25, 1, 8, IDC_ABOUT_RESOURCES},
        {kButtonClass, dialogString(u"OK"), kAboutLineStyle | kAboutButtonStyle, 0, 45, 35, 45, 14,
         kAboutOkId},
    };
    static_assert(sizeof items / sizeof items[0] == 5, "itemCount");
    return BuildDialogTemplate(header, items);
}
