// The typed named values of a material ("OffsetBias", "Etha", "RefractionI" as floats,
// "ObjToCube" as a matrix), kept as child records of the material's value record. A record
// answers only for the type it holds, so a name that holds a text or an integer leaves the
// caller's default in place.
#include "Effect/Material.h"

#include "Core/Memory.h"
#include "Core/Object.h"

#include <cstring>

namespace {

void* CopyBlock(const void* value, u32 size) {
    void* copy = MemAlloc(size);
    if (copy) std::memcpy(copy, value, size);
    return copy;
}

void FreeBlock(void* value) { MemFree(value); }

struct FloatValue {
    f32 value;
};

struct MatrixValue {
    Matrix value;
};

template <class T>
void Store(HandleParam& values, const String& name, const T& value) {
    HandleParam* record = values.children.Record(name);
    const i32 id = static_cast<i32>(TypeIdOf<T>(&FreeBlock));
    record->Clear();
    record->value.pointer = CopyBlock(&value, sizeof value);
    if (!record->value.pointer) return;
    record->value.size = sizeof value;
    record->typeId = id;
    record->copyFunction = &CopyBlock;
}

template <class T>
bool Load(const HandleParam& values, const String& name, T& out) {
    const auto* node = values.children.Find(name);
    if (!node || !node->value) return false;
    const HandleParam& record = *node->value;
    if (record.typeId != static_cast<i32>(TypeIdOf<T>(&FreeBlock)) || !record.value.pointer ||
        record.value.size != sizeof(T))
        return false;
    std::memcpy(&out, record.value.pointer, sizeof(T));
    return true;
}

}  // namespace

bool Material::GetFloat(const String& name, f32& out) const {
    FloatValue v{};
    if (!Load(values, name, v)) return false;
    out = v.value;
    return true;
}

bool Material::GetMatrix(const String& name, Matrix& out) const {
    MatrixValue v{};
    if (!Load(values, name, v)) return false;
    out = v.value;
    return true;
}

void Material::SetFloat(const String& name, f32 value) { Store(values, name, FloatValue{value}); }

void Material::SetMatrix(const String& name, const Matrix& value) { Store(values, name, MatrixValue{value}); }
