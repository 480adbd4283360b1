// The typed property readers. A property with child entries is read by its children
// whatever value it also holds; one without children is read by its text.
#include "Scene/PropertyReaders.h"

#include <cstring>

namespace {

// The number a text gives: 0 when it does not parse, or when it is empty.
f32 TextToFloat(const String& text) {
    f32 v = 0.0f;
    if (!text.ToFloat(&v)) return 0.0f;
    return v;
}

// The integer a text gives: the float truncated toward zero, 0 when it does not parse or
// its truncation does not fit in 32 bits.
i32 TextToInt(const String& text) {
    const f32 v = TextToFloat(text);
    // Out-of-range conversions are undefined; NaN fails both comparisons.
    if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
    return static_cast<i32>(v);
}

bool HasChildren(const HandleParam* property) { return property && property->children.count > 0; }

const HandleParam* Child(const HandleParam& property, const char* key) { return FindProperty(property, key); }

f32 ChildFloat(const HandleParam& property, const char* key) { return TextToFloat(PropertyText(Child(property, key))); }

// A colour component from the child named by number, or else by letter; untouched when
// neither exists.
void ReadComponent(const HandleParam& property, const char* number, const char* letter, f32& component) {
    const HandleParam* child = Child(property, number);
    if (!child) child = Child(property, letter);
    if (child) component = TextToFloat(PropertyText(child));
}

}  // namespace

const HandleParam* FindProperty(const HandleParam& props, const char* key) {
    const auto* node = props.children.Find(String::Borrow(key, static_cast<u32>(strlen(key))));
    return node ? node->value : nullptr;
}

String PropertyText(const HandleParam* property) {
    String text;
    if (!property || !property->GetString(&text)) return String();
    u32 n = text.length;
    while (n > 0 && text.data[n - 1] == '\0') --n;
    if (n == text.length) return text;
    return n == 0 ? String() : String::FromBuffer(text.data, n, true);
}

bool ReadPropertyString(const HandleParam& props, const char* key, String* out) {
    const HandleParam* property = FindProperty(props, key);
    String text;
    if (!property || !property->GetString(&text)) return false;
    *out = PropertyText(property);
    return true;
}

f32 ReadPropertyFloat(const HandleParam& props, const char* key) {
    const HandleParam* property = FindProperty(props, key);
    if (!property || HasChildren(property)) return 0.0f;
    return TextToFloat(PropertyText(property));
}

i32 ReadPropertyInt(const HandleParam& props, const char* key) {
    const HandleParam* property = FindProperty(props, key);
    if (!property || HasChildren(property)) return 0;
    return TextToInt(PropertyText(property));
}

Vec3 ReadPropertyVector(const HandleParam& props, const char* key) {
    const HandleParam* property = FindProperty(props, key);
    if (!property) return Vec3();
    if (HasChildren(property))
        return Vec3(ChildFloat(*property, "0"), ChildFloat(*property, "1"), ChildFloat(*property, "2"));
    const f32 v = TextToFloat(PropertyText(property));
    return Vec3(v, v, v);
}

FColor ReadPropertyColor(const HandleParam& props, const char* key) {
    FColor color;
    const HandleParam* property = FindProperty(props, key);
    if (!property) return color;
    if (!HasChildren(property)) {
        color.SetGrey(TextToFloat(PropertyText(property)));
        return color;
    }
    switch (property->children.count) {
    case 3:
        ReadComponent(*property, "0", "r", color.r);
        ReadComponent(*property, "1", "g", color.g);
        ReadComponent(*property, "2", "b", color.b);
        break;
    case 4:
        ReadComponent(*property, "0", "a", color.a);
        ReadComponent(*property, "1", "r", color.r);
        ReadComponent(*property, "2", "g", color.g);
        ReadComponent(*property, "3", "b", color.b);
        break;
    default: break;
    }
    return color;
}

RangeValue ReadPropertyRange(const HandleParam& props, const char* key) {
    const HandleParam* property = FindProperty(props, key);
    if (!property) return RangeValue(1.0f);
    if (!HasChildren(property)) return RangeValue(TextToFloat(PropertyText(property)));
    RangeValue range(0.0f);
    const u32 count = property->children.count;
    const f32 x0 = ChildFloat(*property, "0");
    const f32 w0 = ChildFloat(*property, "1");
    if (count == 6) {
        range.SetAll(x0, w0, ChildFloat(*property, "2"), ChildFloat(*property, "3"), ChildFloat(*property, "4"),
                     ChildFloat(*property, "5"));
    } else if (count == 4) {
        range.Set(x0, w0, ChildFloat(*property, "2"), ChildFloat(*property, "3"));
    } else {
        range.x0 = x0;
        range.w0 = w0;
    }
    return range;
}
