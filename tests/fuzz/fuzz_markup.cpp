// Fuzz target for the markup parser and the text layout: the input is read as UTF-16
// text, parsed into a document, laid out, and walked. Every run must hold characters
// of the source, nesting must stay within the bound, and a cursor must cross the whole
// text without leaving it.
#include "D3d/Markup.h"
#include "D3d/TextElement.h"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const u8* input, std::size_t size) {
    if (size > (1u << 20)) return 0;
    const u32 units = static_cast<u32>(size / 2);
    std::unique_ptr<char16_t[]> text(new char16_t[units ? units : 1]);
    if (units) std::memcpy(text.get(), input, units * 2);
    const WString markup = WString::FromBuffer(text.get(), units, true);

    TextElement document;
    const bool ok = document.SetMarkup(markup);
    if (ok != Markup::Succeeded()) std::abort();

    u32 characters = 0;
    for (const TextElement* e = &document; e; e = e->Next()) {
        u32 depth = 0;
        for (const TextElement* p = e->Parent(); p; p = p->Parent()) ++depth;
        if (depth > Markup::kMaxDepth + 1) std::abort();
        if (!e->IsRun()) continue;
        characters += e->GetLength();
        if (e->GetLength() > units) std::abort();
    }
    if (characters > units) std::abort();

    TextCursor cursor(&document, 0);
    u32 steps = 0;
    if (characters != 0 && cursor.Advance(0)) {
        while (cursor.Advance(1)) {
            if (cursor.index >= cursor.element->GetLength()) std::abort();
            if (++steps > characters) std::abort();
        }
        if (steps + 1 != characters) std::abort();
    }
    return 0;
}
