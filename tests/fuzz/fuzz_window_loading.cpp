// Fuzz target for window tree loading: the input is parsed as a data-description text
// (the first byte picks the form) and every top-level node is loaded into a small window
// tree whose children carry the names the texts are likely to use. The tree is then
// laid out, shown, drawn through the frame signal and torn down, parent first, so that
// anchors left by the loader meet dead windows.
#include <PlatformTest.h>
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/WString.h"
#include "Gui/StyleRegistry.h"
#include "Gui/Window.h"
#include "Gui/WindowManager.h"
#include "tests/fuzz/FuzzText.h"

#include <cstddef>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    // The window system reads the clock (double clicks, the caret); one that stands still
    // lets every run of the fuzz check try the same inputs.
    PlatformTest_SetClock(0);
    TextDataTree doc;
    if (!LoadFuzzText(data, size, doc)) return 0;

    static const char* const kNames[] = {"a", "b", "c", "Parent", "label", "button"};
    Window* root = new Window();
    Window* children[6];
    for (int i = 0; i < 6; ++i) {
        children[i] = new Window();
        children[i]->SetName(String(kNames[i]));
        root->AddChild(children[i], false);
    }
    // A grandchild, so that loading one child's node has children of its own to find.
    children[0]->AddChild(children[1], true);

    TextDataTree::Entry* entry = doc.first;
    for (u32 i = 0; i < doc.count; ++i, entry = entry->next) {
        root->LoadWindows(entry->value);
        children[0]->LoadWindows(entry->value);
    }
    root->Show();
    root->SetRect(IntRect(1, 2, 300, 200));
    TheWindowManager().FrameSignal().Emit();
    for (Window* child : root->GetChildren()) (void)child->GetRect();

    delete root;
    for (Window* child : children) child->SetRect(IntRect(0, 0, 10, 10));
    for (Window* child : children) delete child;
    if (TheWindowManager().Count() != 0 || TheWindowManager().FrameSignal().Count() != 0) std::abort();
    TheWindowManager().Reset();
    StyleRegistry::Reset();
    return 0;
}
