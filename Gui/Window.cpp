#include "Gui/Window.h"

#include "Core/TextNode.h"
#include "Gui/AnchorRules.h"
#include "Gui/StyleRegistry.h"
#include "Gui/WindowManager.h"

#include <utility>

u32 WindowTypeId() { return TypeIdOf<Window>(); }

namespace {
struct LayerEntryTag {};
}  // namespace

u32 LayerEntryTypeId() { return TypeIdOf<LayerEntryTag>(); }

WindowParams::~WindowParams() { Clear(); }

void WindowParams::Clear() {
    for (Node* n = IterBegin(); n; n = IterNext()) TextDataTree::DeleteTree(n->value);
    OrderedMap::Clear();
}

Window::Window() : childLayers_(0, 1) {}

Window::~Window() {
    if (list_) list_->Unlink(this);
    Hide();
    DisconnectFrame();
    if (parent_) parent_->RemoveChild(this);
    // The children stay alive: they belong to whoever made them.
    const std::vector<Window*> children = children_;
    for (Window* child : children) RemoveChild(child);
    KillFocus();
    TheWindowManager().Forget(this);
}

bool Window::QueryType(u32 typeId, void** out) {
    if (typeId == WindowTypeId() || typeId == LayerEntryTypeId()) {
        *out = this;
        return true;
    }
    if (typeId == ClientLayoutTypeId()) {
        *out = static_cast<ClientLayout*>(this);
        return true;
    }
    return Object::QueryType(typeId, out);
}

void Window::ConnectFrame() {
    if (frameConnection_) return;
    frameConnection_ = TheWindowManager().FrameSignal().Connect(new MemberHandler<Window>(this, &Window::OnFrame), 0, false);
}

void Window::DisconnectFrame() {
    // Deleting the connection disconnects it; the signal frees the handler once an
    // emission under way (this window's own OnFrame, perhaps) is over.
    delete frameConnection_;
    frameConnection_ = nullptr;
}

void Window::Invalidate() {
    if (visible_ && enabled_ && IsLinked() && !frameConnection_) ConnectFrame();
}

bool Window::Refresh() {
    EnableFrameEvents(true, true);
    return true;
}

void Window::EnableFrameEvents(bool on, bool recursive) {
    if (on)
        Invalidate();
    else
        DisconnectFrame();
    if (!recursive) return;
    const std::vector<Window*> children = children_;
    for (Window* child : children) child->EnableFrameEvents(on, true);
}

void Window::SetSize(i32 width, i32 height) { SetRect(IntRect(rect_.left, rect_.top, width, height)); }

void Window::SetOrigin(i32 x, i32 y) { SetRect(IntRect(x, y, rect_.right, rect_.bottom)); }

bool Window::HitTest(i32 x, i32 y) {
    IntRect rect;
    IntRect clip;
    GetAbsoluteRect(rect, clip);
    return ClassifyPointInRect(rect, x, y, true) != kPointOutside;
}

void Window::Show() {
    visible_ = true;
    if (!IsLinked()) {
        if (parent_) {
            UpdateLayers();
            parent_->childLayers_.Insert(this);
        } else {
            TheWindowManager().Insert(this);
        }
    }
    const std::vector<Window*> children = children_;
    for (Window* child : children) child->Show();
    Invalidate();
}

void Window::Hide() {
    visible_ = false;
    const std::vector<Window*> children = children_;
    for (Window* child : children) child->Hide();
    DisconnectFrame();
    if (focused_) KillFocus();
    ClearAnchors();
    // Windows anchored to this one let go of it. A derived DetachAnchors that keeps an
    // anchor would make this loop endless, so whatever is left is cleared here.
    const std::vector<ClientLayout*> dependents(Dependents().begin(), Dependents().end());
    for (ClientLayout* d : dependents) {
        if (Window* w = QueryAs<Window>(d, WindowTypeId())) w->DetachAnchors(this);
        if (Dependents().Contains(d)) d->ClearAnchorsOn(this);
    }
}

void Window::HideKeepingVisible() {
    const bool wasVisible = visible_;
    Hide();
    visible_ = wasVisible;
}

void Window::DetachAnchors(Window* target) {
    if (!target) return;
    const ClientLayout* layout = target;
    for (i32 kind = 0; kind < kAnchorCount; ++kind) {
        if (AnchorTarget(kind) != layout) continue;
        if ((kind == kAnchorX1 || kind == kAnchorY1) && parent_ && parent_ != target)
            SetAnchor(parent_, kind, 0.0f, 0.0f, kind);
        else
            ClearAnchor(kind);
    }
}

