#include "about/about_layout.h"

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
