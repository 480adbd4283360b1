#include "D3d/DeviceContext.h"
#include "D3d/SavedRenderStates.h"
#include "D3d/StateCache.h"
#include "tests/FakeD3d9.h"

#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>

using fake::Call;
using fake::Record;

namespace {

u32 Bits(float f) {
    u32 b;
    memcpy(&b, &f, sizeof b);
    return b;
}

class StateCacheTest : public ::testing::Test {
protected:
    fake::FakeDevice device;
    void SetUp() override {
        PublishDevice(&device);
        StateCache::InvalidateAll();
        device.calls.clear();
    }
    void TearDown() override {
        PublishDevice(nullptr);
        StateCache::InvalidateAll();
    }
    std::vector<Record> RenderSets() const {
        std::vector<Record> out;
        for (const Record& r : device.calls)
            if (r.call == Call::RenderState) out.push_back(r);
        return out;
    }
};

Record RS(DWORD state, DWORD value) { return Record{Call::RenderState, state, 0, value}; }

}  // namespace

TEST_F(StateCacheTest, AnEqualSetIsSentOnce) {
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZENABLE, 1));
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZENABLE, 1));
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZENABLE, 0));
    EXPECT_EQ(RenderSets(), (std::vector<Record>{RS(D3DRS_ZENABLE, 1), RS(D3DRS_ZENABLE, 0)}));
}

TEST_F(StateCacheTest, ALockedStateKeepsItsValueAgainstPlainSets) {
    EXPECT_TRUE(StateCache::SetRenderStateLocked(D3DRS_ALPHABLENDENABLE, 1, true));
    EXPECT_TRUE(StateCache::IsRenderStateLocked(D3DRS_ALPHABLENDENABLE));
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0));  // swallowed
    DWORD value = 99;
    EXPECT_TRUE(StateCache::GetRenderState(D3DRS_ALPHABLENDENABLE, &value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(StateCache::SetRenderStateUnlocked(D3DRS_ALPHABLENDENABLE, 0));
    EXPECT_TRUE(StateCache::ForceRenderState(D3DRS_ALPHABLENDENABLE, 0));  // sent although cached
    EXPECT_EQ(RenderSets(), (std::vector<Record>{RS(D3DRS_ALPHABLENDENABLE, 1), RS(D3DRS_ALPHABLENDENABLE, 0),
                                                 RS(D3DRS_ALPHABLENDENABLE, 0)}));
    EXPECT_EQ(device.Count(Call::GetRenderState), 0u);  // the cache knew the value
}

TEST_F(StateCacheTest, InvalidateAllForgetsValuesAndLocks) {
    StateCache::SetRenderStateLocked(D3DRS_CULLMODE, 1, true);
    StateCache::SetSamplerState(0, D3DSAMP_MINFILTER, 2);
    StateCache::SetTextureStageState(1, D3DTSS_COLOROP, 4);
    D3DMATERIAL9 material{};
    material.Power = 3.0f;
    StateCache::SetMaterial(&material);
    StateCache::InvalidateAll();
    device.calls.clear();
    EXPECT_FALSE(StateCache::IsRenderStateLocked(D3DRS_CULLMODE));
    StateCache::SetRenderState(D3DRS_CULLMODE, 1);
    StateCache::SetSamplerState(0, D3DSAMP_MINFILTER, 2);
    StateCache::SetTextureStageState(1, D3DTSS_COLOROP, 4);
    StateCache::SetMaterial(&material);
    EXPECT_EQ(device.calls, (std::vector<Record>{RS(D3DRS_CULLMODE, 1), {Call::SamplerState, 0, D3DSAMP_MINFILTER, 2},
                                                 {Call::StageState, 1, D3DTSS_COLOROP, 4}, {Call::Material, 0, 0, 0}}));
}

TEST_F(StateCacheTest, WithoutADeviceEverySetterFails) {
    PublishDevice(nullptr);
    D3DMATERIAL9 material{};
    D3DMATRIX matrix{};
    EXPECT_FALSE(StateCache::SetRenderState(D3DRS_ZENABLE, 1));
    EXPECT_FALSE(StateCache::ForceRenderState(D3DRS_ZENABLE, 1));
    EXPECT_FALSE(StateCache::SetSamplerState(0, D3DSAMP_ADDRESSU, 1));
    EXPECT_FALSE(StateCache::SetTextureStageState(0, D3DTSS_COLOROP, 1));
    EXPECT_FALSE(StateCache::SetTexture(0, nullptr));
    EXPECT_FALSE(StateCache::SetMaterial(&material));
    EXPECT_FALSE(StateCache::SetTransform(D3DTS_VIEW, &matrix));
    DWORD value = 0;
    EXPECT_FALSE(StateCache::GetRenderState(D3DRS_ZENABLE, &value));
    Matrix identity{};
    EXPECT_EQ(StateCache::SetWorldMatrix(identity), 1);
    // Nothing was cached: with a device the same values are sent.
    PublishDevice(&device);
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZENABLE, 1));
    EXPECT_EQ(device.Count(Call::RenderState), 1u);
}