void Window::SetEnabled(bool on) {
    enabled_ = on;
    if (on)
        EnableFrameEvents(true, true);
    else
        HideKeepingVisible();
}

bool Window::SetFocus() {
    focused_ = true;
    if (!parent_) {
        TheWindowManager().SetFocus(this);
        return true;
    }
    Window* former = parent_->focusedChild_;
    if (former == this) return true;
    if (former) {
        // Only one child of a parent holds the focus.
        former->focused_ = false;
        former->RecieveEvent(WindowEvent(kWindowEventFocusLost));
    }
    parent_->focusedChild_ = this;
    RecieveEvent(WindowEvent(kWindowEventFocusGained));
    return true;
}

void Window::KillFocus() {
    if (!focused_) return;
    focused_ = false;
    RecieveEvent(WindowEvent(kWindowEventFocusLost));
    if (!parent_)
        TheWindowManager().DropFocus(this);
    else if (parent_->focusedChild_ == this)
        parent_->focusedChild_ = nullptr;
}

bool Window::OnFrame() {
    DisconnectFrame();
    return true;
}

void Window::OnEvent(WindowEvent event) {
    if (event.code == kWindowEventLeftDown) properties_.AddName(String("focused"));
}

bool Window::RecieveEvent(WindowEvent event) {
    OnEvent(event);
    return true;
}

Window* Window::GetRoot() {
    Window* w = this;
    while (w->parent_) w = w->parent_;
    return w;
}

bool Window::GetAbsoluteRect(IntRect& rect, IntRect& clip) const {
    if (!parent_) {
        rect = clip = rect_;
        return true;
    }
    IntRect parentRect;
    IntRect parentClip;
    const bool parentMeets = parent_->GetAbsoluteRect(parentRect, parentClip);
    rect = IntRect(rect_.left + parentRect.left, rect_.top + parentRect.top, rect_.right, rect_.bottom);
    if (!IntRect::Intersect(rect, parentClip, clip, true)) {
        clip = IntRect(rect.left, rect.top, 0, 0);
        return false;
    }
    return parentMeets;
}

IntPair Window::ClientToScreen(i32 x, i32 y) const {
    IntRect rect;
    IntRect clip;
    GetAbsoluteRect(rect, clip);
    return IntPair(x + rect.left, y + rect.top);
}

IntPair Window::ScreenToClient(i32 x, i32 y) const {
    IntRect rect;
    IntRect clip;
    GetAbsoluteRect(rect, clip);
    return IntPair(x - rect.left, y - rect.top);
}

Window* Window::FindChild(const String& name) const {
    for (Window* child : children_)
        if (String::Equals(child->name_, name)) return child;
    return nullptr;
}

void Window::AddChild(Window* child, bool resetAnchors) {
    if (!child || child->parent_ == this) return;
    // A window cannot hold one of its ancestors: the tree would become a ring.
    for (const Window* w = this; w; w = w->parent_)
        if (w == child) return;
    if (child->parent_) {
        child->parent_->RemoveChild(child);
    } else {
        if (child->list_) child->list_->Unlink(child);
        child->HideKeepingVisible();
    }
    children_.push_back(child);
    child->parent_ = this;
    child->SetParentLayout(this);
    children.AddUnique(child);
    UpdateLayers();
    childLayers_.Insert(child);
    if (resetAnchors) {
        child->SetAnchor(this, kAnchorX1, 0.0f, 0.0f, kAnchorX1);
        child->SetAnchor(this, kAnchorY1, 0.0f, 0.0f, kAnchorY1);
        child->ClearAnchor(kAnchorX2);
        child->ClearAnchor(kAnchorY2);
    }
}

void Window::RemoveChild(Window* child) {
    if (!child || child->parent_ != this) return;
    children.RemoveAll(child);
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (*it == child) {
            children_.erase(it);
            break;
        }
    }
    if (child->list_) child->list_->Unlink(child);
    child->HideKeepingVisible();
    // A removed child no longer holds the focus of this window's children.
    if (focusedChild_ == child) focusedChild_ = nullptr;
    child->parent_ = nullptr;
    child->SetParentLayout(nullptr);
    UpdateLayers();
}

i32 Window::SubtreeLayers() const {
    i32 layers = ownLayers_;
    for (const Window* child : children_) layers += child->SubtreeLayers();
    return layers;
}

