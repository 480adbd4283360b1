// The registry of Windows, kept in a file of our own under the user's configuration
// folder. Keys and value names compare without regard to case, paths are separated by
// backslashes, values keep their type and bytes. Changes are held in memory and written
// when a changed key is closed or flushed, and at exit; the file is always replaced as a
// whole (a new file renamed over the old one), so a crash never leaves it half written.
// A file that cannot be read in full counts as far as it is valid.
#include <windows.h>
#include <PlatformTestRegistry.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using Name = std::u16string;

// Limits of Windows: a key name of 255 characters, a value name of 16383, 512 levels.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr size_t kMaxDepth = 512;
// Beyond the documented limits: a bound on what one value and the file may hold, so
// that a damaged file or a runaway caller cannot exhaust memory.
constexpr DWORD kMaxValueBytes = 64u << 20;
constexpr off_t kMaxFileBytes = 256 << 20;

constexpr char kMagic[8] = {'C', 'V', 'R', 'E', 'G', '0', '0', '1'};
constexpr int kRootCount = 5;

struct Value {
    Name name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    Name name;
    std::vector<Value> values;
    std::vector<std::unique_ptr<Key>> subkeys;
};

struct Handle {
    int root = 0;
    std::vector<Name> path;  // below the root
    REGSAM access = 0;
};

char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    if (c == 0xFF) return 0x178;
    return c;
}

bool SameName(const Name& a, const Name& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

Name Folded(const Name& name) {
    Name out(name);
    for (char16_t& c : out) c = Fold(c);
    return out;
}

// Narrow texts are taken as Latin-1: one unit per byte.
Name Widen(const char* text) {
    Name out;
    if (text)
        for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

Name WideText(const WCHAR* text) {
    Name out;
    if (text)
        for (; *text; ++text) out.push_back(*text);
    return out;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

int RootIndex(HKEY key) {
    switch (reinterpret_cast<ULONG_PTR>(key)) {
        case static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000)): return 0;
        case static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001)): return 1;
        case static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002)): return 2;
        case static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003)): return 3;
        case static_cast<ULONG_PTR>(static_cast<LONG>(0x80000005)): return 4;
        default: return -1;
    }
}

// Splits a subkey path at its backslashes. A leading backslash or an empty part in the
// middle is refused; one trailing backslash is allowed.
LSTATUS SplitPath(const Name& path, std::vector<Name>& parts) {
    parts.clear();
    if (path.empty()) return ERROR_SUCCESS;
    if (path[0] == u'\\') return ERROR_BAD_PATHNAME;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == Name::npos) end = path.size();
        if (end == start) return ERROR_BAD_PATHNAME;
        if (end - start > kMaxKeyName) return ERROR_INVALID_PARAMETER;
        parts.emplace_back(path, start, end - start);
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

// ---- the file ----------------------------------------------------------------------

