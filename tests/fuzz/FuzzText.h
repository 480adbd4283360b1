// The input of the text-driven fuzz targets: the first byte picks the form (odd the
// statement form, even the line form), the rest is the text, parsed into a tree.
#pragma once

#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/Types.h"
#include "Core/WString.h"

#include <cstddef>
#include <string>

// False (nothing parsed) for an empty or oversized input.
inline bool LoadFuzzText(const u8* data, std::size_t size, TextDataTree& doc) {
    if (size < 1 || size > (1u << 16)) return false;
    const TextData::Form form = (data[0] & 1) ? TextData::kStatementForm : TextData::kLineForm;
    WString text;
    text.AssignNarrow(std::string(reinterpret_cast<const char*>(data + 1), size - 1).c_str());
    TextData::LoadText(text, doc, nullptr, form);
    return true;
}