void Window::SetLayerSpan(i32 n) {
    if (!IsLinked() || n == layerSpan_) {
        layerSpan_ = n;
        return;
    }
    // A placeholder of no span keeps this window's place while it is linked in again
    // with its new span.
    LayerList* list = list_;
    Window placeholder;
    placeholder.layerSpan_ = 0;
    const bool held = list->InsertNear(&placeholder, this);
    list->Unlink(this);
    layerSpan_ = n;
    if (held) {
        list->InsertNear(this, &placeholder);
        list->Unlink(&placeholder);
    } else {
        list->Insert(this);
    }
}

void Window::UpdateLayers() {
    if (parent_) parent_->UpdateLayers();
    SetLayerSpan(SubtreeLayers());
    childLayers_.SetBand(layerSpan_ - 1, ownLayers_);
    childLayers_.Pack(false);
    if (!parent_) EnableFrameEvents(true, true);
}

void Window::SetOwnLayers(i32 n) {
    ownLayers_ = n;
    UpdateLayers();
}

i32 Window::AbsoluteLayer() const {
    i32 below = 0;
    const Window* w = this;
    for (; w->parent_; w = w->parent_) below += w->layerOffset_;
    return w->layerOffset_ - below;
}

i32 Window::LayerFromTop() const {
    i32 below = 0;
    for (const Window* w = this; w->parent_; w = w->parent_) below += w->layerOffset_;
    return below;
}

namespace {
// The clipped absolute rectangle of a child under a window whose absolute rectangle and
// clip are given; an empty clip gives a zero-sized rectangle.
IntRect ClippedChild(const IntRect& ownAbs, const IntRect& ownClip, const IntRect& child) {
    const IntRect abs(child.left + ownAbs.left, child.top + ownAbs.top, child.right, child.bottom);
    IntRect clip;
    if (!IntRect::Intersect(abs, ownClip, clip, true)) return IntRect(0, 0, 0, 0);
    return clip;
}
i32 Limit(i32 v, i32 lo, i32 hi) {
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    return v;
}
}  // namespace

void Window::SetRect(IntRect rect) {
    IntRect oldAbs;
    IntRect oldClip;
    GetAbsoluteRect(oldAbs, oldClip);
    rect.right = Limit(rect.right, minSize_.x, maxSize_.x);
    rect.bottom = Limit(rect.bottom, minSize_.y, maxSize_.y);
    ClientLayout::SetRect(rect);
    IntRect newAbs;
    IntRect newClip;
    GetAbsoluteRect(newAbs, newClip);
    const std::vector<Window*> children = children_;
    for (Window* child : children) {
        if (child->HasPendingRedraw()) continue;
        const IntRect before = ClippedChild(oldAbs, oldClip, child->rect_);
        const IntRect after = ClippedChild(newAbs, newClip, child->rect_);
        if (IntRect::NotEquals(before, after)) child->Invalidate();
    }
    Invalidate();
}

void Window::MapRect(IntRect outer, IntRect inner, bool convert, const f32 target[4], f32 out[4]) {
    if (convert) {
        outer.ToCorners();
        inner.ToCorners();
    }
    const f32 ow = static_cast<f32>(static_cast<i64>(outer.right) - outer.left);
    const f32 oh = static_cast<f32>(static_cast<i64>(outer.bottom) - outer.top);
    const f32 tw = target[2] - target[0];
    const f32 th = target[3] - target[1];
    // A zero-sized outer rectangle would divide by zero; nothing of it can be shown.
    const f32 fx = ow == 0.0f ? 0.0f : tw / ow;
    const f32 fy = oh == 0.0f ? 0.0f : th / oh;
    out[0] = target[0] + static_cast<f32>(static_cast<i64>(inner.left) - outer.left) * fx;
    out[1] = target[1] + static_cast<f32>(static_cast<i64>(inner.top) - outer.top) * fy;
    out[2] = target[0] + static_cast<f32>(static_cast<i64>(inner.right) - outer.left) * fx;
    out[3] = target[1] + static_cast<f32>(static_cast<i64>(inner.bottom) - outer.top) * fy;
}

bool Window::SetParam(const String& name, const TextNode& value) {
    TextNode* copy = new TextNode();
    if (!copy->CopyFrom(value)) {
        delete copy;
        return false;
    }
    if (WindowParams::Node* node = params_.Find(name)) {
        TextDataTree::DeleteTree(node->value);
        node->value = copy;
        return true;
    }
    params_.Insert(name, copy);
    return true;
}