void PutU32(std::vector<BYTE>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

void PutName(std::vector<BYTE>& out, const Name& name) {
    PutU32(out, static_cast<uint32_t>(name.size()));
    for (char16_t c : name) {
        out.push_back(static_cast<BYTE>(c));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
}

// Key: name, value count, values {name, type, size, bytes}, subkey count, subkeys.
// Written without recursion, so that depth costs no stack.
void PutKey(std::vector<BYTE>& out, const Key& root) {
    struct Step {
        const Key* key;
        size_t next;
    };
    std::vector<Step> stack;
    stack.push_back({&root, 0});
    auto open = [&out](const Key& key) {
        PutName(out, key.name);
        PutU32(out, static_cast<uint32_t>(key.values.size()));
        for (const Value& v : key.values) {
            PutName(out, v.name);
            PutU32(out, v.type);
            PutU32(out, static_cast<uint32_t>(v.data.size()));
            out.insert(out.end(), v.data.begin(), v.data.end());
        }
        PutU32(out, static_cast<uint32_t>(key.subkeys.size()));
    };
    open(root);
    while (!stack.empty()) {
        Step& top = stack.back();
        if (top.next == top.key->subkeys.size()) {
            stack.pop_back();
            continue;
        }
        const Key& child = *top.key->subkeys[top.next++];
        open(child);
        stack.push_back({&child, 0});
    }
}

class Reader {
public:
    Reader(const BYTE* data, size_t size) : p(data), left(size) {}

    bool U32(uint32_t& v) {
        if (left < 4) return false;
        v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
            static_cast<uint32_t>(p[3]) << 24;
        p += 4;
        left -= 4;
        return true;
    }
    bool Text(Name& name, size_t maxUnits) {
        uint32_t n;
        if (!U32(n) || n > maxUnits || n > left / 2) return false;
        name.resize(n);
        for (uint32_t i = 0; i < n; ++i) name[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
        p += 2 * static_cast<size_t>(n);
        left -= 2 * static_cast<size_t>(n);
        return true;
    }
    bool Bytes(std::vector<BYTE>& out, uint32_t n) {
        if (n > left) return false;
        out.assign(p, p + n);
        p += n;
        left -= n;
        return true;
    }

private:
    const BYTE* p;
    size_t left;
};

// Reads a key's values and subkeys into `into`, as far as they are valid; false once
// something is not. Each record is added only when it was read whole.
bool ReadKeyBody(Reader& in, Key& into, size_t depth) {
    uint32_t valueCount;
    if (!in.U32(valueCount)) return false;
    std::unordered_set<Name> seen;
    for (uint32_t i = 0; i < valueCount; ++i) {
        Value v;
        uint32_t size;
        if (!in.Text(v.name, kMaxValueName) || !in.U32(v.type) || !in.U32(size) || size > kMaxValueBytes ||
            !in.Bytes(v.data, size))
            return false;
        if (!seen.insert(Folded(v.name)).second) return false;
        into.values.push_back(std::move(v));
    }
    uint32_t subkeyCount;
    if (!in.U32(subkeyCount)) return false;
    seen.clear();
    for (uint32_t i = 0; i < subkeyCount; ++i) {
        if (depth >= kMaxDepth) return false;
        auto child = std::make_unique<Key>();
        if (!in.Text(child->name, kMaxKeyName) || child->name.empty() || child->name.find(u'\\') != Name::npos)
            return false;
        if (!seen.insert(Folded(child->name)).second) return false;
        Key& added = *child;
        into.subkeys.push_back(std::move(child));
        if (!ReadKeyBody(in, added, depth + 1)) return false;
    }
    return true;
}

struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime {};
    bool operator==(const FileId& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

FileId Identify(const std::string& path) {
    FileId id;
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime = st.st_mtim;
    return id;
}

bool WriteAll(int fd, const BYTE* data, size_t n) {
    while (n != 0) {
        const ssize_t done = write(fd, data, n);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

// Creates every missing folder above the file (mkdir -p of its parent).
void MakeParents(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        mkdir(folder.c_str(), 0700);
    }
}

// ---- the state ---------------------------------------------------------------------

class Registry {
public:
    ~Registry() {
        std::lock_guard<std::mutex> hold(lock);
        if (dirty) Save();
    }

    std::mutex lock;

    // Test controls.
    void Forget() {
        handles.clear();
        for (Key& root : roots) {
            root.values.clear();
            root.subkeys.clear();
        }
        loaded = false;
        dirty = false;
    }
    void SetFile(const char* path) {
        Forget();
        hasOverride = path != nullptr;
        overridePath = path ? path : "";
    }
    long crashAfter = -1;
    int crashCode = 0;

    std::string FilePath() const {
        if (hasOverride) return overridePath;
        const char* env = getenv("CORVANE_REGISTRY_FILE");
        if (env && *env) return env;
        const char* xdg = getenv("XDG_CONFIG_HOME");
        if (xdg && xdg[0] == '/') return std::string(xdg) + "/corvane/registry";
        const char* home = getenv("HOME");
        if (home && home[0] == '/') return std::string(home) + "/.config/corvane/registry";
        return std::string();
    }

    // Brings the memory up to date with the file: on first use, and when the file has
    // been replaced (by another process) while nothing here waits to be saved.
    void Refresh() {
        if (!loaded) {
            Load(FilePath());
            return;
        }
        if (dirty) return;
        const std::string path = FilePath();
        if (path == loadedPath && Identify(path) == loadedId) return;
        Load(path);
    }

    void Load(const std::string& path) {
        for (Key& root : roots) {
            root.values.clear();
            root.subkeys.clear();
        }
        loaded = true;
        dirty = false;
        loadedPath = path;
        loadedId = Identify(path);
        if (path.empty()) return;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st;
        std::vector<BYTE> bytes;
        if (fstat(fd, &st) == 0 && st.st_size > 0 && st.st_size <= kMaxFileBytes) {
            bytes.resize(static_cast<size_t>(st.st_size));
            size_t got = 0;
            while (got < bytes.size()) {
                const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            bytes.resize(got);
        }
        close(fd);
        // Not a registry file at all: start empty. A damaged one counts as far as it is
        // valid. Either is replaced by the next save.
        if (bytes.size() < sizeof kMagic || memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return;
        Reader in(bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic);
        for (Key& root : roots) {
            Name unused;
            if (!in.Text(unused, 0) || !ReadKeyBody(in, root, 1)) break;
        }
    }

    bool Save() {
        const std::string path = FilePath();
        if (path.empty()) return false;
        std::vector<BYTE> out(kMagic, kMagic + sizeof kMagic);
        for (const Key& root : roots) PutKey(out, root);

        MakeParents(path);
        const std::string temp = path + "." + std::to_string(getpid()) + ".new";
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        if (crashAfter >= 0) {
            const size_t part = static_cast<size_t>(crashAfter) < out.size() ? static_cast<size_t>(crashAfter) : out.size();
            WriteAll(fd, out.data(), part);
            _exit(crashCode);
        }
        bool ok = WriteAll(fd, out.data(), out.size());
        ok = fsync(fd) == 0 && ok;
        ok = close(fd) == 0 && ok;
        if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
            unlink(temp.c_str());
            return false;
        }
        dirty = false;
        loadedPath = path;
        loadedId = Identify(path);
        return true;
    }

    // Handles.
    Handle* Lookup(HKEY key) {
        auto it = handles.find(reinterpret_cast<Handle*>(key));
        return it == handles.end() ? nullptr : it->second.get();
    }
    HKEY Add(std::unique_ptr<Handle> handle) {
        Handle* raw = handle.get();
        handles.emplace(raw, std::move(handle));
        return reinterpret_cast<HKEY>(raw);
    }
    bool Remove(HKEY key) {
        auto it = handles.find(reinterpret_cast<Handle*>(key));
        if (it == handles.end()) return false;
        handles.erase(it);
        return true;
    }

    // The base a call names: a root key (all access) or an open handle.
    LSTATUS Base(HKEY key, Handle& out) {
        Refresh();
        const int root = RootIndex(key);
        if (root >= 0) {
            out.root = root;
            out.path.clear();
            out.access = KEY_ALL_ACCESS;
            return ERROR_SUCCESS;
        }
        const Handle* handle = Lookup(key);
        if (!handle) return ERROR_INVALID_HANDLE;
        out = *handle;
        return ERROR_SUCCESS;
    }

    static Key* Child(Key& key, const Name& name) {
        for (auto& sub : key.subkeys)
            if (SameName(sub->name, name)) return sub.get();
        return nullptr;
    }

    Key* Resolve(const Handle& handle) {
        Key* key = &roots[handle.root];
        for (const Name& part : handle.path) {
            key = Child(*key, part);
            if (!key) return nullptr;
        }
        return key;
    }

    // The key behind an open handle that grants `access`.
    LSTATUS Open(HKEY hKey, REGSAM access, Key** out) {
        Handle base;
        const LSTATUS status = Base(hKey, base);
        if (status != ERROR_SUCCESS) return status;
        if ((base.access & access) != access) return ERROR_ACCESS_DENIED;
        *out = Resolve(base);
        return *out ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    }

    static Value* FindValue(Key& key, const Name& name) {
        for (Value& v : key.values)
            if (SameName(v.name, name)) return &v;
        return nullptr;
    }

    std::unordered_map<Handle*, std::unique_ptr<Handle>> handles;
    Key roots[kRootCount];
    bool loaded = false;
    bool dirty = false;
    bool hasOverride = false;
    std::string overridePath;
    std::string loadedPath;
    FileId loadedId;
};

Registry& State() {
    static Registry registry;
    return registry;
}

// ---- the calls, on wide names --------------------------------------------------------

LSTATUS OpenKey(HKEY parent, const Name* subKey, REGSAM access, bool create, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!subKey) return ERROR_INVALID_PARAMETER;
    std::vector<Name> parts;
    LSTATUS status = SplitPath(*subKey, parts);
    if (status != ERROR_SUCCESS) return status;

    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    auto handle = std::make_unique<Handle>();
    status = r.Base(parent, *handle);
    if (status != ERROR_SUCCESS) return status;
    if (handle->path.size() + parts.size() > kMaxDepth) return ERROR_INVALID_PARAMETER;
    const REGSAM parentAccess = handle->access;
    Key* key = r.Resolve(*handle);
    if (!key) return ERROR_KEY_DELETED;

    bool created = false;
    for (const Name& part : parts) {
        Key* next = Registry::Child(*key, part);
        if (!next) {
            if (!create) return ERROR_FILE_NOT_FOUND;
            if (!(parentAccess & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            auto fresh = std::make_unique<Key>();
            fresh->name = part;
            next = fresh.get();
            key->subkeys.push_back(std::move(fresh));
            created = true;
        }
        handle->path.push_back(next->name);
        key = next;
    }
    if (created) r.dirty = true;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    handle->access = access & ~static_cast<REGSAM>(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    *result = r.Add(std::move(handle));
    return ERROR_SUCCESS;
}

// The stored bytes as the caller sees them: string types in narrow form for the A calls.
LSTATUS QueryValue(HKEY hKey, const Name& name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size,
                   bool narrow) {
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    Key* key = nullptr;
    const LSTATUS status = r.Open(hKey, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;
    const Value* value = Registry::FindValue(*key, name);
    if (!value) return ERROR_FILE_NOT_FOUND;

    const bool convert = narrow && IsStringType(value->type);
    const DWORD needed = static_cast<DWORD>(convert ? value->data.size() / 2 : value->data.size());
    if (type) *type = value->type;
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (convert) {
        for (DWORD i = 0; i < needed; ++i) {
            const char16_t c = static_cast<char16_t>(value->data[2 * i] | value->data[2 * i + 1] << 8);
            data[i] = c < 0x100 ? static_cast<BYTE>(c) : static_cast<BYTE>('?');
        }
    } else if (needed) {
        memcpy(data, value->data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS SetValue(HKEY hKey, const Name& name, DWORD type, const BYTE* data, DWORD size, bool narrow) {
    if (!data && size) return ERROR_INVALID_PARAMETER;
    if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
    const bool convert = narrow && IsStringType(type);
    if (size > (convert ? kMaxValueBytes / 2 : kMaxValueBytes)) return ERROR_NOT_ENOUGH_MEMORY;
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    Key* key = nullptr;
    const LSTATUS status = r.Open(hKey, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;

    std::vector<BYTE> bytes;
    if (convert) {
        // Kept as UTF-16, as Windows keeps every text.
        bytes.resize(2 * static_cast<size_t>(size));
        for (DWORD i = 0; i < size; ++i) bytes[2 * i] = data[i];
    } else if (size) {
        bytes.assign(data, data + size);
    }
    Value* value = Registry::FindValue(*key, name);
    if (!value) {
        key->values.emplace_back();
        value = &key->values.back();
        value->name = name;
    }
    value->type = type;
    value->data = std::move(bytes);
    r.dirty = true;
    return ERROR_SUCCESS;
}

}  // namespace

// ---- the interface -----------------------------------------------------------------------

extern "C" {

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    const Name subKey = Widen(lpSubKey);
    return OpenKey(hKey, lpSubKey ? &subKey : nullptr, samDesired, true, phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    const Name subKey = WideText(lpSubKey);
    return OpenKey(hKey, lpSubKey ? &subKey : nullptr, samDesired, true, phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    const Name subKey = Widen(lpSubKey);
    return OpenKey(hKey, &subKey, samDesired, false, phkResult, nullptr);
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    const Name subKey = WideText(lpSubKey);
    return OpenKey(hKey, &subKey, samDesired, false, phkResult, nullptr);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return QueryValue(hKey, Widen(lpValueName), lpReserved, lpType, lpData, lpcbData, true);
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return QueryValue(hKey, WideText(lpValueName), lpReserved, lpType, lpData, lpcbData, false);
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    return SetValue(hKey, Widen(lpValueName), dwType, lpData, cbData, true);
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    return SetValue(hKey, WideText(lpValueName), dwType, lpData, cbData, false);
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    const Name name = Widen(lpValueName);
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    Key* key = nullptr;
    const LSTATUS status = r.Open(hKey, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (SameName(it->name, name)) {
            key->values.erase(it);
            r.dirty = true;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
    std::vector<Name> parts;
    LSTATUS status = SplitPath(Widen(lpSubKey), parts);
    if (status != ERROR_SUCCESS) return status;
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    Handle base;
    status = r.Base(hKey, base);
    if (status != ERROR_SUCCESS) return status;
    Key* parent = r.Resolve(base);
    if (!parent) return ERROR_KEY_DELETED;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        parent = Registry::Child(*parent, parts[i]);
        if (!parent) return ERROR_FILE_NOT_FOUND;
    }
    for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
        if (!SameName((*it)->name, parts.back())) continue;
        if (!(*it)->subkeys.empty()) return ERROR_ACCESS_DENIED;
        parent->subkeys.erase(it);
        r.dirty = true;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    Handle base;
    const LSTATUS status = r.Base(hKey, base);
    if (status != ERROR_SUCCESS) return status;
    if (r.dirty && !r.Save()) return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (RootIndex(hKey) >= 0) return ERROR_SUCCESS;
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    if (!r.Remove(hKey)) return ERROR_INVALID_HANDLE;
    // A failed save leaves the changes waiting for the next close, flush or exit.
    if (r.dirty) r.Save();
    return ERROR_SUCCESS;
}

}  // extern "C"

// ---- the test interface ----------------------------------------------------------------

void PlatformTest_SetRegistryFile(const char* path) {
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    r.SetFile(path);
}

void PlatformTest_ReloadRegistry() {
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    r.Forget();
}

std::string PlatformTest_RegistryFile() {
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    return r.FilePath();
}

void PlatformTest_CrashDuringRegistrySave(long bytes, int exitCode) {
    Registry& r = State();
    std::lock_guard<std::mutex> hold(r.lock);
    r.crashAfter = bytes;
    r.crashCode = exitCode;
}
