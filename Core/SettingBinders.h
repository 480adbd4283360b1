// Binders for settings whose value lives in a member of some object: a document binder
// gives the member the value a parsed document holds for its key, a registry binder moves
// it to and from a REG_DWORD value. The integer kinds are in Parameter.h (IntRefParameter)
// and ParamTable.h (RegistryValue); these are the byte, float and text kinds.
#pragma once

#include "Core/ParamTable.h"
#include "Core/Parameter.h"
#include "Core/String.h"
#include "Core/Types.h"

// A one-byte truth value: 1 for any non-zero integer in the document, else 0.
class BoolRefParameter : public Parameter {
public:
    explicit BoolRefParameter(u8* target) : Parameter(String(), false), variable(target) {}
    bool Parse(const TextNode* node) override;
    u8* variable;
};

class FloatRefParameter : public Parameter {
public:
    explicit FloatRefParameter(f32* target) : Parameter(String(), false), variable(target) {}
    bool Parse(const TextNode* node) override;
    f32* variable;
};

class StringRefParameter : public Parameter {
public:
    explicit StringRefParameter(String* target) : Parameter(String(), false), variable(target) {}
    bool Parse(const TextNode* node) override;
    String* variable;
};

// A one-byte truth value in the registry: written as the word 0 or 1, read as 1 when
// the stored word is not 0. Only the one byte is ever touched.
class ByteRegistryValue : public RegistryValue {
public:
    explicit ByteRegistryValue(u8* target) : RegistryValue(static_cast<u32*>(nullptr)), byte(target) {}
    bool ReadA(HKEY key, const char* name) override;
    bool ReadW(HKEY key, const WCHAR* name) override;
    bool WriteA(HKEY key, const char* name) override;
    bool WriteW(HKEY key, const WCHAR* name) override;
    u8* byte;
};
