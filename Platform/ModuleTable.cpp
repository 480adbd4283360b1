// Libraries loaded at run time. A name is first looked for among the platform's own
// libraries, which are functions linked into the program; anything else is a shared
// object on disk, loaded with the system's dynamic loader, as the audio library is after
// the program writes it to a temporary file.
//
// The platform's libraries and their exports are the one table below, each function named
// by its declaration in the system header. The table's reference keeps the function's file
// in the program: nothing depends on the linker keeping files that nothing else refers to,
// and an export left out of the table is missing from every run and every test alike.
//
// Like Windows, the loader counts the uses of each library: LoadLibraryA of a loaded
// library gives the same handle again, and only the last FreeLibrary unloads it. A handle
// is the address of the library's record, so a freed one is recognised and refused.
#include <PlatformTestWindows.h>
#include <d3d9.h>
#include <d3dx9.h>
#include <dinput.h>
#include <windows.h>

#include <ctype.h>
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <list>
#include <set>
#include <string>
#include <vector>

namespace platform {

namespace {

bool SameText(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b))) return false;
        if (!*a) return true;
    }
}

// One exported function of a platform library.
struct ModuleExport {
    const char* library;  // the file name, as LoadLibraryA is given it ("d3d9.dll")
    const char* name;     // the export's name, matched exactly
    void* address;
};

// The function's own name is its export's name.
#define EXPORT(library, function) ModuleExport{library, #function, reinterpret_cast<void*>(&function)}

// Every export of every platform library.
const ModuleExport kExports[] = {
    EXPORT("d3d9.dll", Direct3DCreate9),
    EXPORT("dinput8.dll", DirectInput8Create),
    // What the engine looks up of D3DX; the tests call the rest of it directly.
    EXPORT("d3dx9_43.dll", D3DXComputeBoundingBox),
    EXPORT("d3dx9_43.dll", D3DXComputeNormalMap),
    EXPORT("d3dx9_43.dll", D3DXCreateCubeTexture),
    EXPORT("d3dx9_43.dll", D3DXCreateCubeTextureFromFileExA),
    EXPORT("d3dx9_43.dll", D3DXCreateCubeTextureFromFileInMemoryEx),
    EXPORT("d3dx9_43.dll", D3DXCreateEffect),
    EXPORT("d3dx9_43.dll", D3DXCreateEffectCompiler),
    EXPORT("d3dx9_43.dll", D3DXCreateEffectPool),
    EXPORT("d3dx9_43.dll", D3DXCreateMesh),
    EXPORT("d3dx9_43.dll", D3DXCreateTexture),
    EXPORT("d3dx9_43.dll", D3DXCreateTextureFromFileExA),
    EXPORT("d3dx9_43.dll", D3DXCreateTextureFromFileInMemoryEx),
    EXPORT("d3dx9_43.dll", D3DXDeclaratorFromFVF),
    EXPORT("d3dx9_43.dll", D3DXFVFFromDeclarator),
    EXPORT("d3dx9_43.dll", D3DXFilterTexture),
    EXPORT("d3dx9_43.dll", D3DXLoadSurfaceFromFileA),
    EXPORT("d3dx9_43.dll", D3DXLoadSurfaceFromFileInMemory),
    EXPORT("d3dx9_43.dll", D3DXMatrixInverse),
    EXPORT("d3dx9_43.dll", D3DXMatrixLookAtLH),
    EXPORT("d3dx9_43.dll", D3DXMatrixMultiply),
    EXPORT("d3dx9_43.dll", D3DXMatrixOrthoLH),
    EXPORT("d3dx9_43.dll", D3DXMatrixPerspectiveFovLH),
    EXPORT("d3dx9_43.dll", D3DXMatrixRotationAxis),
    EXPORT("d3dx9_43.dll", D3DXMatrixRotationQuaternion),
    EXPORT("d3dx9_43.dll", D3DXMatrixRotationX),
    EXPORT("d3dx9_43.dll", D3DXMatrixRotationY),
    EXPORT("d3dx9_43.dll", D3DXMatrixScaling),
    EXPORT("d3dx9_43.dll", D3DXMatrixTranslation),
    EXPORT("d3dx9_43.dll", D3DXQuaternionRotationMatrix),
    EXPORT("d3dx9_43.dll", D3DXQuaternionSlerp),
    EXPORT("d3dx9_43.dll", D3DXSaveTextureToFileA),
    EXPORT("d3dx9_43.dll", D3DXVec3TransformCoord),
};

#undef EXPORT

// Exports that tests add (PlatformTest_AddLibraryExport), until the modules are reset.
std::vector<ModuleExport>& AddedExports() {
    static std::vector<ModuleExport> added;
    return added;
}

// The address a library exports under that name, or null; with no name, any export of
// the library (to tell a platform library from a file on disk). The table first, then
// what tests added.
void* FindExport(const char* library, const char* name) {
    const auto matches = [&](const ModuleExport& e) {
        return SameText(e.library, library) && (!name || strcmp(e.name, name) == 0);
    };
    for (const ModuleExport& e : kExports)
        if (matches(e)) return e.address;
    for (const ModuleExport& e : AddedExports())
        if (matches(e)) return e.address;
    return nullptr;
}