const TextNode* Window::GetParam(const String& name) const {
    const WindowParams::Node* node = params_.Find(name);
    return node ? node->value : nullptr;
}

void Window::AttachStyle(const PropertyMap* style) {
    if (!style) return;
    for (const PropertyMap* present : styles_)
        if (present == style) return;
    styles_.push_back(style);
    const PropertyMap::Node* n = style->first;
    for (u32 i = 0; i < style->count; ++i, n = n->next) styleIndex_.Insert(n->key, style);
}

const PropertyMap* Window::StyleOf(const String& key) const {
    const auto* node = styleIndex_.Find(key);
    return node ? node->value : nullptr;
}

namespace {
struct WaitingAnchor {
    String name;  // the sibling it waits for
    Window* owner;
    i32 kind;
};
}  // namespace

void Window::LoadWindows(TextNode* node) {
    if (!node) return;
    if (const TextNode* frame = node->GetChild("WindowFrame")) {
        IntRect r(TextNode::IntOf(frame->GetChild("x1")), TextNode::IntOf(frame->GetChild("y1")),
                  TextNode::IntOf(frame->GetChild("x2")), TextNode::IntOf(frame->GetChild("y2")));
        if (const TextNode* w = frame->GetChild("w")) r.right = w->GetInt();
        if (const TextNode* h = frame->GetChild("h")) r.bottom = h->GetInt();
        SetRect(r);
        AnchorRules::RemoveKey(node, "WindowFrame");
    }
    if (const TextNode* windows = node->GetChild("Windows")) {
        // Siblings configured so far, by name; anchors on a sibling configured later wait.
        OrderedMap<String, Window*, StringOrder> configured;
        std::vector<Window*> order;
        std::vector<WaitingAnchor> waiting;
        const TextDataTree::Entry* entry = windows->first;
        for (u32 i = 0; i < windows->count; ++i, entry = entry->next) {
            const String childName = String::FromWString(entry->key);
            Window* child = FindChild(childName);
            if (!child || !entry->value) continue;
            for (auto it = waiting.begin(); it != waiting.end();) {
                if (String::Equals(it->name, childName)) {
                    AnchorRules::Retarget(*it->owner, it->kind, child);
                    it = waiting.erase(it);
                } else {
                    ++it;
                }
            }
            const TextNode* config = entry->value;
            AnchorRules rules;
            rules.width = AnchorRules::ReadRule(config->GetChild("width"), rules.width);
            rules.height = AnchorRules::ReadRule(config->GetChild("height"), rules.height);
            std::vector<std::pair<String, i32>> pending;
            if (const TextNode* anchors = config->GetChild("anchors")) {
                const TextDataTree::Entry* a = anchors->first;
                for (u32 j = 0; j < anchors->count; ++j, a = a->next) {
                    if (!a->value) continue;
                    const i32 kind = AnchorRules::KindOf(a->key);
                    const String target = String::FromWString(TextNode::StringOf(a->value->GetChild("window")));
                    rules.targets[kind] = nullptr;
                    if (String::EqualsText(target, "Parent")) {
                        rules.targets[kind] = this;
                    } else if (const auto* known = configured.Find(target)) {
                        rules.targets[kind] = known->value;
                    } else if (!target.IsEmpty()) {
                        pending.emplace_back(target, kind);
                    }
                    if (const TextNode* align = a->value->GetChild("align")) rules.sides[kind] = AnchorRules::KindOf(align->value);
                    rules.offsets[kind] = AnchorRules::ReadRule(a->value->GetChild("offset"), LayoutRule{});
                }
            }
            rules.ApplyTo(*child);
            for (const auto& p : pending) waiting.push_back({p.first, child, p.second});
            configured.Insert(childName, child);
            order.push_back(child);
        }
        // The loaded rules take effect at once; a sibling that moves re-lays its followers.
        for (Window* child : order) child->Relayout(true, true);
        AnchorRules::RemoveKey(node, "Windows");
    }
    if (const TextNode* styles = node->GetChild("Styles")) {
        const TextDataTree::Entry* entry = styles->first;
        for (u32 i = 0; i < styles->count; ++i, entry = entry->next)
            if (entry->value) AttachStyle(&StyleRegistry::GetOrCreate(String::FromWString(entry->value->value)));
        AnchorRules::RemoveKey(node, "Styles");
    }
    const TextDataTree::Entry* entry = node->first;
    for (u32 i = 0; i < node->count; ++i, entry = entry->next)
        if (entry->value) SetParam(String::FromWString(entry->key), *entry->value);
}
