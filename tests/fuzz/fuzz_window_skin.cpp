// Fuzz target for skins: the input is parsed as a data-description text (the first byte
// picks the form) and every top-level node is read as a skin into a label window that
// already has a tile of its own, then loaded through the window loader. The label window
// is resized, shown in every state, drawn through the frame signal, hidden and torn down;
// nothing may be left in the window manager afterwards.
#include <PlatformTest.h>
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/WString.h"
#include "D3d/TextureManager.h"
#include "Gui/ImageWindow.h"
#include "Gui/LabelWindow.h"
#include "Gui/StyleRegistry.h"
#include "Gui/WindowManager.h"
#include "tests/fuzz/FuzzText.h"

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    // The window system reads the clock (double clicks, the caret); one that stands still
    // lets every run of the fuzz check try the same inputs.
    PlatformTest_SetClock(0);
    TextDataTree doc;
    if (!LoadFuzzText(data, size, doc)) return 0;

    {
        LabelWindow label;
        auto* own = new ImageWindow();
        own->SetName(String("a"));
        label.AddTile(own, String("own"));
        label.SetRect(IntRect(3, 4, 120, 40));
        TextDataTree::Entry* entry = doc.first;
        for (u32 i = 0; i < doc.count; ++i, entry = entry->next) {
            label.ParseSkin(entry->value);
            label.LoadWindows(entry->value);
        }
        label.Show();
        label.SetSize(200, 60);
        std::vector<String> states;
        for (ImageWindow* tile : label.Tiles()) states.push_back(tile->GetName());
        states.push_back(String("own"));
        states.push_back(String());
        for (const String& state : states) {
            label.SetState(state);
            TheWindowManager().FrameSignal().Emit();
        }
        label.SetIntParam(1);
        label.SetFloatParam(0.5f);
        TheWindowManager().FrameSignal().Emit();
        label.Hide();
    }
    if (TheWindowManager().Count() != 0 || TheWindowManager().FrameSignal().Count() != 0 ||
        TheWindowManager().Cache().Count() != 0 || TheTextureManager().TextureCount() != 0)
        std::abort();
    TheWindowManager().Reset();
    StyleRegistry::Reset();
    return 0;
}
