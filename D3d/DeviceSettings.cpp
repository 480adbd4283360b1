#include "D3d/DeviceSettings.h"

#include <string.h>

// Zeroing the whole record, not only the request fields, keeps a copy of an unfilled
// record from carrying stray bytes into the log or the present parameters.
DeviceSettings::DeviceSettings() { memset(static_cast<void*>(this), 0, sizeof *this); }
