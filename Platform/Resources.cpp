// The resources of the executable: answered from the table the build embeds.
#include <windows.h>

#include <PlatformResources.h>

#include <ctype.h>

// The executable's own table. An executable built without one links all the same and
// has no resources.
extern "C" const PlatformResourceTable CorvaneResourceTable __attribute__((weak));

namespace {

// The table that tests put in place of the executable's own.
const PlatformResourceTable* overrideTable = nullptr;

const PlatformResourceTable* ActiveTable() {
    if (overrideTable) return overrideTable;
    if (&CorvaneResourceTable == nullptr) return nullptr;
    return &CorvaneResourceTable;
}

bool EqualsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int x = tolower(static_cast<unsigned char>(*a));
        const int y = tolower(static_cast<unsigned char>(*b));
        if (x != y) return false;
        if (x == 0) return true;
    }
}

// A requested name or type against an entry's: integer identifiers by value, texts
// without regard to case. A text never equals an integer identifier.
bool Same(LPCSTR wanted, const char* text, uint16_t id) {
    if (IS_INTRESOURCE(wanted)) return !text && static_cast<uint16_t>(reinterpret_cast<ULONG_PTR>(wanted)) == id;
    if (wanted[0] == '#') {
        // "#123" names the integer identifier 123.
        unsigned long value = 0;
        const char* digit = wanted + 1;
        for (; *digit >= '0' && *digit <= '9' && value <= 0xFFFF; ++digit) value = value * 10 + (*digit - '0');
        if (*digit == 0 && digit != wanted + 1 && value <= 0xFFFF) return !text && value == id;
    }
    if (!text) return false;
    return EqualsNoCase(wanted, text);
}

const PlatformResource* FromHandle(const void* handle) {
    const PlatformResourceTable* table = ActiveTable();
    if (!handle || !table || !table->entries) return nullptr;
    const PlatformResource* entry = static_cast<const PlatformResource*>(handle);
    if (entry < table->entries || entry >= table->entries + table->count) return nullptr;
    return entry;
}

}  // namespace

void PlatformResources_Override(const PlatformResourceTable* table) { overrideTable = table; }

extern "C" HRSRC WINAPI FindResourceA(HMODULE, LPCSTR lpName, LPCSTR lpType) {
    const PlatformResourceTable* table = ActiveTable();
    if (!table || !table->entries || !lpName || !lpType) return nullptr;
    for (uint32_t i = 0; i < table->count; ++i) {
        const PlatformResource& entry = table->entries[i];
        if (Same(lpType, entry.type, entry.typeId) && Same(lpName, entry.name, entry.nameId))
            return reinterpret_cast<HRSRC>(const_cast<PlatformResource*>(&entry));
    }
    return nullptr;
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    return FromHandle(hResInfo) ? static_cast<HGLOBAL>(hResInfo) : nullptr;
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData) {
    const PlatformResource* entry = FromHandle(hResData);
    return entry ? const_cast<unsigned char*>(entry->data) : nullptr;
}

extern "C" DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    const PlatformResource* entry = FromHandle(hResInfo);
    if (!entry || !entry->data || entry->end < entry->data) return 0;
    return static_cast<DWORD>(entry->end - entry->data);
}

extern "C" BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }
