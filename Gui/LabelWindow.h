// A frame window dressed with tiles: image windows grouped into named states, of which
// the current one is drawn. A skin in the window's configuration supplies the tiles
// (ParseSkin), or code adds them (AddTile); the text windows build label windows in code.
//
// The label window owns its tiles and the textures its skin loaded (a tile's image window
// takes no reference). Every tile added joins the state with the empty name, so a label
// window without states, or in its starting state, shows all of its tiles. Only the tiles
// of the current state have quads: switching states and hiding drop the others', so no
// quad of a tile that is not shown stays in the window manager.
//
// Its integer parameter is the combine kind of every tile, its float parameter their
// texture factor.
#pragma once

#include "Core/String.h"
#include "Core/Types.h"
#include "Gui/FrameWindow.h"
#include "Gui/PropertyMap.h"

#include <vector>

class ImageWindow;
class TextNode;
class Texture;

u32 LabelWindowTypeId();

class LabelWindow : public FrameWindow {
public:
    LabelWindow();
    // Deletes the tiles, then releases the textures the skin loaded.
    ~LabelWindow() override;

    // Reads the skin ("Tiles", "States", removed from the node), then the frame window's
    // keys.
    void LoadWindows(TextNode* node) override;
    void SetSize(i32 width, i32 height) override;
    // Drops the quads of the current state's tiles, then hides the window.
    void Hide() override;
    // The texture factor of every tile.
    void SetFloatParam(f32 value) override;
    // The combine kind of every tile; a tile whose kind changes rebuilds its quad.
    void SetIntParam(i32 value) override;
    // ApplySkin.
    bool OnFrame() override;
    void OnEvent(WindowEvent event) override;
    bool QueryType(u32 typeId, void** out) override;

    // Builds tiles and states from a skin node; the tiles' anchors may name tiles defined
    // later, or "PARENT" for this window. True (a malformed member is skipped).
    bool ParseSkin(const TextNode* node);

    // Registers the tile under its name (once; the label window then owns it), makes it a
    // child laid out in this window, and adds its name to the state (created when missing).
    // False for a null tile or a name another tile holds (the caller keeps that tile).
    bool AddTile(ImageWindow* tile, const String& state);
    // Sets up the quads of the current state's tiles (names of missing tiles are skipped),
    // then ends the redraw as every window does.
    bool ApplySkin();

    // Shows another state: the tiles that leave drop their quads, and a redraw follows.
    void SetState(const String& state);
    const String& CurrentState() const { return state_; }

    // Keeps a reference the skin took (released with the window).
    void HoldTexture(Texture* texture);

    ImageWindow* FindTile(const String& name) const;
    const std::vector<ImageWindow*>& Tiles() const { return tiles_; }
    // The tile names of a state, or null when there is no such state.
    const std::vector<String>* StateTiles(const String& state) const;
    u32 StateCount() const { return static_cast<u32>(states_.size()); }
    // The parts of a state's name split at "_" (a set of names), or null.
    const PropertyMap* StateParts(const String& state) const;

private:
    struct State {
        String name;
        std::vector<String> tiles;
        PropertyMap parts;
    };
    State* FindState(const String& name);
    const State* FindState(const String& name) const;
    State& GetOrCreateState(const String& name);
    // Adds a tile name to a state (created when missing) unless it is there.
    void AddToState(const String& state, const String& tile);
    void RemoveQuads(const State* state);

    std::vector<ImageWindow*> tiles_;
    PropertyMap tilesByName_;  // name -> index + 1 in tiles_
    std::vector<State> states_;
    String state_;
    std::vector<Texture*> textures_;
};
