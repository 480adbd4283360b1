#include "Gui/StyleRegistry.h"

#include "Core/OrderedMap.h"

namespace {
// Styles by name; each style lives at a fixed address for the windows that hold it.
class StyleTable : public OrderedMap<String, PropertyMap*, StringOrder> {
public:
    ~StyleTable() override { Clear(); }
    void Clear() override {
        for (Node* n = IterBegin(); n; n = IterNext()) delete n->value;
        OrderedMap::Clear();
    }
};
StyleTable& Table() {
    static StyleTable table;
    return table;
}
}  // namespace

PropertyMap& StyleRegistry::GetOrCreate(const String& name) {
    StyleTable& table = Table();
    if (StyleTable::Node* node = table.Find(name)) return *node->value;
    PropertyMap* style = new PropertyMap();
    table.Insert(name, style);
    return *style;
}

bool StyleRegistry::Contains(const String& name) { return Table().Contains(name); }

void StyleRegistry::Reset() { Table().Clear(); }
