// How a text element gets the window an "IMG" element shows. The text layer knows no
// windows: the element asks the factory its creator handed it for an object that holds a
// label window with one image window of the given size and texture, already shown, and
// owns what it gets back through the virtual destructor. Whoever shows text in windows
// hands in the real factory; an element without one leaves an "IMG" without an object.
//
// The image window takes no reference of the texture: the element that loaded it
// releases it after deleting the object.
#pragma once

#include "Core/Types.h"

class Texture;

class InlineObject {
public:
    virtual ~InlineObject() = default;
};

class InlineObjectFactory {
public:
    virtual ~InlineObjectFactory() = default;
    // A shown label window holding an image window with the rectangle (0, 0, width,
    // height) and the texture (null for none); null when it cannot be made.
    virtual InlineObject* MakeImage(Texture* texture, i32 width, i32 height) = 0;
};
