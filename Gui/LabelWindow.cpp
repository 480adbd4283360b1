// The label window's tiles and states, its parameters and its frame handler (see
// LabelWindow.h). The skin reader is in LabelWindowSkin.cpp.
#include "Gui/LabelWindow.h"

#include "Core/Array.h"
#include "Core/TextNode.h"
#include "D3d/TextureManager.h"
#include "Gui/AnchorRules.h"
#include "Gui/ImageWindow.h"

#include <algorithm>

u32 LabelWindowTypeId() { return TypeIdOf<LabelWindow>(); }

LabelWindow::LabelWindow() = default;

LabelWindow::~LabelWindow() {
    EnableFrameEvents(false, false);
    // Each tile gives its quad back as it goes; the textures go after every window that
    // showed them.
    std::vector<ImageWindow*> tiles;
    tiles.swap(tiles_);
    for (ImageWindow* tile : tiles) delete tile;
    tilesByName_.Clear();
    states_.clear();
    for (Texture* texture : textures_) TheTextureManager().Release(texture);
    textures_.clear();
}

bool LabelWindow::QueryType(u32 typeId, void** out) {
    if (typeId == LabelWindowTypeId()) {
        *out = this;
        return true;
    }
    return FrameWindow::QueryType(typeId, out);
}

void LabelWindow::LoadWindows(TextNode* node) {
    if (!node) return;
    ParseSkin(node);
    AnchorRules::RemoveKey(node, "Tiles");
    AnchorRules::RemoveKey(node, "States");
    FrameWindow::LoadWindows(node);
}

void LabelWindow::SetSize(i32 width, i32 height) {
    // Tiles anchored to this window follow through the layout; their quads follow with
    // the redraw.
    FrameWindow::SetSize(width, height);
    Invalidate();
}

void LabelWindow::Hide() {
    RemoveQuads(FindState(state_));
    FrameWindow::Hide();
}

void LabelWindow::SetFloatParam(f32 value) {
    for (ImageWindow* tile : tiles_) tile->SetTextureFactor(value);
    FrameWindow::SetFloatParam(value);
}

void LabelWindow::SetIntParam(i32 value) {
    bool changed = false;
    for (ImageWindow* tile : tiles_) changed = tile->SetCombine(value) || changed;
    FrameWindow::SetIntParam(value);
    if (changed) Invalidate();
}

bool LabelWindow::OnFrame() { return ApplySkin(); }

void LabelWindow::OnEvent(WindowEvent event) { FrameWindow::OnEvent(event); }

ImageWindow* LabelWindow::FindTile(const String& name) const {
    i32 index = 0;
    if (!tilesByName_.GetInt(name, &index) || index < 1 || static_cast<u32>(index) > tiles_.size()) return nullptr;
    return tiles_[static_cast<u32>(index) - 1];
}

LabelWindow::State* LabelWindow::FindState(const String& name) {
    for (State& state : states_)
        if (String::Equals(state.name, name)) return &state;
    return nullptr;
}

const LabelWindow::State* LabelWindow::FindState(const String& name) const {
    for (const State& state : states_)
        if (String::Equals(state.name, name)) return &state;
    return nullptr;
}

LabelWindow::State& LabelWindow::GetOrCreateState(const String& name) {
    if (State* found = FindState(name)) return *found;
    states_.push_back(State{name, {}, {}});
    State& state = states_.back();
    // The parts of the name between "_" are kept as a set; nothing reads them yet.
    Array<String> parts;
    if (!name.IsEmpty() && name.Split('_', parts))
        for (i32 i = 0; i < parts.count; ++i)
            if (!parts[i].IsEmpty()) state.parts.AddName(parts[i]);
    return state;
}

const std::vector<String>* LabelWindow::StateTiles(const String& state) const {
    const State* found = FindState(state);
    return found ? &found->tiles : nullptr;
}

const PropertyMap* LabelWindow::StateParts(const String& state) const {
    const State* found = FindState(state);
    return found ? &found->parts : nullptr;
}

bool LabelWindow::AddTile(ImageWindow* tile, const String& state) {
    if (!tile) return false;
    const String& name = tile->GetName();
    // Another tile already holds the name: taking this one would leave it owned by no one.
    if (ImageWindow* holder = FindTile(name); holder && holder != tile) return false;
    if (!FindTile(name)) {
        tiles_.push_back(tile);
        tilesByName_.SetInt(name, static_cast<i32>(tiles_.size()));
        tile->SetCombine(GetIntParam());
        tile->SetTextureFactor(GetFloatParam());
    }
    // Joining the tree first: a parentless window that joins is hidden, which clears its
    // anchors, so anchors set before this call survive only when the tile is already ours.
    if (tile->GetParent() != this) AddChild(tile, false);
    tile->SetParentLayout(this);
    AddToState(state, name);
    Invalidate();
    return true;
}

void LabelWindow::AddToState(const String& state, const String& tile) {
    std::vector<String>& names = GetOrCreateState(state).tiles;
    if (std::none_of(names.begin(), names.end(), [&](const String& n) { return String::Equals(n, tile); }))
        names.push_back(tile);
}

void LabelWindow::RemoveQuads(const State* state) {
    if (!state) return;
    for (const String& name : state->tiles)
        if (ImageWindow* tile = FindTile(name)) tile->RemoveQuad();
}

void LabelWindow::SetState(const String& state) {
    if (String::Equals(state, state_)) return;
    const State* old = FindState(state_);
    const State* next = FindState(state);
    if (old) {
        for (const String& name : old->tiles) {
            const bool stays = next && std::any_of(next->tiles.begin(), next->tiles.end(),
                                                   [&](const String& n) { return String::Equals(n, name); });
            if (ImageWindow* tile = FindTile(name); tile && !stays) tile->RemoveQuad();
        }
    }
    state_ = state;
    Invalidate();
}

void LabelWindow::HoldTexture(Texture* texture) {
    if (texture) textures_.push_back(texture);
}

bool LabelWindow::ApplySkin() {
    if (const State* state = FindState(state_)) {
        for (const String& name : state->tiles)
            if (ImageWindow* tile = FindTile(name)) tile->SetupQuad();
    }
    return FrameWindow::OnFrame();
}
