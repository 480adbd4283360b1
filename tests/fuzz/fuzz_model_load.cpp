// Feeds arbitrary bytes to the model loader as a model file in memory: the reader's checks
// come first, then every block reader of the loader walks whatever tree was accepted
// (matrices, colours, lights, properties, line shapes, animation keys, meshes and skins).
// A second load of the same bytes under another name runs the merging path.
#include "Core/Path.h"
#include "Scene/AdvScene.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    AdvScene scene;
    LOADDESC first;
    first.name = String("first");
    first.flags = 0x10 | (size ? (data[0] & 0x2F) : 0);
    const patht file = patht::FromMemory(data, static_cast<u32>(size));
    if (!scene.Load(file, &first)) return 0;
    LOADDESC second;
    second.name = String("second");
    scene.Load(file, &second);
    scene.GetRoot()->CountNodes(true, true, true);
    return 0;
}
