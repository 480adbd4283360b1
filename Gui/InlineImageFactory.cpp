// The label and image windows of inline "IMG" elements (see InlineImageFactory.h).
#include "Gui/InlineImageFactory.h"

#include "Gui/ImageWindow.h"

InlineImage::InlineImage(Texture* texture, i32 width, i32 height) {
    SetName(String("IMG"));
    image_ = new ImageWindow();
    image_->SetName(String("image"));
    image_->SetImage(texture);
    AddTile(image_, String());
    SetRect(IntRect(0, 0, width, height));
    Show();
}

void InlineImage::SetRect(IntRect rect) {
    LabelWindow::SetRect(rect);
    // The picture fills the label window. Not by anchors: joining a text window hides
    // the label window for a moment, and hiding lets go of every anchor on it.
    if (image_) image_->SetRect(IntRect(0, 0, rect.right, rect.bottom));
}

InlineObject* InlineImageFactory::MakeImage(Texture* texture, i32 width, i32 height) {
    return new InlineImage(texture, width, height);
}
