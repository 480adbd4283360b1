#include "Core/SettingBinders.h"

#include "Core/TextNode.h"

bool BoolRefParameter::Parse(const TextNode* node) {
    if (!node || !variable) return false;
    *variable = node->GetInt() != 0 ? 1 : 0;
    return true;
}

bool FloatRefParameter::Parse(const TextNode* node) {
    if (!node || !variable) return false;
    *variable = static_cast<f32>(node->GetReal());
    return true;
}

bool StringRefParameter::Parse(const TextNode* node) {
    if (!node || !variable) return false;
    *variable = String::FromWString(node->value);
    return true;
}

namespace {

// A stored value is taken only when it is one 4-byte word, as the integer binders do.
bool TakeWord(LSTATUS status, DWORD type, DWORD size, DWORD word, u8* byte) {
    if (status != ERROR_SUCCESS || size != 4 || (type != REG_DWORD && type != REG_BINARY)) return false;
    *byte = word != 0 ? 1 : 0;
    return true;
}

}  // namespace

bool ByteRegistryValue::ReadA(HKEY key, const char* name) {
    if (!byte) return false;
    DWORD type = REG_DWORD, word = 0, size = 4;
    const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&word), &size);
    return TakeWord(status, type, size, word, byte);
}

bool ByteRegistryValue::ReadW(HKEY key, const WCHAR* name) {
    if (!byte) return false;
    DWORD type = REG_DWORD, word = 0, size = 4;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&word), &size);
    return TakeWord(status, type, size, word, byte);
}

bool ByteRegistryValue::WriteA(HKEY key, const char* name) {
    if (!byte) return false;
    const DWORD word = *byte != 0 ? 1 : 0;
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&word), 4) == ERROR_SUCCESS;
}

bool ByteRegistryValue::WriteW(HKEY key, const WCHAR* name) {
    if (!byte) return false;
    const DWORD word = *byte != 0 ? 1 : 0;
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&word), 4) == ERROR_SUCCESS;
}
