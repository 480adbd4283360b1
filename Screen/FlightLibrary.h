// The camera flights a saver plays, each read once from its ".cam" document and kept as
// parsed keys for the whole run. Start-up reads every flight the configuration names, so
// that a flight switch in the middle of a frame copies kept keys instead of waiting on
// the disk or the archive. A document that gives no keys (missing, unreadable, empty) is
// kept too, as a flight without keys: it is not looked for again at every switch.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/Types.h"

class CameraBase;

class FlightLibrary {
public:
    FlightLibrary() = default;
    ~FlightLibrary();
    FlightLibrary(const FlightLibrary&) = delete;
    FlightLibrary& operator=(const FlightLibrary&) = delete;

    // Reads the document as the flight of that name, in place of one kept before; the
    // keys it filed (0, and nothing kept, only when memory runs out).
    u32 Read(const String& name, patht file);
    // Whether a flight of that name was read.
    bool Holds(const String& name) const { return flights_.Contains(name); }
    // Empties the flight's tracks and fills them with the kept keys of that name, in the
    // order reading filed them; the number of keys, 0 when none are kept.
    u32 Copy(const String& name, CameraBase& flight) const;
    u32 Count() const { return flights_.count; }
    void Clear();

private:
    StringMapOf<CameraBase*> flights_;  // owned
};
