// The window system's maker of inline pictures: an "IMG" element of a text gets a label
// window holding one image window, its only tile, shown in the label window's starting
// (empty) state. The element owns the object and the texture reference; the image window
// takes none, so the element releases the texture after deleting the object.
//
// The factory holds nothing: each rich-text window has one of its own and hands it to the
// documents it shows, so only text shown in a window makes windows for its pictures.
#pragma once

#include "Core/Types.h"
#include "D3d/InlineObjectFactory.h"
#include "Gui/LabelWindow.h"

class ImageWindow;
class Texture;

// A label window that a text element can own.
class InlineImage : public LabelWindow, public InlineObject {
public:
    InlineImage(Texture* texture, i32 width, i32 height);
    ~InlineImage() override = default;

    // The image window takes the label window's size.
    void SetRect(IntRect rect) override;

    ImageWindow* Image() const { return image_; }

private:
    ImageWindow* image_ = nullptr;  // owned as the label window's tile
};

class InlineImageFactory : public InlineObjectFactory {
public:
    InlineObject* MakeImage(Texture* texture, i32 width, i32 height) override;
};
