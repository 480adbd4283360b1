// Fuzz target for the dialog template reader: any bytes, in a buffer of exactly their
// size, are read without reading past them; a template that is accepted has no more
// control records than its bytes could hold.
#include "Platform/DialogTemplate.h"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* input, std::size_t size) {
    if (size > (1u << 20)) return 0;
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size ? size : 1]);
    if (size) std::memcpy(bytes.get(), input, size);
    platform::DialogTemplate t;
    if (platform::ReadDialogTemplate(bytes.get(), size, t)) {
        // A control record takes at least 18 bytes before its texts.
        if (t.items.size() * 18 > size) std::abort();
    }
    return 0;
}
