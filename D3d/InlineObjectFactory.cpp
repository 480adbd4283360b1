// The program-wide hook through which text elements make their inline windows.
#include "D3d/InlineObjectFactory.h"

namespace {
InlineObjectFactory* gFactory = nullptr;
}

InlineObjectFactory* TheInlineObjectFactory() { return gFactory; }

void SetInlineObjectFactory(InlineObjectFactory* factory) { gFactory = factory; }
