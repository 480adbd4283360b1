// Named variant values: a HandleParam holds one value of any kind (tagged by its type id)
// and named child records; the statistics store and the named properties of drawables
// are made of them.
#pragma once

#include "Core/Container.h"
#include "Core/Matrix.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"

class HandleParam;

// A {pointer, size} value block.
struct DataBlock {
    void* pointer = nullptr;
    u32 size = 0;

    // Stores a 32-bit value, reusing a 4-byte block when there is one.
    void SetU32(u32 value);
};

// Copies a held value: the second function of each value kind.
using ValueCopyFn = void* (*)(const void* value, u32 size);

// Child records by name, without regard to case.
class HandleParamMap : public OrderedMap<String, HandleParam*, StringOrderNoCase> {
public:
    HandleParamMap() = default;
    HandleParamMap(const HandleParamMap&) = delete;
    HandleParamMap& operator=(const HandleParamMap&) = delete;
    ~HandleParamMap() override;
    void Clear() override;

    // The record of that name, created empty (after the cursor) when absent.
    HandleParam* Record(const String& name);
    void SetInt(const String& name, i32 value);
    void SetString(const String& name, const String& value);
    // True with the value when the record exists and holds an integer.
    bool GetInt(const String& name, i32* out) const;
    bool GetString(const String& name, String* out) const;
    void SetFloat(const String& name, f32 value);
    void SetMatrix(const String& name, const Matrix& value);
    // True with the value when the record exists and holds that type.
    bool GetFloat(const String& name, f32* out) const;
    bool GetMatrix(const String& name, Matrix* out) const;
};

class HandleParamBase : public Container {
public:
    String name;
    HandleParamMap children;
};

class HandleParam : public HandleParamBase {
public:
    HandleParam() = default;
    HandleParam(const HandleParam& source);
    HandleParam& operator=(const HandleParam& source) { return Assign(source); }
    ~HandleParam() override;
    // Drops the value and the children.
    void Clear() override;

    void SetInt(i32 value);
    void SetString(const String& value);
    bool GetInt(i32* out) const;
    bool GetString(String* out) const;
    void SetFloat(f32 value);
    void SetMatrix(const Matrix& value);
    bool GetFloat(f32* out) const;
    bool GetMatrix(Matrix* out) const;
    bool IsEmpty() const { return typeId == -1; }
    HandleParam& Assign(const HandleParam& source);

    i32 typeId = -1;
    ValueCopyFn copyFunction = nullptr;
    DataBlock value;

private:
    void ReleaseValue();
    // Holds a plain value of `size` bytes under typeId, reusing the block when the type is
    // already that one.
    void SetPlain(u32 id, const void* data, u32 size);
    bool GetPlain(u32 id, void* out, u32 size) const;
};
