// Loading the product scene (being built): for now it loads nothing.
#include "Dunmerrow/Dunmerrow.h"

bool Dunmerrow::LoadCustom() { return true; }