TEST_F(StateCacheTest, ARefusedSetIsSentAgain) {
    device.setResult = D3DERR_INVALIDCALL;
    EXPECT_FALSE(StateCache::SetRenderState(D3DRS_FOGENABLE, 1));
    EXPECT_FALSE(StateCache::SetSamplerState(2, D3DSAMP_MAGFILTER, 2));
    EXPECT_FALSE(StateCache::SetTextureStageState(3, D3DTSS_ALPHAOP, 2));
    EXPECT_FALSE(StateCache::SetTexture(4, nullptr));
    D3DMATERIAL9 material{};
    EXPECT_FALSE(StateCache::SetMaterial(&material));
    D3DMATRIX matrix{};
    EXPECT_FALSE(StateCache::SetTransform(D3DTS_WORLD, &matrix));
    device.setResult = D3D_OK;
    device.calls.clear();
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_FOGENABLE, 1));
    EXPECT_TRUE(StateCache::SetSamplerState(2, D3DSAMP_MAGFILTER, 2));
    EXPECT_TRUE(StateCache::SetTextureStageState(3, D3DTSS_ALPHAOP, 2));
    EXPECT_TRUE(StateCache::SetTexture(4, nullptr));
    EXPECT_TRUE(StateCache::SetMaterial(&material));
    EXPECT_TRUE(StateCache::SetTransform(D3DTS_WORLD, &matrix));
    EXPECT_EQ(device.calls.size(), 6u);
}

