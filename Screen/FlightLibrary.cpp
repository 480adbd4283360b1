#include "Screen/FlightLibrary.h"

#include "Screen/CameraPath.h"

#include <new>

namespace {

// Keys are added in the track's own order, which is the order reading filed them (keys at
// one time stay in the order they came), so the copy evaluates as the document does.
u32 CopyKeys(const KeyTrack& from, auto& into) {
    u32 copied = 0;
    for (const KeyTrack::Entry* key = from.First(); key; key = from.Next(key)) {
        KeyData value = key->value;
        value.time = key->key;
        if (into.AddKey(value)) ++copied;
    }
    return copied;
}

}  // namespace

FlightLibrary::~FlightLibrary() { Clear(); }

u32 FlightLibrary::Read(const String& name, patht file) {
    CameraBase* flight = new (std::nothrow) CameraBase;
    if (!flight) return 0;
    const u32 keys = LoadCameraPath(*flight, file);
    if (StringMapOf<CameraBase*>::Node* kept = flights_.Find(name)) {
        delete kept->value;
        kept->value = flight;
    } else if (!flights_.Insert(name, flight)) {
        delete flight;
        return 0;
    }
    return keys;
}

u32 FlightLibrary::Copy(const String& name, CameraBase& flight) const {
    flight.PositionTrack().Clear();
    flight.RotationTrack().Clear();
    const StringMapOf<CameraBase*>::Node* kept = flights_.Find(name);
    if (!kept) return 0;
    CameraBase& from = *kept->value;
    return CopyKeys(from.PositionTrack().keys, flight.PositionTrack()) +
           CopyKeys(from.RotationTrack().keys, flight.RotationTrack());
}

void FlightLibrary::Clear() {
    flights_.CursorWalk([](const String&, CameraBase*& flight) {
        delete flight;
        flight = nullptr;
    });
    flights_.Clear();
}
