// The product's settings that live outside any mode object, because the configuration
// dialog's track bars and the scene both edit them: the shadow quality and the day length
// (each 0 to 100, the user's choice, kept in the registry) and the bounds the day length
// setting maps onto (milliseconds, from the screen parameters only).
#pragma once

#include "Core/Types.h"

class TextDataTree;

extern i32 ShadowQualitySetting;
extern i32 DayLengthSetting;
extern i32 DayMinLengthSetting;
extern i32 DayMaxLengthSetting;

// Back to the values before any document was read: 50, 0, 0, 0.
void ResetProductSettings();

// Registers "ShadowQuality" and "DayLength" in the document table and the registry table,
// and, with `bounds`, "DayMinLength" and "DayMaxLength" in the document table only.
void RegisterProductSettings(bool bounds);
// Takes those entries out of both tables again (entries of the same keys bound elsewhere
// stay), so that a mode object that goes leaves the tables as it found them.
void UnregisterProductSettings();