// Indices beyond the tables would have read and written past them; they go straight through.
TEST_F(StateCacheTest, IndicesBeyondTheTablesAreNeverCached) {
    const DWORD samplers[] = {D3DDMAPSAMPLER, D3DVERTEXTEXTURESAMPLER0, D3DVERTEXTEXTURESAMPLER1,
                              D3DVERTEXTEXTURESAMPLER2, D3DVERTEXTEXTURESAMPLER3};
    for (DWORD sampler : samplers) {
        EXPECT_TRUE(StateCache::SetSamplerState(sampler, D3DSAMP_MINFILTER, 2));
        EXPECT_TRUE(StateCache::SetSamplerState(sampler, D3DSAMP_MINFILTER, 2));
    }
    EXPECT_EQ(device.Count(Call::SamplerState), 10u);
    const auto unknownState = static_cast<D3DRENDERSTATETYPE>(5000);
    EXPECT_TRUE(StateCache::SetRenderState(unknownState, 7));
    EXPECT_TRUE(StateCache::SetRenderState(unknownState, 7));
    StateCache::LockRenderState(unknownState, true);  // nowhere to keep a lock: ignored
    EXPECT_FALSE(StateCache::IsRenderStateLocked(unknownState));
    EXPECT_TRUE(StateCache::SetRenderState(unknownState, 7));
    EXPECT_EQ(device.Count(Call::RenderState), 3u);
    EXPECT_TRUE(StateCache::SetTextureStageState(8, D3DTSS_COLOROP, 4));
    EXPECT_TRUE(StateCache::SetTextureStageState(8, D3DTSS_COLOROP, 4));
    EXPECT_EQ(device.Count(Call::StageState), 2u);
    EXPECT_TRUE(StateCache::SetTexture(9, nullptr));
    EXPECT_TRUE(StateCache::SetTexture(9, nullptr));
    EXPECT_EQ(device.Count(Call::Texture), 2u);
    D3DMATRIX matrix{};
    EXPECT_TRUE(StateCache::SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(600), &matrix));
    EXPECT_TRUE(StateCache::SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(600), &matrix));
    EXPECT_EQ(device.Count(Call::Transform), 2u);
    // The cached tables were left alone: sampler 0 and stage 0 still send their first set.
    device.calls.clear();
    EXPECT_TRUE(StateCache::SetSamplerState(0, D3DSAMP_MINFILTER, 2));
    EXPECT_TRUE(StateCache::SetTextureStageState(0, D3DTSS_COLOROP, 4));
    EXPECT_EQ(device.calls.size(), 2u);
    // Reads of unknown states ask the device every time.
    device.renderStates[5000] = 7;
    DWORD value = 0;
    EXPECT_TRUE(StateCache::GetRenderState(unknownState, &value));
    EXPECT_TRUE(StateCache::GetRenderState(unknownState, &value));
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(device.Count(Call::GetRenderState), 2u);
}

TEST_F(StateCacheTest, ANullMaterialIsSentAsZeros) {
    D3DMATERIAL9 material;
    memset(&material, 0x3F, sizeof material);
    EXPECT_TRUE(StateCache::SetMaterial(&material));
    EXPECT_TRUE(StateCache::SetMaterial(&material));
    EXPECT_EQ(device.Count(Call::Material), 1u);
    EXPECT_TRUE(StateCache::SetMaterial(nullptr));
    EXPECT_FALSE(device.nullMaterialSent);
    const D3DMATERIAL9 zero{};
    EXPECT_EQ(memcmp(&device.lastMaterial, &zero, sizeof zero), 0);
    // A real all-zero material now equals the cache.
    EXPECT_TRUE(StateCache::SetMaterial(&zero));
    EXPECT_EQ(device.Count(Call::Material), 2u);
}

TEST_F(StateCacheTest, TransformsCompareAllSixteenWords) {
    D3DMATRIX a{};
    a._11 = a._22 = a._33 = a._44 = 1.0f;
    EXPECT_TRUE(StateCache::SetTransform(D3DTS_VIEW, &a));
    EXPECT_TRUE(StateCache::SetTransform(D3DTS_VIEW, &a));
    D3DMATRIX b = a;
    b._43 = 5.0f;
    EXPECT_TRUE(StateCache::SetTransform(D3DTS_VIEW, &b));
    EXPECT_TRUE(StateCache::SetTransform(D3DTS_PROJECTION, &b));  // another slot
    EXPECT_EQ(device.Count(Call::Transform), 3u);
    EXPECT_FALSE(StateCache::SetTransform(D3DTS_VIEW, nullptr));
    EXPECT_EQ(device.Count(Call::Transform), 3u);
}

TEST_F(StateCacheTest, MatrixWrappersSendToTheirSlots) {
    Matrix m{};
    for (int i = 0; i < 16; ++i) m.m[i] = static_cast<float>(i);
    EXPECT_EQ(StateCache::SetWorldMatrix(m), 0);
    EXPECT_EQ(StateCache::SetViewMatrix(m), 0);
    EXPECT_EQ(StateCache::SetProjectionMatrix(m), 0);
    EXPECT_EQ(device.lastMatrix._43, 14.0f);  // row 3, column 2
    ASSERT_EQ(device.calls.size(), 3u);
    EXPECT_EQ(device.calls[0].index, static_cast<DWORD>(D3DTS_WORLD));
    EXPECT_EQ(device.calls[1].index, static_cast<DWORD>(D3DTS_VIEW));
    EXPECT_EQ(device.calls[2].index, static_cast<DWORD>(D3DTS_PROJECTION));
    device.setResult = E_FAIL;
    m.m[0] = 100.0f;
    EXPECT_EQ(StateCache::SetWorldMatrix(m), 1);
}

