#include "Core/HandleParam.h"

#include "Core/Object.h"

#include <cstring>

namespace {
// Plain values (integers, floats, matrices): a copy of the block.
void* CopyInt(const void* value, u32 size) {
    void* copy = MemAlloc(size);
    std::memcpy(copy, value, size);
    return copy;
}

void* CopyString(const void* value, u32) { return new String(*static_cast<const String*>(value)); }
}  // namespace

u32 StringTypeId() { return TypeIdOf<String>(); }

namespace {
// Floats and matrices are plain bytes in a MemAlloc block, like integers.
u32 FloatTypeId() { return TypeIdOf<f32>(&MemFree); }
u32 MatrixTypeId() { return TypeIdOf<Matrix>(&MemFree); }
}  // namespace

void DataBlock::SetU32(u32 v) {
    if (!(pointer && size == 4)) {
        MemFree(pointer);
        pointer = MemAlloc(4);
        size = 4;
    }
    std::memcpy(pointer, &v, 4);
}

HandleParamMap::~HandleParamMap() { Clear(); }

void HandleParamMap::Clear() {
    // The records are owned: free each before the nodes go.
    Node* node = cursor;
    for (u32 i = 0; i < count; ++i, node = node->next) {
        delete node->value;
        node->value = nullptr;
    }
    OrderedMap::Clear();
}

HandleParam* HandleParamMap::Record(const String& name) {
    if (Node* node = Find(name)) return node->value;
    HandleParam* record = new HandleParam();
    record->name = name;
    Insert(name, record, true);
    return record;
}

void HandleParamMap::SetInt(const String& name, i32 v) { Record(name)->SetInt(v); }

void HandleParamMap::SetString(const String& name, const String& v) { Record(name)->SetString(v); }

bool HandleParamMap::GetInt(const String& name, i32* out) const {
    const Node* node = Find(name);
    return node && node->value && node->value->GetInt(out);
}

bool HandleParamMap::GetString(const String& name, String* out) const {
    const Node* node = Find(name);
    return node && node->value && node->value->GetString(out);
}

void HandleParamMap::SetFloat(const String& name, f32 v) { Record(name)->SetFloat(v); }

void HandleParamMap::SetMatrix(const String& name, const Matrix& v) { Record(name)->SetMatrix(v); }

bool HandleParamMap::GetFloat(const String& name, f32* out) const {
    const Node* node = Find(name);
    return node && node->value && node->value->GetFloat(out);
}

bool HandleParamMap::GetMatrix(const String& name, Matrix* out) const {
    const Node* node = Find(name);
    return node && node->value && node->value->GetMatrix(out);
}

HandleParam::HandleParam(const HandleParam& source) : HandleParamBase() {
    name = source.name;
    Assign(source);
}

HandleParam::~HandleParam() { ReleaseValue(); }

void HandleParam::ReleaseValue() {
    if (typeId != -1 && value.pointer) {
        if (TypeReleaseFn release = TypeIds::ReleaseFunction(static_cast<u32>(typeId))) release(value.pointer);
    }
    value.pointer = nullptr;
    value.size = 0;
    typeId = -1;
    copyFunction = nullptr;
}

void HandleParam::Clear() {
    ReleaseValue();
    children.Clear();
}

void HandleParam::SetInt(i32 v) {
    if (typeId != static_cast<i32>(IntTypeId())) {
        ReleaseValue();
        typeId = static_cast<i32>(IntTypeId());
        copyFunction = &CopyInt;
    }
    value.SetU32(static_cast<u32>(v));
}

void HandleParam::SetString(const String& v) {
    if (typeId == static_cast<i32>(StringTypeId()) && value.pointer) {
        static_cast<String*>(value.pointer)->Assign(v);
        return;
    }
    ReleaseValue();
    value.pointer = new String(v);
    value.size = sizeof(String);
    typeId = static_cast<i32>(StringTypeId());
    copyFunction = &CopyString;
}

void HandleParam::SetPlain(u32 id, const void* data, u32 size) {
    if (typeId != static_cast<i32>(id) || !value.pointer || value.size != size) {
        ReleaseValue();
        value.pointer = MemAlloc(size);
        value.size = size;
        typeId = static_cast<i32>(id);
        copyFunction = &CopyInt;
    }
    std::memcpy(value.pointer, data, size);
}

bool HandleParam::GetPlain(u32 id, void* out, u32 size) const {
    if (typeId != static_cast<i32>(id) || !value.pointer || value.size != size) return false;
    std::memcpy(out, value.pointer, size);
    return true;
}

void HandleParam::SetFloat(f32 v) { SetPlain(FloatTypeId(), &v, sizeof v); }

void HandleParam::SetMatrix(const Matrix& v) { SetPlain(MatrixTypeId(), &v, sizeof v); }

bool HandleParam::GetFloat(f32* out) const { return GetPlain(FloatTypeId(), out, sizeof *out); }

bool HandleParam::GetMatrix(Matrix* out) const { return GetPlain(MatrixTypeId(), out, sizeof *out); }

bool HandleParam::GetInt(i32* out) const {
    if (typeId != static_cast<i32>(IntTypeId()) || !value.pointer || value.size != 4) return false;
    std::memcpy(out, value.pointer, 4);
    return true;
}

bool HandleParam::GetString(String* out) const {
    if (typeId != static_cast<i32>(StringTypeId()) || !value.pointer) return false;
    out->Assign(*static_cast<const String*>(value.pointer));
    return true;
}

HandleParam& HandleParam::Assign(const HandleParam& source) {
    if (&source == this) return *this;
    Clear();
    if (source.typeId != -1 && source.copyFunction && source.value.pointer) {
        value.pointer = source.copyFunction(source.value.pointer, source.value.size);
        value.size = source.value.size;
        typeId = source.typeId;
        copyFunction = source.copyFunction;
    }
    // Children in the source's thread order, from its cursor.
    const HandleParamMap::Node* node = source.children.cursor;
    for (u32 i = 0; i < source.children.count; ++i, node = node->next) {
        if (!node->value) continue;
        HandleParam* copy = new HandleParam(*node->value);
        copy->name = node->key;
        if (HandleParamMap::Node* existing = children.Find(node->key)) {
            delete existing->value;
            existing->value = copy;
        } else {
            children.Insert(node->key, copy, true);
        }
    }
    return *this;
}
