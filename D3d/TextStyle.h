// How a run of text looks: its pixel size, bold and italic, scale, spacing, colours and
// the font name. Elements of marked-up text inherit a style from their parent and
// override parts of it; the font manager picks the charsets that draw a style.
#pragma once

#include <stdint.h>

#include "Core/FColor.h"
#include "Core/WString.h"

struct TextStyle {
    static constexpr uint32_t kBold = 0x1;
    static constexpr uint32_t kItalic = 0x2;

    int32_t size = 14;
    uint32_t flags = 0;  // kBold, kItalic
    float scale = 1.0f;
    int32_t charSpacing = 0;
    int32_t rowSpacing = 0;
    FColor color = FColor::FromRgb(1.0f, 1.0f, 1.0f);
    FColor background = FColor::FromRgb(0.0f, 0.0f, 0.0f);
    WString fontName;

    bool IsBold() const { return (flags & kBold) != 0; }
    bool IsItalic() const { return (flags & kItalic) != 0; }

    // Copies every field of source, the font name last; returns this style.
    TextStyle& Assign(const TextStyle& source);
};
