// Construction order of the program-wide objects. Objects of one source file are built
// in declaration order and destroyed in reverse, so this file is the one place that
// fixes the order; later subsystems add their objects here, in their place.
//
//   1. the named-parameter registry (parameters register in it as they are built)
//   2. the settings table
//   3. the log registry (it takes in channels that were built before it)
//   4. the channels DEFAULT, ERRORS, WARNINGS, INFO
//   5. the statistics table (enabled, 100 records, record 0 in use)
//   6. the frame notifier (no listeners, frame 0)
//   7. the current folder's file index (empty until EngineStartup)
//
// The program-wide objects of the layers above are defined beside their classes
// (D3d/GeometryCache.cpp: TheGeometryCache; D3d/TextureManager.cpp: TheTextureManager, and
// after it TheFontManager, whose charsets hold textures; Effect/LightSet.cpp: TheLightSet;
// Effect/EffectManager.cpp: TheEffectManager; Effect/DebugBox.cpp: TheDebugBox), because
// the foundation cannot name their types; this file does not fix their order among these.
// Only the effect manager touches a foundation object at exit (its effects leave the frame
// notifier, which is built before the manager's first use and so outlives it); the others
// use none while they are built or destroyed. Each has a Reset for tests.
//
// The pending list of channels is constant-initialised in Log.cpp, so it exists before
// anything else. Type ids, the shared empty String and the matrix constants are ready
// before first use by construction and need no place here.
#include "Core/ProgramObjects.h"

#include "Core/ParamTable.h"
#include "Core/Parameter.h"

ParamRegistry g_paramRegistry;
ParamTable g_paramTable;
LogRegistry g_logRegistry(true);
LogChannel g_logDefault(String("DEFAULT"), String("errors.log"), String("<logname>"),
                        kLogDateTime | kLogFile | kLogSignature | kLogLine, String(" "));
LogChannel g_logErrors(String("ERRORS"), String("errors.log"), String("Error"),
                       kLogDateTime | kLogFile | kLogSignature | kLogLine, String(" "));
LogChannel g_logWarnings(String("WARNINGS"), String("errors.log"), String("Warning"),
                         kLogDateTime | kLogFile | kLogSignature | kLogLine, String(" "));
LogChannel g_logInfo(String("INFO"), String("errors.log"), String("Info"), 0x31, String(" "));
StatisticsTable g_statistics;
FrameNotifier g_frameNotifier;
FileIndex g_fileIndex;

StatisticsTable& TheStatistics() { return g_statistics; }
FrameNotifier& TheFrameNotifier() { return g_frameNotifier; }
FileIndex& TheFileIndex() { return g_fileIndex; }
