#include "Gui/LayerList.h"

#include "Gui/Window.h"

LayerList::~LayerList() {
    while (first_) Unlink(first_->window);
}

Window* LayerList::First() const { return first_ ? first_->window : nullptr; }

Window* LayerList::Last() const { return first_ ? first_->prev->window : nullptr; }

Window* LayerList::Next(const Window* window) const {
    if (!window || window->list_ != this) return nullptr;
    LayerList::Node* next = window->listNode_->next;
    return next == first_ ? nullptr : next->window;
}

Window* LayerList::Prev(const Window* window) const {
    if (!window || window->list_ != this) return nullptr;
    LayerList::Node* node = window->listNode_;
    return node == first_ ? nullptr : node->prev->window;
}

Window* LayerList::CursorWindow() const { return cursor_ ? cursor_->window : nullptr; }

void LayerList::LinkBefore(Node* at, Node* node) {
    if (!first_) {
        node->prev = node->next = node;
        first_ = node;
    } else {
        Node* before = at ? at : first_;  // appending is linking before the first, round the ring
        node->next = before;
        node->prev = before->prev;
        before->prev->next = node;
        before->prev = node;
        if (at == first_) first_ = node;
    }
    ++count_;
}

void LayerList::Place(Window* window, i32 offset) {
    window->layerOffset_ = offset;
    window->Refresh();
}

bool LayerList::Insert(Window* window) {
    if (!window || window->list_) return false;
    if (first_) return InsertNear(window, CursorWindow());
    // An empty band: the window fits unless its span exceeds the band by more than one.
    if (top_ - bottom_ - window->layerSpan_ < -1) return false;
    Node* node = new Node{window, nullptr, nullptr};
    LinkBefore(nullptr, node);
    window->list_ = this;
    window->listNode_ = node;
    sumOfSpans_ += window->layerSpan_;
    cursor_ = node;
    Spread();
    return true;
}

bool LayerList::InsertNear(Window* window, Window* neighbour) {
    if (!window || window->list_ || !neighbour || neighbour->list_ != this) return false;
    const i32 span = window->layerSpan_;
    Node* const at = neighbour->listNode_;
    Node* low = at;
    Node* high = at;
    i64 free = 0;
    i32 walked = 1;
    // Downwards from the neighbour, then upwards, until the gaps hold the new span.
    for (;;) {
        const bool atStart = low == first_;
        const i64 below = atStart ? bottom_ - 1 : low->prev->window->layerOffset_;
        free += static_cast<i64>(low->window->layerOffset_) - low->window->layerSpan_ - below;
        if (free >= span || atStart) break;
        low = low->prev;
        ++walked;
    }
    while (free < span) {
        const bool atEnd = high->next == first_;
        const i64 above = atEnd ? top_ : static_cast<i64>(high->next->window->layerOffset_) - high->next->window->layerSpan_;
        free += above - high->window->layerOffset_;
        if (free >= span || atEnd) break;
        high = high->next;
        ++walked;
    }
    if (free < span) return false;  // no room: the list and the window stay as they were

    const i64 step = (free - span) / (walked + 2);
    i64 position = low == first_ ? bottom_ - 1 : low->prev->window->layerOffset_;
    Node* node = new Node{window, nullptr, nullptr};
    for (Node* n = low;; n = n->next) {
        if (n == at) {
            LinkBefore(at, node);
            window->list_ = this;
            window->listNode_ = node;
            position += step + span;
            Place(window, static_cast<i32>(position));
        }
        position += step + n->window->layerSpan_;
        Place(n->window, static_cast<i32>(position));
        if (n == high) break;
    }
    sumOfSpans_ += span;
    cursor_ = node;
    return true;
}

void LayerList::Unlink(Window* window) {
    if (!window || window->list_ != this) return;
    Node* node = window->listNode_;
    if (node->next == node) {
        first_ = cursor_ = nullptr;
    } else {
        node->prev->next = node->next;
        node->next->prev = node->prev;
        if (first_ == node) first_ = node->next;
        if (cursor_ == node) cursor_ = node->next;
    }
    --count_;
    sumOfSpans_ -= window->layerSpan_;
    delete node;
    window->list_ = nullptr;
    window->listNode_ = nullptr;
    window->layerOffset_ = -1;
}

void LayerList::Spread() {
    if (!first_) return;
    const i32 gap = (top_ - sumOfSpans_ - bottom_ + 1) / static_cast<i32>(count_ + 1);
    i32 position = bottom_ + gap - 1;
    Node* n = first_;
    do {
        position += n->window->layerSpan_;
        Place(n->window, position);
        position += gap;
        n = n->next;
    } while (n != first_);
}

void LayerList::Pack(bool fromBottom) {
    if (!first_) return;
    i32 start = fromBottom ? bottom_ - 1 : top_ - sumOfSpans_;
    Node* n = first_;
    do {
        start += n->window->layerSpan_;
        Place(n->window, start);
        n = n->next;
    } while (n != first_);
}
