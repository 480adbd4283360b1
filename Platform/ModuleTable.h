// The platform's own libraries, as LoadLibraryA and GetProcAddress find them. Each source
// of a platform library names what it exports, at namespace scope:
//
//     CORVANE_PLATFORM_EXPORT("d3d9.dll", Direct3DCreate9);
//
// The line makes a static object that enters the function into the table before main
// runs. The platform is a static library linked whole (WHOLE_ARCHIVE), so such an object
// is kept even when nothing else refers to its file.
#pragma once

#include <windows.h>

namespace platform {

// One exported function of a platform library; the entries form a list that is built
// during static initialisation and never changes afterwards.
class ModuleExport {
public:
    ModuleExport(const char* library, const char* name, void* address);

    const char* library;  // the file name, as LoadLibraryA is given it ("d3d9.dll")
    const char* name;     // the export's name, matched exactly
    void* address;
    const ModuleExport* next;

    static const ModuleExport* First();
};

}  // namespace platform

#define CORVANE_PLATFORM_EXPORT_JOIN2(a, b) a##b
#define CORVANE_PLATFORM_EXPORT_JOIN(a, b) CORVANE_PLATFORM_EXPORT_JOIN2(a, b)
#define CORVANE_PLATFORM_EXPORT(library, function)                                                  \
    static ::platform::ModuleExport CORVANE_PLATFORM_EXPORT_JOIN(corvanePlatformExport_, __LINE__)( \
        library, #function, reinterpret_cast<void*>(&function))
