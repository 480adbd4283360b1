#include "Screen/MessageTable.h"

#include <cstring>
#include <new>

namespace {

const char* const kKeys[] = {
#define CORVANE_MESSAGE_KEY(id, key) key,
    CORVANE_MESSAGE_KEYS(CORVANE_MESSAGE_KEY)
#undef CORVANE_MESSAGE_KEY
};
static_assert(sizeof kKeys / sizeof kKeys[0] == MessageTable::kCount);

const String& EmptyText() {
    static const String empty;
    return empty;
}

}  // namespace

MessageTable::MessageTable()
    : LoaderLU(String("Loader_LU"), true), LoaderRD(String("Loader_RD"), true), LoaderLD(String("Loader_LD"), true),
      LoaderRU(String("Loader_RU"), true) {
    for (u32 i = 0; i < kCount; ++i) texts[i] = new (std::nothrow) StringParameter(String(kKeys[i]), true);
}

MessageTable::~MessageTable() {
    for (StringParameter* text : texts) delete text;
}

const String& MessageTable::Get(Message id) const {
    const u32 i = static_cast<u32>(id);
    return i < kCount && texts[i] ? texts[i]->value : EmptyText();
}

const String* MessageTable::Find(const char* key) const {
    if (!key) return nullptr;
    for (u32 i = 0; i < kCount; ++i)
        if (std::strcmp(kKeys[i], key) == 0) return &Get(static_cast<Message>(i));
    return nullptr;
}

const char* MessageTable::Key(Message id) {
    const u32 i = static_cast<u32>(id);
    return i < kCount ? kKeys[i] : "";
}
