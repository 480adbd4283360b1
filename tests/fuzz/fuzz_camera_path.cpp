// Feeds mutated ".cam" documents to the camera-path loader. Whatever it files must give
// a flight that evaluates anywhere in and around its range, writes out and reads back to
// the same keys.
#include "Core/ArchiveStream.h"
#include "Screen/CameraPath.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool SameKeys(const KeyTrack& a, const KeyTrack& b) {
    if (a.Count() != b.Count()) return false;
    for (const KeyTrack::Entry *x = a.First(), *y = b.First(); x; x = a.Next(x), y = b.Next(y)) {
        if (std::memcmp(&x->key, &y->key, sizeof x->key) != 0) return false;
        if (std::memcmp(&x->value, &y->value, sizeof x->value) != 0) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    ArchiveStream in;
    in.Open(String(), kStreamRead);
    in.BorrowBytes(data, static_cast<u32>(size));
    CameraBase flight;
    const u32 filed = LoadCameraPath(flight, &in);
    // Entries of the same time replace each other, so a track may hold fewer keys.
    const u32 held = flight.PositionTrack().keys.Count() + flight.RotationTrack().keys.Count();
    if (held > filed || (filed != 0 && held == 0)) __builtin_trap();

    TimeRange range;
    if (flight.GetTimeRange(range)) {
        const f32 times[] = {range.start - 1.0f, range.start, (range.start + range.end) * 0.5f, range.end, range.end + 1.0f};
        for (f32 t : times) flight.Evaluate(t);
        Matrix view;
        flight.BuildView(view);
    } else if (filed != 0) {
        __builtin_trap();
    }

    ArchiveStream out;
    out.Open(String(), kStreamWrite);
    if (!WriteCameraPath(flight, &out)) __builtin_trap();
    const i32 n = out.Size();
    u8* bytes = static_cast<u8*>(MemAlloc(static_cast<u32>(n)));
    out.Seek(0, kSeekSet);
    out.Read(bytes, static_cast<u32>(n));
    ArchiveStream again;
    again.Open(String(), kStreamRead);
    again.BorrowBytes(bytes, static_cast<u32>(n));
    CameraBase reread;
    LoadCameraPath(reread, &again);
    if (!SameKeys(flight.PositionTrack().keys, reread.PositionTrack().keys) ||
        !SameKeys(flight.RotationTrack().keys, reread.RotationTrack().keys))
        __builtin_trap();
    MemFree(bytes);
    return 0;
}
