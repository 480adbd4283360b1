// Triangle order for the post-transform vertex cache, used by the D3DX9 mesh's
// OptimizeInplace on the Linux build.
#pragma once

#include <stdint.h>

// Writes into order (faceCount entries) the face numbers 0 to faceCount - 1 in an order
// that reuses recently used vertices; indices holds three vertex numbers per face, each
// below vertexCount. False, with order untouched, when memory runs out.
bool OrderFacesForVertexCache(const uint32_t* indices, uint32_t faceCount, uint32_t vertexCount, uint32_t* order);
