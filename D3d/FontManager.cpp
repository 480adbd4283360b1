// Font loading and charset choice (see FontManager.h).
#include "D3d/FontManager.h"

#include "D3d/Charset.h"

FontManager::~FontManager() { Clear(); }

bool FontManager::LoadFont(const patht&, uint32_t) { return false; }
bool FontManager::LoadFontFromTree(const TextDataTree&, const patht&, uint32_t) { return false; }
Charset* FontManager::FindCharset(uint16_t, const TextStyle&) { return nullptr; }
Charset* FontManager::GetDefaultCharset() { return nullptr; }
FontManager::Entry* FontManager::FindEntry(const TextStyle&) { return nullptr; }
void FontManager::Clear() {}
