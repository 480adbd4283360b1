// The occlusion query of a scene node: the render queue wraps the node's drawing in Begin
// and End, and the culling pass reads the pixel count one frame later to skip nodes that
// drew nothing. The result is polled, never waited for: a result not ready yet leaves the
// node visible for the frame. The query is a device object: it is released when the device
// is lost and made again after the reset, and a result is never read twice.
#pragma once

#include <d3d9.h>

#include "Core/Types.h"
#include "D3d/DeviceObject.h"

class OcclusionQuery : public DeviceObject {
public:
    enum State : u32 {
        kIdle = 0,
        kBegun = 1,
        kEnded = 2,      // result pending
        kRead = 3,       // result read
        kLostEmpty = 4,  // device lost with no query
        kLostQuery = 5,  // device lost while a query existed
    };

    OcclusionQuery();
    ~OcclusionQuery() override;
    OcclusionQuery(const OcclusionQuery&) = delete;
    OcclusionQuery& operator=(const OcclusionQuery&) = delete;

    // Creates the query on first use and issues its begin; a begin on an ended query
    // starts a new one.
    bool Begin();
    // Issues the end of a begun query.
    bool End();
    // The pixel count of an ended query, when the device has it ready; false otherwise
    // (not ready, not ended, already read), which callers take as "visible".
    bool GetData(u32& pixelsOut);

    bool Restore() override;     // after a reset
    bool Invalidate() override;  // on device loss

    IDirect3DQuery9* query = nullptr;
    u32 state = kIdle;
    u32 pixels = 0;

private:
    bool CreateQuery();
};
