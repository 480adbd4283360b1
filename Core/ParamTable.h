// The settings table: registry value names bound to 32-bit program variables. Loading
// copies each stored value into its variable, saving writes each variable back, one
// REG_DWORD value per setting below a key of HKEY_CURRENT_USER.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"

#include <windows.h>

// One binding: a 32-bit variable that lives in the object that declared the setting.
// Booleans and integers alike are stored as their 32 bits.
class RegistryValue {
public:
    explicit RegistryValue(i32* target) : variable(target) {}
    explicit RegistryValue(u32* target) : variable(target) {}
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;
    virtual ~RegistryValue() = default;

    // Reads the named value into the variable. A value that is missing, or that is not
    // one 4-byte REG_DWORD (or REG_BINARY) word, leaves the variable as it is: false.
    virtual bool ReadA(HKEY key, const char* name);
    virtual bool ReadW(HKEY key, const WCHAR* name);
    // Writes the variable as a REG_DWORD value; true when the registry took it.
    virtual bool WriteA(HKEY key, const char* name);
    virtual bool WriteW(HKEY key, const WCHAR* name);

    void* variable;

private:
    bool Accept(LSTATUS status, DWORD type, DWORD size, DWORD word);
};

class ParamTable {
public:
    ParamTable() = default;
    ParamTable(const ParamTable&) = delete;
    ParamTable& operator=(const ParamTable&) = delete;
    // Deletes the bindings.
    ~ParamTable();

    // Takes over the binding under name; a binding the name held before is deleted.
    // False (and the binding deleted) when memory runs out; null is refused.
    bool Add(const String& name, RegistryValue* binding);
    RegistryValue* Find(const String& name) const;
    // Deletes the binding under name; false when there is none.
    bool Remove(const String& name);
    u32 Count() const { return bindings.count; }

    // Opens (creating it when missing) HKEY_CURRENT_USER\path and reads every bound
    // value. False when the key cannot be opened or created: nothing is read.
    bool LoadFromRegistry(const String& path);
    // Opens or creates the key and writes every bound value. False when the key cannot
    // be opened or created: nothing is written.
    bool SaveToRegistry(const String& path);

private:
    StringMapOf<RegistryValue*> bindings;
};

// The program-wide settings table.
extern ParamTable g_paramTable;
