// The engine's diagnostics: records appended to "errors.log" through named channels
// ("DEFAULT", "ERRORS", "WARNINGS", "INFO"), found by name in the log registry. A record
// carries its call site, then the message pieces the caller prints.
//
//   LogErrors().Write(LOG_SITE("bool __thiscall EffectManager::Create(void)"))
//       .Print("Effect failed to create: ").Print(name);
//
// The signature is always a constant text at the call site, so the log never depends on
// the compiler's own function names.
#pragma once

#include "Core/Array.h"
#include "Core/Container.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"

class Stream;

struct LogSite {
    String file;       // the calling source file as the build records it
    String signature;  // the calling function's full signature
    i32 line = 0;

    LogSite() = default;
    LogSite(const char* file_, const char* signature_, i32 line_)
        : file(file_), signature(signature_), line(line_) {}
};

#define LOG_SITE(signature) LogSite(__FILE__, signature, __LINE__)

// Record layout bits of a channel.
enum LogFlags : u32 {
    kLogDateTime = 1,
    kLogFile = 2,
    kLogSignature = 4,
    kLogLine = 8,
};

class LogChannel {
public:
    // A title of "<logname>" stands for the channel's name. The channel registers itself
    // with the log registry, or waits in the pending list until the registry exists.
    LogChannel(const String& name, const String& fileName, const String& title, u32 flags,
               const String& separator);
    ~LogChannel();
    LogChannel(const LogChannel&) = delete;
    LogChannel& operator=(const LogChannel&) = delete;

    // Writes one record header; the message pieces follow with Print.
    LogChannel& Write(LogSite site);
    LogChannel& Print(const char* text);
    LogChannel& Print(const String& text);
    LogChannel& Print(i32 value);
    LogChannel& Print(u8 value);

    const String& Name() const { return name; }

    u32 flags;
    Stream* stream;
    String fileName;
    String title;
    String separator;
    String indent;
    u8 enabled;

private:
    bool CanWrite() const;
    // One open, append and close of the channel's file.
    void Emit(const char* bytes, u32 count);

    String name;
    bool pending_ = false;  // waited in the pending list for the registry
};

// A channel built before the program-wide registry, waiting to be registered. The
// channel becomes null when it is destroyed first.
struct LogPendingChannel {
    String name;
    LogChannel* channel = nullptr;
};
using LogPendingList = Array<LogPendingChannel>;

// Lookup policies of the registry.
enum LogLookup : u32 {
    kLogLookupSwitchOff = 0,  // a miss switches DEFAULT off and yields it
    kLogLookupDefault = 1,    // every lookup yields DEFAULT
    kLogLookupFallback = 2,   // a miss yields DEFAULT
};

class LogRegistry : public Container {
public:
    // The program-wide registry takes in the channels waiting in the pending list and
    // receives every channel built after it; other registries are filled with Add.
    explicit LogRegistry(bool programWide = false);
    ~LogRegistry() override;
    void Clear() override;

    // Inserts or replaces a channel under its name, at the end of the iteration order.
    void Add(const String& name, LogChannel* channel);
    // The channel of that name (case-sensitive) chosen by the lookup policy; never null
    // while the DEFAULT channel exists.
    LogChannel* Find(const String& name);
    LogChannel* Find(const char* name);

    StringMapOf<LogChannel*> channels;
    u32 lookupPolicy;
    u8 masterSwitch;  // every write of every channel is dropped while 0

private:
    bool programWide_;
};

// The program-wide registry and channels.
LogRegistry& TheLogRegistry();
LogChannel& LogDefault();
LogChannel& LogErrors();
LogChannel& LogWarnings();
LogChannel& LogInfo();
// Turns every channel's output on or off (the full-screen scene turns it off for good).
void SetLogMasterSwitch(bool on);

// The channels that were built before the program-wide registry, in construction order.
// The registry takes them in when it is built; the list grows without a limit.
const LogPendingList& LogPendingChannels();
// For tests: puts registry (null: none) in the program-wide registry's place, so that
// channels built meanwhile register with it (or wait in the pending list); returns the
// registry that held the place. A program-wide registry takes the place when it is
// built and leaves it empty when it goes.
LogRegistry* ExchangeProgramLogRegistry(LogRegistry* registry);

// Appends prefix + text to the plain file "log", whatever the channels' switches. Line feeds
// are written as CR LF, as a Windows text-mode file has them, on every platform.
void DebugLog(const String& text, const String& prefix);
