// Temporary: the frame of the product scene draws nothing yet, so that the scene links.
#include "Dunmerrow/Dunmerrow.h"

bool Dunmerrow::RenderScene() { return true; }
