// The caret window's bar (see CaretWindow.h).
#include "Gui/CaretWindow.h"

#include "D3d/TextureDesc.h"
#include "D3d/TextureManager.h"
#include "Gui/ImageWindow.h"

bool CaretWindow::OnFrame() {
    if (!image_) Build();
    return LabelWindow::OnFrame();
}

void CaretWindow::Build() {
    if (image_) return;
    TextureDesc desc;
    // A file beside the program or a member of a mounted archive.
    desc.path = patht(kImageName);
    desc.path.flags |= kPathArchive;
    ImageWindow* image = new ImageWindow;
    image->SetRect(IntRect(0, 0, kWidth, kHeight));
    Texture* texture = TheTextureManager().Load(desc, nullptr);
    image->SetImage(texture);
    // The image takes no reference: the label window holds it until its tiles are gone.
    if (texture) HoldTexture(texture);
    // The bar keeps the place the rich-text window gave the caret.
    const IntPair origin = GetOrigin();
    SetRect(IntRect(origin.x, origin.y, kWidth, kHeight));
    if (!AddTile(image, String())) {
        delete image;
        return;
    }
    image_ = image;
    SetEnabled(true);
    SetIntParam(1);
    SetFloatParam(0.8f);
}
