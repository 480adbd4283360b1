#include "D3d/OcclusionQuery.h"

#include "D3d/DeviceContext.h"

OcclusionQuery::OcclusionQuery() { Register(); }

OcclusionQuery::~OcclusionQuery() {
    if (query) query->Release();
    query = nullptr;
    state = kIdle;
}

bool OcclusionQuery::CreateQuery() {
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    IDirect3DQuery9* made = nullptr;
    if (FAILED(device->CreateQuery(D3DQUERYTYPE_OCCLUSION, &made)) || !made) return false;
    query = made;
    return true;
}

bool OcclusionQuery::Begin() {
    if (!query && !CreateQuery()) return false;
    if (FAILED(query->Issue(D3DISSUE_BEGIN))) return false;
    state = kBegun;
    return true;
}

bool OcclusionQuery::End() {
    if (!query || state != kBegun) return false;
    if (FAILED(query->Issue(D3DISSUE_END))) return false;
    state = kEnded;
    return true;
}

bool OcclusionQuery::GetData(u32& pixelsOut) {
    if (!query || state != kEnded) return false;
    DWORD count = 0;
    // No flush flag: the frame never waits for the device.
    if (query->GetData(&count, sizeof count, 0) != S_OK) return false;
    state = kRead;
    pixels = count;
    pixelsOut = count;
    return true;
}

bool OcclusionQuery::Invalidate() {
    state = query ? kLostQuery : kLostEmpty;
    if (query) query->Release();
    query = nullptr;
    return true;
}

bool OcclusionQuery::Restore() {
    if (state == kLostQuery) {
        if (!query && !CreateQuery()) return false;
        state = kIdle;
    } else if (state == kLostEmpty) {
        state = kIdle;
    }
    return true;
}
