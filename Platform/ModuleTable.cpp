// Libraries loaded at run time. A name is first looked for among the platform's own
// libraries, which are tables of functions linked into the program (see ModuleTable.h);
// anything else is a shared object on disk, loaded with the system's dynamic loader, as
// the audio library is after the program writes it to a temporary file.
//
// Like Windows, the loader counts the uses of each library: LoadLibraryA of a loaded
// library gives the same handle again, and only the last FreeLibrary unloads it. A handle
// is the address of the library's record, so a freed one is recognised and refused.
#include "ModuleTable.h"

#include <PlatformTestWindows.h>

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

namespace platform {

namespace {

constinit const ModuleExport* firstExport = nullptr;

bool SameText(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b))) return false;
        if (!*a) return true;
    }
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

bool IsPlatformLibrary(const std::string& file) {
    for (const ModuleExport* e = ModuleExport::First(); e; e = e->next)
        if (SameText(e->library, file.c_str())) return true;
    return false;
}

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

ModuleExport::ModuleExport(const char* library_, const char* name_, void* address_)
    : library(library_), name(name_), address(address_), next(firstExport) {
    firstExport = this;
}

const ModuleExport* ModuleExport::First() { return firstExport; }

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
    void* address = nullptr;
    if (m->platformLibrary) {
        for (const platform::ModuleExport* e = platform::ModuleExport::First(); e && !address; e = e->next)
            if (platform::SameText(e->library, m->key.c_str()) && strcmp(e->name, lpProcName) == 0) address = e->address;
    } else {
        address = dlsym(m->handle, lpProcName);
    }
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

void PlatformTest_ResetModules() { Loader::Get().Reset(); }
