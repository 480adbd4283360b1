// Charset loading and glyph lookup (see Charset.h).
#include "D3d/Charset.h"

Charset::~Charset() { Clear(); }

bool Charset::Load(const patht&) { return false; }
bool Charset::LoadFromTree(const TextDataTree&, const patht&) { return false; }
void Charset::Clear() {}
IntPair Charset::GetCharSize(uint16_t) { return IntPair(0, charHeight); }
CharRect Charset::GetCharRect(uint16_t) { return CharRect(); }
CharRect Charset::GetCharTexCoords(uint16_t, float, float, float, float) { return CharRect(); }
int32_t Charset::SlotOf(uint16_t) { return -1; }
bool Charset::GrowTables(int32_t) { return false; }
