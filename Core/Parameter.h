// Named parameters: typed setting objects that register under a text key in the one
// program-wide ParamRegistry and take their values from a parsed data-description
// document when the registry reads one. A key the document does not hold leaves the
// value as it is.
#pragma once

#include "Core/Array.h"
#include "Core/FColor.h"
#include "Core/List.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/Vector.h"

class TextDataTree;
class TextNode;

class Parameter {
public:
    // With `enter`, registers this object's address under key (an address registered
    // before gets the new key).
    Parameter(const String& key, bool enter);
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;
    // Removes the registration, if there is one.
    virtual ~Parameter();

    // Reads the value from node. Null: false and nothing changes.
    virtual bool Parse(const TextNode* node) = 0;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(const String& key, bool enter) : Parameter(key, enter) {}
    // The node's integer value; any but 0 is true ("0.5" reads 0, so false).
    bool Parse(const TextNode* node) override;
    u8 value = 0;
};

class IntParameter : public Parameter {
public:
    IntParameter(const String& key, bool enter) : Parameter(key, enter) {}
    bool Parse(const TextNode* node) override;
    i32 value = 0;
};

class FloatParameter : public Parameter {
public:
    FloatParameter(const String& key, bool enter) : Parameter(key, enter) {}
    bool Parse(const TextNode* node) override;
    f32 value = 0.0f;
};

class StringParameter : public Parameter {
public:
    StringParameter(const String& key, bool enter) : Parameter(key, enter) {}
    // The value text in narrow form.
    bool Parse(const TextNode* node) override;
    String value;
};

// A colour written as the array of its red, green and blue bytes: each is scaled by
// 1/255 without clamping (355 gives about 1.39); alpha keeps its value. A component
// the node lacks keeps its value too.
class ColorParameter : public Parameter {
public:
    ColorParameter(const String& key, bool enter) : Parameter(key, enter) {}
    bool Parse(const TextNode* node) override;
    // The reading of one colour node, shared with ColorArrayParameter.
    static void ReadColor(const TextNode& node, FColor& color);
    FColor value;
};

// The arrays: element i is the child named by the decimal text of i, for i below the
// node's child count, whatever order the children were written in. An index the node
// lacks gives an element of its type's default (0, a zero vector, opaque white).
// False, with the array emptied, when memory runs out.
class FloatArrayParameter : public Parameter {
public:
    FloatArrayParameter(const String& key, bool enter) : Parameter(key, enter), value(0, 10) {}
    bool Parse(const TextNode* node) override;
    FloatArray value;
};

class IntArrayParameter : public Parameter {
public:
    IntArrayParameter(const String& key, bool enter) : Parameter(key, enter), value(0, 10) {}
    bool Parse(const TextNode* node) override;
    IntArray value;
};

class Vec3ArrayParameter : public Parameter {
public:
    Vec3ArrayParameter(const String& key, bool enter) : Parameter(key, enter), value(0, 10) {}
    // Each element from the children "0", "1" and "2" of child i.
    bool Parse(const TextNode* node) override;
    Vec3Array value;
};

class ColorArrayParameter : public Parameter {
public:
    ColorArrayParameter(const String& key, bool enter) : Parameter(key, enter), value(0, 10) {}
    bool Parse(const TextNode* node) override;
    ColorArray value;
};

// Sets a variable that lives elsewhere; the parameter has no value of its own.
class IntRefParameter : public Parameter {
public:
    IntRefParameter(const String& key, bool enter, i32* target) : Parameter(key, enter), variable(target) {}
    bool Parse(const TextNode* node) override;
    i32* variable;
};

// An array of text lists: element i is the list of the values of child i's elements
// (a child that is a single value gives a list of that one text).
class StringListArrayParameter : public Parameter {
public:
    StringListArrayParameter(const String& key, bool enter) : Parameter(key, enter) {}
    bool Parse(const TextNode* node) override;
    StringListArray value;
};

// Parameter addresses in their numeric order.
struct ParameterOrder {
    int operator()(const Parameter* a, const Parameter* b) const;
};

class ParamRegistry {
public:
    ParamRegistry() = default;
    ParamRegistry(const ParamRegistry&) = delete;
    ParamRegistry& operator=(const ParamRegistry&) = delete;
    // Deletes the parameters the registry owns.
    ~ParamRegistry();

    // Called by Parameter's constructor and destructor.
    bool Register(Parameter* parameter, const String& key);
    void Unregister(Parameter* parameter);
    // The key a parameter is registered under; null when it is not.
    const String* KeyOf(const Parameter* parameter) const;
    u32 RegisteredCount() const { return registrations.count; }

    // Takes over a heap parameter (built without registering) under key. A parameter
    // the key held before is deleted. False (and the parameter deleted) when memory
    // runs out; a null parameter is refused.
    bool Own(const String& key, Parameter* parameter);
    Parameter* Owned(const String& key) const;
    // Deletes the parameter owned under key; false when there is none.
    bool Disown(const String& key);
    u32 OwnedCount() const { return owned.count; }

    // Gives every registered parameter, then every owned one, the value of the
    // document's top-level child named by its key (case-sensitive), or null when the
    // document has no such child.
    void ReadDocument(const TextDataTree& document);

private:
    OrderedMap<const Parameter*, String, ParameterOrder> registrations;
    StringMapOf<Parameter*> owned;
};

// The program-wide registry.
extern ParamRegistry g_paramRegistry;