TEST_F(StateCacheTest, GetRenderStateAsksTheDeviceOnce) {
    device.renderStates[D3DRS_ZWRITEENABLE] = 1;
    DWORD value = 0;
    EXPECT_TRUE(StateCache::GetRenderState(D3DRS_ZWRITEENABLE, &value));
    EXPECT_TRUE(StateCache::GetRenderState(D3DRS_ZWRITEENABLE, &value));
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(device.Count(Call::GetRenderState), 1u);
    // The read value is cached: setting it again sends nothing.
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1));
    EXPECT_EQ(device.Count(Call::RenderState), 0u);
    device.getResult = D3DERR_INVALIDCALL;
    EXPECT_FALSE(StateCache::GetRenderState(D3DRS_LIGHTING, &value));
}

TEST_F(StateCacheTest, TexturesByIdentityAndUnbinding) {
    auto* t1 = reinterpret_cast<IDirect3DBaseTexture9*>(uintptr_t(0x1000));
    auto* t2 = reinterpret_cast<IDirect3DBaseTexture9*>(uintptr_t(0x2000));
    StateCache::SetTexture(0, t1);
    StateCache::SetTexture(0, t1);
    StateCache::SetTexture(0, t2);
    EXPECT_EQ(device.Count(Call::Texture), 2u);
    device.calls.clear();
    StateCache::UnbindTextures();
    ASSERT_EQ(device.calls.size(), 8u);
    for (DWORD stage = 0; stage < 8; ++stage) EXPECT_EQ(device.calls[stage], (Record{Call::Texture, stage, 0, 0}));
    device.calls.clear();
    StateCache::SetTexture(0, t2);  // forgotten: sent again
    StateCache::SetSamplerState(1, D3DSAMP_ADDRESSU, 3);
    StateCache::InvalidateTextureStates();
    StateCache::SetTexture(0, t2);
    StateCache::SetSamplerState(1, D3DSAMP_ADDRESSU, 3);
    EXPECT_EQ(device.calls.size(), 4u);
}

TEST_F(StateCacheTest, SaveSetsLocksAndRestorePutsBack) {
    StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    StateCache::SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    StateCache::SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    StateCache::SetRenderState(D3DRS_DEPTHBIAS, Bits(0.25f));
    StateCache::SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, Bits(2.0f));
    StateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
    device.calls.clear();

    SavedRenderStates saved;
    saved.Save(1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, kSavedForce | kSavedAddDepthBias, -0.5f, 1.0f);
    EXPECT_TRUE(saved.IsActive());
    EXPECT_EQ(RenderSets(), (std::vector<Record>{RS(D3DRS_ALPHABLENDENABLE, 1), RS(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
                                                 RS(D3DRS_DESTBLEND, D3DBLEND_ONE), RS(D3DRS_DEPTHBIAS, Bits(-0.25f)),
                                                 RS(D3DRS_SLOPESCALEDEPTHBIAS, Bits(2.0f)), RS(D3DRS_ZWRITEENABLE, 0)}));
    // Locked: a plain set is swallowed.
    device.calls.clear();
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1));
    EXPECT_TRUE(device.calls.empty());
    // A second Save while active changes nothing.
    saved.Save(0, D3DBLEND_ZERO, D3DBLEND_ZERO, 0, 0.0f, 0.0f);
    EXPECT_TRUE(device.calls.empty());

    saved.Restore();
    EXPECT_FALSE(saved.IsActive());
    EXPECT_FALSE(StateCache::IsRenderStateLocked(D3DRS_ZWRITEENABLE));
    EXPECT_EQ(RenderSets(), (std::vector<Record>{RS(D3DRS_ALPHABLENDENABLE, 0), RS(D3DRS_SRCBLEND, D3DBLEND_ONE),
                                                 RS(D3DRS_DESTBLEND, D3DBLEND_ZERO), RS(D3DRS_DEPTHBIAS, Bits(0.25f)),
                                                 RS(D3DRS_ZWRITEENABLE, 1)}));  // the slope bias is unchanged
}

