#include "Core/Log.h"

#include "Core/FileStream.h"
#include "Core/NumberText.h"
#include "Core/ProgramObjects.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {
constexpr u32 kIndentWidth = 27;
constexpr i32 kPendingRoom = 10;  // the pending list's first block and its grow step

// Trivially initialised, so a channel of any source file can test them before the
// registry is constructed.
constinit bool g_registryReady = false;
constinit LogRegistry* g_registry = nullptr;

// Channels built before the registry wait here, in construction order. The list is
// built by its first user, whichever file's initialiser that is: a channel that comes
// before the registry, or else the registry itself. So it exists before anything is
// appended, and it is destroyed after every channel that waited in it and after the
// registry.
LogPendingList& Pending() {
    static LogPendingList list(0, kPendingRoom);
    return list;
}

String Spaces(u32 n) {
    char buffer[64];
    memset(buffer, ' ', n);
    return String::FromBuffer(buffer, n, true);
}

// A growing record text, written with one append.
struct RecordText {
    char inline_[512];
    char* text = inline_;
    u32 length = 0;
    u32 capacity = sizeof inline_;

    ~RecordText() {
        if (text != inline_) MemFree(text);
    }
    void Add(const char* bytes, u32 n) {
        if (length + n > capacity) {
            u32 grown = capacity * 2;
            while (grown < length + n) grown *= 2;
            char* bigger = static_cast<char*>(MemAlloc(grown));
            memcpy(bigger, text, length);
            if (text != inline_) MemFree(text);
            text = bigger;
            capacity = grown;
        }
        memcpy(text + length, bytes, n);
        length += n;
    }
    void Add(const char* z) { Add(z, static_cast<u32>(strlen(z))); }
    void Add(const String& s) { Add(s.c_str(), s.length); }
};
}  // namespace

LogChannel::LogChannel(const String& name_, const String& fileName_, const String& title_, u32 flags_,
                       const String& separator_)
    : flags(flags_),
      stream(new FileStream()),
      fileName(fileName_),
      title(String::EqualsText(title_, "<logname>") ? name_ : title_),
      separator(separator_),
      indent(Spaces(kIndentWidth)),
      enabled(1),
      name(name_) {
    if (g_registryReady && g_registry) {
        g_registry->Add(name, this);
        return;
    }
    LogPendingChannel record;
    record.name = name;
    record.channel = this;
    // Only an exhausted heap keeps a channel out; it still writes, but no lookup
    // finds it.
    pending_ = Pending().Add(record) != nullptr;
}

LogChannel::~LogChannel() {
    delete stream;
    stream = nullptr;
    // A channel that goes before the registry must not stay reachable through it.
    if (g_registryReady && g_registry) {
        auto* node = g_registry->channels.Find(name);
        if (node && node->value == this) g_registry->channels.Erase(name);
    }
    // A channel that never waited leaves the list alone: it may be gone already.
    if (pending_) {
        for (LogPendingChannel& record : Pending())
            if (record.channel == this) record.channel = nullptr;
    }
}

bool LogChannel::CanWrite() const {
    return enabled == 1 && stream != nullptr && g_registry != nullptr && g_registry->masterSwitch == 1;
}

void LogChannel::Emit(const char* bytes, u32 count) {
    if (!stream->Open(fileName, kStreamAppend)) return;
    if (count) stream->Write(bytes, count);
    stream->Close();
}

LogChannel& LogChannel::Write(LogSite site) {
    if (!CanWrite()) return *this;
    RecordText r;
    r.Add("\n");
    if (flags & kLogDateTime) {
        char date[16], clock[16];
        _strdate(date);
        _strtime(clock);
        r.Add(date);
        r.Add(" ");
        r.Add(clock);
    }
    r.Add(separator);
    r.Add(title);
    r.Add(": ");
    bool located = false;
    if (flags & kLogFile) {
        r.Add(separator);
        r.Add("\"");
        r.Add(site.file);
        r.Add("\"");
        located = true;
    }
    if (flags & kLogLine) {
        char number[kIntTextSize];
        r.Add(separator);
        r.Add("line ");
        r.Add(FormatInt(site.line, number, 10));
        located = true;
    }
    if (flags & kLogSignature) {
        r.Add("\n");
        r.Add(indent);
        r.Add("\"");
        r.Add(site.signature);
        r.Add("\"");
        r.Add("\n");
        r.Add(indent);
    } else if (located) {
        r.Add("\n");
        r.Add(indent);
    }
    Emit(r.text, r.length);
    return *this;
}

