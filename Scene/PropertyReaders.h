// Typed readers of a node's properties. A property holds either a text (the loader stores
// every plain value as a String) or child entries, and each reader turns either form into
// its type: a float, an integer, a vector of three floats, a colour or a random range.
// Every reader answers with a value, never a failure: an absent property, a text that does
// not parse and a value of another type each have a defined reading, so a model with odd
// properties still loads. Texts may end with NUL characters, which are dropped.
#pragma once

#include "Core/FColor.h"
#include "Core/HandleParam.h"
#include "Core/String.h"
#include "Core/Timer.h"
#include "Core/Types.h"
#include "Core/Vector.h"

// The property of that name (without regard to case) under props, or null.
const HandleParam* FindProperty(const HandleParam& props, const char* key);
// The text of a property: empty for null, for a value that is not a String and for a
// property with no value; trailing NULs dropped.
String PropertyText(const HandleParam* property);
// True when props holds the key with a String value; the text then goes to out.
bool ReadPropertyString(const HandleParam& props, const char* key, String* out);

// Absent 0.0; a text parsed as a float (0.0 when it does not parse); with children 0.0.
f32 ReadPropertyFloat(const HandleParam& props, const char* key);
// Absent 0; a text parsed and truncated toward zero; with children 0.
i32 ReadPropertyInt(const HandleParam& props, const char* key);
// Absent (0, 0, 0); a text v gives (v, v, v); children "0", "1", "2" give x, y, z.
Vec3 ReadPropertyVector(const HandleParam& props, const char* key);
// Absent: all four 1.0. A text v gives grey: a 1.0, r = g = b = v. Three children give r,
// g, b ("0" or "r", "1" or "g", "2" or "b"); four give a, r, g, b ("0" or "a", "1" or "r",
// "2" or "g", "3" or "b"); any other number reads none. A component not read stays 1.0.
FColor ReadPropertyColor(const HandleParam& props, const char* key);
// Absent: the constant 1.0. A text v: the constant v. Children "0", "1" set the first two
// fields; four children also "2", "3" (the last two reset to absent); six children all six.
RangeValue ReadPropertyRange(const HandleParam& props, const char* key);