TEST_F(StateCacheTest, SaveWithoutLockOrForceSkipsEqualStates) {
    StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device.calls.clear();
    SavedRenderStates saved;
    saved.Save(1, D3DBLEND_ONE, D3DBLEND_ZERO, kSavedNoLock, 0.0f, 3.0f);
    EXPECT_FALSE(StateCache::IsRenderStateLocked(D3DRS_ALPHABLENDENABLE));
    // ALPHABLENDENABLE was cached as 1: not sent again. The rest were read from the device.
    for (const Record& r : RenderSets()) EXPECT_NE(r.index, static_cast<DWORD>(D3DRS_ALPHABLENDENABLE));
    EXPECT_EQ(device.renderStates[D3DRS_SLOPESCALEDEPTHBIAS], Bits(3.0f));  // no flag 4: as given
}

// A pure device answers no Get call; the saved values are then the runtime's defaults.
TEST_F(StateCacheTest, SaveOnAPureDeviceSavesTheDefaults) {
    device.getResult = D3DERR_INVALIDCALL;
    SavedRenderStates saved;
    saved.Save(1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, kSavedAddDepthBias, 0.5f, 1.0f);
    EXPECT_EQ(device.renderStates[D3DRS_DEPTHBIAS], Bits(0.5f));  // 0.5 + the default 0
    device.calls.clear();
    saved.Restore();
    EXPECT_EQ(RenderSets(), (std::vector<Record>{RS(D3DRS_ALPHABLENDENABLE, FALSE), RS(D3DRS_SRCBLEND, D3DBLEND_ONE),
                                                 RS(D3DRS_DESTBLEND, D3DBLEND_ZERO), RS(D3DRS_DEPTHBIAS, 0),
                                                 RS(D3DRS_SLOPESCALEDEPTHBIAS, 0), RS(D3DRS_ZWRITEENABLE, TRUE)}));
}

TEST_F(StateCacheTest, CountsTellTheSetsAskedForFromThoseSent) {
    StateCache::ResetCounts();
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZENABLE, 1));
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZENABLE, 1));
    EXPECT_TRUE(StateCache::SetSamplerState(0, D3DSAMP_MINFILTER, 2));
    EXPECT_TRUE(StateCache::SetSamplerState(0, D3DSAMP_MINFILTER, 2));
    EXPECT_TRUE(StateCache::SetTexture(0, nullptr));
    EXPECT_TRUE(StateCache::SetTexture(0, nullptr));
    D3DMATERIAL9 material{};
    EXPECT_TRUE(StateCache::SetMaterial(&material));
    EXPECT_TRUE(StateCache::SetMaterial(&material));
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    EXPECT_TRUE(StateCache::SetTransform(D3DTS_VIEW, &identity));
    EXPECT_TRUE(StateCache::SetTransform(D3DTS_VIEW, &identity));
    StateCache::LockRenderState(D3DRS_ZENABLE, true);
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_ZENABLE, 0));
    StateCache::Counts counts = StateCache::GetCounts();
    EXPECT_EQ(counts.requested, 11u);
    EXPECT_EQ(counts.sent, 5u);
    EXPECT_EQ(device.calls.size(), 5u);
    StateCache::ResetCounts();
    counts = StateCache::GetCounts();
    EXPECT_EQ(counts.requested, 0u);
    EXPECT_EQ(counts.sent, 0u);
}
