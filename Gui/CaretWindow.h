// The text caret of a rich-text window: a label window showing one bar image, 2 pixels
// wide and 20 high. The rich-text window holds one as a member and child, keeps it
// disabled, and moves it to the caret's place each time it lays out (or parks it off
// screen when the caret's line is not drawn).
//
// The bar is made on the first frame the caret window is drawn, which only an enabled
// window is: a caret that is never enabled never loads its texture. Making it enables
// the window and gives the bar the label window's factor combine at 0.8, so the caret is
// drawn slightly transparent.
#pragma once

#include "Core/Types.h"
#include "Gui/LabelWindow.h"

class ImageWindow;

class CaretWindow : public LabelWindow {
public:
    static constexpr i32 kWidth = 2;
    static constexpr i32 kHeight = 20;
    // The bar's picture in the media archive.
    static constexpr const char* kImageName = "Media/Stolb01.jpg";

    CaretWindow() = default;
    ~CaretWindow() override = default;

    // Build while there is no bar, then the label window's frame handler (the quads).
    bool OnFrame() override;

    // Makes the bar image (its texture loaded by name; a texture that cannot be loaded
    // leaves a bar that draws nothing), sizes the window to it, enables the window and sets
    // the combine kind 1 with factor 0.8.
    void Build();

    // The bar; null until the first frame.
    ImageWindow* Image() const { return image_; }

private:
    ImageWindow* image_ = nullptr;  // a tile: the label window owns it
};
