// The engine's program-wide objects. They are all defined in ProgramObjects.cpp, in the
// one order in which they must come into being before the entry point runs (and go away,
// in reverse, after it returns).
#pragma once

#include "Core/FileIndex.h"
#include "Core/FrameNotifier.h"
#include "Core/Log.h"
#include "Core/StatisticsTable.h"

extern LogRegistry g_logRegistry;
extern LogChannel g_logDefault;
extern LogChannel g_logErrors;
extern LogChannel g_logWarnings;
extern LogChannel g_logInfo;
extern StatisticsTable g_statistics;
extern FrameNotifier g_frameNotifier;
extern FileIndex g_fileIndex;

StatisticsTable& TheStatistics();
FrameNotifier& TheFrameNotifier();
// The index of the current folder, filled by EngineStartup.
FileIndex& TheFileIndex();
