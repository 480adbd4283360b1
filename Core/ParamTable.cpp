#include "Core/ParamTable.h"

#include <cstring>

// ---- RegistryValue -----------------------------------------------------------------

bool RegistryValue::Accept(LSTATUS status, DWORD type, DWORD size, DWORD word) {
    // A shorter value would fill only part of the word; a big-endian or text value
    // would give a number the program never wrote.
    if (status != ERROR_SUCCESS || size != 4 || (type != REG_DWORD && type != REG_BINARY)) return false;
    std::memcpy(variable, &word, 4);
    return true;
}

bool RegistryValue::ReadA(HKEY key, const char* name) {
    if (!variable) return false;
    DWORD type = REG_DWORD, word = 0, size = 4;
    const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&word), &size);
    return Accept(status, type, size, word);
}

bool RegistryValue::ReadW(HKEY key, const WCHAR* name) {
    if (!variable) return false;
    DWORD type = REG_DWORD, word = 0, size = 4;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&word), &size);
    return Accept(status, type, size, word);
}

bool RegistryValue::WriteA(HKEY key, const char* name) {
    if (!variable) return false;
    return RegSetValueExA(key, name, 0, REG_DWORD, static_cast<const BYTE*>(variable), 4) == ERROR_SUCCESS;
}

bool RegistryValue::WriteW(HKEY key, const WCHAR* name) {
    if (!variable) return false;
    return RegSetValueExW(key, name, 0, REG_DWORD, static_cast<const BYTE*>(variable), 4) == ERROR_SUCCESS;
}

// ---- ParamTable --------------------------------------------------------------------

ParamTable::~ParamTable() {
    bindings.CursorWalk([](const String&, RegistryValue*& binding) {
        delete binding;
        binding = nullptr;
    });
}

bool ParamTable::Add(const String& name, RegistryValue* binding) {
    if (!binding) return false;
    if (auto* entry = bindings.Find(name)) {
        if (entry->value != binding) delete entry->value;
        entry->value = binding;
        return true;
    }
    if (!bindings.Insert(name, binding)) {
        delete binding;
        return false;
    }
    return true;
}

RegistryValue* ParamTable::Find(const String& name) const {
    const auto* entry = bindings.Find(name);
    return entry ? entry->value : nullptr;
}

bool ParamTable::Remove(const String& name) {
    auto* entry = bindings.Find(name);
    if (!entry) return false;
    delete entry->value;
    entry->value = nullptr;
    return bindings.Remove(name);
}

bool ParamTable::LoadFromRegistry(const String& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bindings.CursorWalk([key](const String& name, RegistryValue* binding) { binding->ReadA(key, name.c_str()); });
    RegCloseKey(key);
    return true;
}

bool ParamTable::SaveToRegistry(const String& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bindings.CursorWalk([key](const String& name, RegistryValue* binding) { binding->WriteA(key, name.c_str()); });
    RegCloseKey(key);
    return true;
}