// The file name of a library as Windows reads it: the last part of the path, lower case,
// with ".dll" added when it has no extension and a trailing dot meaning "no extension".
std::string FileName(const char* name) {
    const char* start = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/') start = p + 1;
    std::string file;
    for (const char* p = start; *p; ++p) file += static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    if (!file.empty() && file.back() == '.')
        file.pop_back();
    else if (file.find('.') == std::string::npos)
        file += ".dll";
    return file;
}

bool IsPlatformLibrary(const std::string& file) { return FindExport(file.c_str(), nullptr) != nullptr; }

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    std::string folder(path);
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

// Where a shared object of that name is: the path itself, or for a bare name the current
// folder and then the program's folder, as Windows searches. Empty when it is nowhere.
std::string Locate(const char* name) {
    std::string path(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    const size_t slash = path.rfind('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!file.empty() && file.back() == '.')
        path.pop_back();
    else if (file.find('.') == std::string::npos)
        path += ".dll";
    std::list<std::string> candidates;
    if (slash != std::string::npos) {
        candidates.push_back(path);
    } else {
        candidates.push_back("./" + path);
        candidates.push_back(ExecutableFolder() + "/" + path);
    }
    for (const std::string& candidate : candidates) {
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return candidate;
    }
    return {};
}

struct Module {
    std::string key;  // a platform library's file name, or a shared object's real path
    bool platformLibrary = false;
    void* handle = nullptr;  // from dlopen
    int uses = 0;
};

class Loader {
public:
    static Loader& Get() {
        static Loader loader;
        return loader;
    }

    HMODULE Load(const char* name) {
        if (!name) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        const std::string file = FileName(name);
        if (!name[0] || absent.count(file)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        if (IsPlatformLibrary(file)) return Use(file, true, nullptr);
        const std::string path = Locate(name);
        if (path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        char real[PATH_MAX];
        const std::string key = realpath(path.c_str(), real) ? std::string(real) : path;
        if (Module* m = FindKey(key)) {
            ++m->uses;
            return Handle(*m);
        }
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            // There is a file, but not one the loader can use.
            const char* why = dlerror();
            fprintf(stderr, "LoadLibraryA: %s cannot be loaded: %s\n", path.c_str(), why ? why : "unknown reason");
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return nullptr;
        }
        return Use(key, false, handle);
    }

    Module* Find(HMODULE module) {
        for (Module& m : loaded)
            if (Handle(m) == module) return &m;
        return nullptr;
    }

    Module* FindKey(const std::string& key) {
        for (Module& m : loaded)
            if (m.key == key) return &m;
        return nullptr;
    }

    bool Free(HMODULE module) {
        for (auto it = loaded.begin(); it != loaded.end(); ++it) {
            if (Handle(*it) != module) continue;
            if (--it->uses == 0) {
                if (it->handle) dlclose(it->handle);
                loaded.erase(it);
            }
            return true;
        }
        return false;
    }

    void Reset() {
        for (Module& m : loaded)
            if (m.handle) dlclose(m.handle);
        loaded.clear();
        absent.clear();
    }

    static HMODULE Handle(Module& m) { return reinterpret_cast<HMODULE>(&m); }

    std::set<std::string> absent;

private:
    HMODULE Use(const std::string& key, bool platformLibrary, void* handle) {
        if (Module* m = FindKey(key)) {
            ++m->uses;
            return Handle(*m);
        }
        loaded.push_back(Module{key, platformLibrary, handle, 1});
        return Handle(loaded.back());
    }

    std::list<Module> loaded;  // a list, so that records, and with them handles, stay put
};

// The program itself, which exports nothing.
char executableModule;

}  // namespace

}  // namespace platform

using platform::Loader;

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) { return Loader::Get().Load(lpLibFileName); }

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    const HMODULE program = reinterpret_cast<HMODULE>(&platform::executableModule);
    platform::Module* m = nullptr;
    if (hModule && hModule != program) {
        m = Loader::Get().Find(hModule);
        if (!m) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    // Exports are found by name only; ordinals name nothing here.
    if (!m || !lpProcName || IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* address = m->platformLibrary ? platform::FindExport(m->key.c_str(), lpProcName) : dlsym(m->handle, lpProcName);
    if (!address) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    if (hLibModule == reinterpret_cast<HMODULE>(&platform::executableModule)) return TRUE;
    if (!Loader::Get().Free(hLibModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (!lpModuleName) return reinterpret_cast<HMODULE>(&platform::executableModule);
    Loader& loader = Loader::Get();
    const std::string file = platform::FileName(lpModuleName);
    platform::Module* m = loader.FindKey(file);
    if (!m) {
        // A shared object is known by its path; compare file names.
        const std::string path = platform::Locate(lpModuleName);
        char real[PATH_MAX];
        if (!path.empty() && realpath(path.c_str(), real)) m = loader.FindKey(real);
    }
    if (!m) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Loader::Handle(*m);
}

void PlatformTest_SetLibraryAbsent(const char* name, bool absent) {
    if (!name) return;
    const std::string file = platform::FileName(name);
    if (absent)
        Loader::Get().absent.insert(file);
    else
        Loader::Get().absent.erase(file);
}

void PlatformTest_AddLibraryExport(const char* library, const char* name, void* address) {
    if (library && name) platform::AddedExports().push_back(platform::ModuleExport{library, name, address});
}

void PlatformTest_ResetModules() {
    Loader::Get().Reset();
    platform::AddedExports().clear();
}
