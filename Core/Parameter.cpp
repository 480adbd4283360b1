#include "Core/Parameter.h"

#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "Core/WString.h"

#include <functional>

// ---- Parameter ---------------------------------------------------------------------

Parameter::Parameter(const String& key, bool enter) {
    if (enter) g_paramRegistry.Register(this, key);
}

Parameter::~Parameter() { g_paramRegistry.Unregister(this); }

// ---- the scalar kinds --------------------------------------------------------------

bool BoolParameter::Parse(const TextNode* node) {
    if (!node) return false;
    value = node->GetInt() != 0 ? 1 : 0;
    return true;
}

bool IntParameter::Parse(const TextNode* node) {
    if (!node) return false;
    value = node->GetInt();
    return true;
}

bool FloatParameter::Parse(const TextNode* node) {
    if (!node) return false;
    value = static_cast<f32>(node->GetReal());
    return true;
}

bool StringParameter::Parse(const TextNode* node) {
    if (!node) return false;
    value = String::FromWString(node->value);
    return true;
}

bool IntRefParameter::Parse(const TextNode* node) {
    if (!node || !variable) return false;
    *variable = node->GetInt();
    return true;
}

void ColorParameter::ReadColor(const TextNode& node, FColor& color) {
    f32* channels[3] = {&color.r, &color.g, &color.b};
    for (i32 i = 0; i < 3; ++i)
        if (const TextNode* child = node.GetChild(i))
            *channels[i] = static_cast<f32>(child->GetReal() * FColor::kByteScale);
}

bool ColorParameter::Parse(const TextNode* node) {
    if (!node) return false;
    ReadColor(*node, value);
    return true;
}

// ---- the arrays --------------------------------------------------------------------

namespace {

// Empties the array, then gives it one element per child of node and reads element i
// from child i with read(child, element); a missing child leaves the element's default.
template <class T, class Read>
bool ReadArray(const TextNode* node, Array<T>& array, Read read) {
    if (!node) return false;
    array.Resize(0);
    const u32 n = node->ChildCount();
    if (n > 0x7FFFFFFFu || !array.Resize(static_cast<i32>(n))) {
        array.Resize(0);
        return false;
    }
    for (i32 i = 0; i < array.count; ++i)
        if (const TextNode* child = node->GetChild(i)) read(*child, array[i]);
    return true;
}

}  // namespace

bool FloatArrayParameter::Parse(const TextNode* node) {
    return ReadArray(node, value, [](const TextNode& child, f32& out) { out = static_cast<f32>(child.GetReal()); });
}

bool IntArrayParameter::Parse(const TextNode* node) {
    return ReadArray(node, value, [](const TextNode& child, i32& out) { out = child.GetInt(); });
}

bool Vec3ArrayParameter::Parse(const TextNode* node) {
    return ReadArray(node, value, [](const TextNode& child, Vec3& out) {
        f32 xyz[3];
        child.GetVec3(xyz);
        out = Vec3(xyz[0], xyz[1], xyz[2]);
    });
}

bool ColorArrayParameter::Parse(const TextNode* node) {
    return ReadArray(node, value, [](const TextNode& child, FColor& out) { ColorParameter::ReadColor(child, out); });
}

bool StringListArrayParameter::Parse(const TextNode* node) {
    bool ok = true;
    const bool read = ReadArray(node, value, [&ok](const TextNode& child, StringList& out) {
        if (child.ChildCount() == 0) {
            if (!child.value.IsEmpty() && !out.PushBack(String::FromWString(child.value))) ok = false;
            return;
        }
        for (i32 j = 0; j < static_cast<i32>(child.ChildCount()); ++j) {
            const TextNode* item = child.GetChild(j);
            if (!out.PushBack(item ? String::FromWString(item->value) : String())) ok = false;
        }
    });
    return read && ok;
}

// ---- the registry ------------------------------------------------------------------

int ParameterOrder::operator()(const Parameter* a, const Parameter* b) const {
    const std::less<const Parameter*> less;
    return less(a, b) ? -1 : (less(b, a) ? 1 : 0);
}

ParamRegistry::~ParamRegistry() {
    owned.CursorWalk([](const String&, Parameter*& parameter) {
        delete parameter;
        parameter = nullptr;
    });
}

bool ParamRegistry::Register(Parameter* parameter, const String& key) {
    return parameter && registrations.Insert(parameter, key) != nullptr;
}

void ParamRegistry::Unregister(Parameter* parameter) { registrations.Remove(parameter); }

const String* ParamRegistry::KeyOf(const Parameter* parameter) const {
    const auto* entry = registrations.Find(parameter);
    return entry ? &entry->value : nullptr;
}

bool ParamRegistry::Own(const String& key, Parameter* parameter) {
    if (!parameter) return false;
    auto* entry = owned.Find(key);
    if (entry) {
        if (entry->value != parameter) delete entry->value;
        entry->value = parameter;
        return true;
    }
    if (!owned.Insert(key, parameter)) {
        delete parameter;
        return false;
    }
    return true;
}

Parameter* ParamRegistry::Owned(const String& key) const {
    const auto* entry = owned.Find(key);
    return entry ? entry->value : nullptr;
}

bool ParamRegistry::Disown(const String& key) {
    auto* entry = owned.Find(key);
    if (!entry) return false;
    delete entry->value;
    entry->value = nullptr;
    return owned.Remove(key);
}

void ParamRegistry::ReadDocument(const TextDataTree& document) {
    auto read = [&document](const String& key, Parameter* parameter) {
        if (parameter) parameter->Parse(document.GetChild(WString::FromString(key)));
    };
    registrations.CursorWalk([&read](const Parameter* const& parameter, String& key) {
        read(key, const_cast<Parameter*>(parameter));
    });
    owned.CursorWalk([&read](const String& key, Parameter*& parameter) { read(key, parameter); });
}
