// Style copying (see TextStyle.h).
#include "D3d/TextStyle.h"

TextStyle& TextStyle::Assign(const TextStyle& source) {
    if (this == &source) return *this;
    size = source.size;
    flags = source.flags;
    scale = source.scale;
    charSpacing = source.charSpacing;
    rowSpacing = source.rowSpacing;
    color = source.color;
    background = source.background;
    fontName = source.fontName;
    return *this;
}