LogChannel& LogChannel::Print(const char* text) {
    if (CanWrite() && text) Emit(text, static_cast<u32>(strlen(text)));
    return *this;
}

LogChannel& LogChannel::Print(const String& text) {
    if (CanWrite()) Emit(text.c_str(), text.length);
    return *this;
}

LogChannel& LogChannel::Print(i32 value) {
    char number[kIntTextSize];
    return Print(static_cast<const char*>(FormatInt(value, number, 10)));
}

LogChannel& LogChannel::Print(u8 value) { return Print(static_cast<i32>(value)); }

LogRegistry::LogRegistry(bool programWide)
    : lookupPolicy(kLogLookupFallback), masterSwitch(1), programWide_(programWide) {
    if (!programWide_) return;
    g_registry = this;
    // The list stays as it is until the program ends.
    for (const LogPendingChannel& record : Pending())
        if (record.channel) Add(record.name, record.channel);
    g_registryReady = true;
}

LogRegistry::~LogRegistry() {
    Clear();
    if (programWide_ && g_registry == this) {
        g_registryReady = false;
        g_registry = nullptr;
    }
}

void LogRegistry::Clear() { channels.Clear(); }

void LogRegistry::Add(const String& name, LogChannel* channel) {
    // Placed after the last node so that iteration follows registration order.
    if (channels.count) channels.cursor = channels.first->prev;
    channels.Insert(name, channel, true);
}

LogChannel* LogRegistry::Find(const String& name) {
    auto* fallback = channels.Find(String("DEFAULT"));
    LogChannel* deflt = fallback ? fallback->value : nullptr;
    if (lookupPolicy == kLogLookupDefault) return deflt;
    auto* node = channels.Find(name);
    if (node) return node->value;
    if (lookupPolicy == kLogLookupSwitchOff && deflt) deflt->enabled = 0;
    return deflt;
}

LogChannel* LogRegistry::Find(const char* name) { return Find(String(name)); }

LogRegistry& TheLogRegistry() { return g_logRegistry; }
LogChannel& LogDefault() { return g_logDefault; }
LogChannel& LogErrors() { return g_logErrors; }
LogChannel& LogWarnings() { return g_logWarnings; }
LogChannel& LogInfo() { return g_logInfo; }

void SetLogMasterSwitch(bool on) { g_logRegistry.masterSwitch = on ? 1 : 0; }

const LogPendingList& LogPendingChannels() { return Pending(); }

LogRegistry* ExchangeProgramLogRegistry(LogRegistry* registry) {
    LogRegistry* previous = g_registry;
    g_registry = registry;
    g_registryReady = registry != nullptr;
    return previous;
}

namespace {
// Writes `text` with each line feed as a carriage return and line feed: what a text-mode
// stream writes on Windows, done by hand so that every platform writes the same bytes.
void WriteTextMode(FILE* file, const char* text, u32 length) {
    u32 start = 0;
    for (u32 i = 0; i < length; ++i) {
        if (text[i] != '\n') continue;
        fwrite(text + start, 1, i - start, file);
        fwrite("\r\n", 1, 2, file);
        start = i + 1;
    }
    fwrite(text + start, 1, length - start, file);
}
}  // namespace

void DebugLog(const String& text, const String& prefix) {
    FILE* file = fopen("log", "ab");
    if (!file) return;
    WriteTextMode(file, prefix.c_str(), prefix.length);
    WriteTextMode(file, text.c_str(), text.length);
    fclose(file);
}
