// Every Linux test runs under the program-state watch (tests/ProgramStateWatch.h), which
// here also counts what the platform layer holds: Direct3D, COM and GDI objects alive, the
// cursor's counter, the registry file and the environment the saver reads.
#include "tests/ProgramStateWatch.h"

#include <PlatformTestCom.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestGdi.h>
#include <PlatformTestRegistry.h>
#include <PlatformTestWindows.h>

#include <stdlib.h>

namespace {

const char* const kKindNames[] = {"Direct3D objects", "devices", "vertex buffers", "index buffers", "surfaces",
                                  "vertex declarations", "vertex shaders", "pixel shaders", "state blocks",
                                  "queries", "swap chains", "textures", "cube textures"};
static_assert(sizeof kKindNames / sizeof kKindNames[0] == static_cast<size_t>(PlatformTestD3d9Kind::Count));

void TakePlatform(programstate::Snapshot& into) {
    for (size_t k = 0; k < static_cast<size_t>(PlatformTestD3d9Kind::Count); ++k)
        programstate::Put(into, std::string("live ") + kKindNames[k],
                          PlatformTest_D3d9LiveObjects(static_cast<PlatformTestD3d9Kind>(k)));
    programstate::Put(into, "live COM objects", PlatformTest_ComLiveObjects());
    programstate::Put(into, "live GDI objects", PlatformTest_GdiObjectCount());
    programstate::Put(into, "the cursor's counter", PlatformTest_CursorCounter());
    programstate::Put(into, "the registry file", PlatformTest_RegistryFile());
    for (const char* name : {"TMPDIR", "HOME", "CORVANE_REGISTRY_FILE", "CORVANE_AUDIO_STANDIN_LOG", "CORVANE_EXIT_AFTER_MS"}) {
        const char* value = getenv(name);
        programstate::Put(into, std::string("the environment's ") + name, value ? value : "(unset)");
    }
}

const bool installed = programstate::Install({programstate::TakeEngine, TakePlatform});

}  // namespace
